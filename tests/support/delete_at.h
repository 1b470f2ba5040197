// The folder's deletion asked for by a path, as tests, benchmarks and the
// probe ask for it: the parent is held as itself and the tree found in the
// parent's listing, as the product finds the folder in a directory given.
#pragma once

#include <string>

#include "folder/directory_tree.h"
#include "folder/walk_checks.h"

inline bool DeleteDirectoryAt(std::wstring path, WalkTally* tally = nullptr) {
  WalkTally unused;
  if (!tally) tally = &unused;
  while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  const size_t cut = path.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return false;
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE parent = OpenAsItself(path.substr(0, cut).c_str(), &self);
  if (parent == INVALID_HANDLE_VALUE) return false;
  ListedEntry entry;
  DWORD error = 0;
  const bool deleted = IsPlainDirectory(self) && FindListed(parent, path.c_str() + cut + 1, &entry, &error) &&
                       DeleteDirectoryTree(parent, entry, path, tally);
  CloseHandle(parent);
  return deleted;
}
