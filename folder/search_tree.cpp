#include <vector>

#include "folder/wide_path.h"
#include "platform/platform.h"

namespace {

// One directory being listed. The levels from the root down to the directory
// at hand live on the heap, not on the call stack, so that no depth of tree
// can exhaust the stack: Wine has no path length limit.
struct Level {
  WidePath root;
  HANDLE listing;
  WIN32_FIND_DATAW record;  // the entry at hand
  bool fetched;             // the record holds an entry not yet looked at
};

bool IsSearchableDirectory(const WIN32_FIND_DATAW& record) {
  if (!(record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return wcscmp(record.cFileName, L".") != 0 && wcscmp(record.cFileName, L"..") != 0;
}

// Opens the listing of `root` as a new innermost level; a directory that
// cannot be listed is reported and counts as one without sub-directories.
void OpenLevel(std::vector<Level>& levels, const WidePath& root) {
  Level level = {root, INVALID_HANDLE_VALUE, {}, true};
  const WidePath pattern = Concat(root, L"\\*");
  level.listing = FindFirstFileW(pattern.c_str(), &level.record);
  if (level.listing == INVALID_HANDLE_VALUE) {
    PrintWide(L"FindFirstFileW failed, error code: %lu\n", GetLastError());
    return;
  }
  levels.push_back(level);
}

// Moves the innermost level to its next entry; false when its listing ended,
// which closes it and returns to the level above.
bool NextEntry(std::vector<Level>& levels) {
  Level& level = levels.back();
  if (level.fetched) {
    level.fetched = false;
    return true;
  }
  if (FindNextFileW(level.listing, &level.record)) return true;
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) PrintWide(L"FindNextFileW failed, error code: %lu\n", error);
  FindClose(level.listing);
  levels.pop_back();
  return false;
}

}  // namespace

// Depth first, each directory shown to the visitor before its contents, each
// listing in its own order; the first visitor that says stop ends the search.
bool SearchDirectoryTree(void* context, const WidePath& root, DirectoryVisitor visitor) {
  std::vector<Level> levels;
  OpenLevel(levels, root);
  while (!levels.empty()) {
    if (!NextEntry(levels)) continue;
    const WIN32_FIND_DATAW& record = levels.back().record;
    if (!IsSearchableDirectory(record)) continue;
    const WidePath fullPath = Concat(Concat(levels.back().root, L"\\"), record.cFileName);
    if (visitor && !visitor(fullPath, WidePath(record.cFileName), context)) {
      for (auto level = levels.rbegin(); level != levels.rend(); ++level) FindClose(level->listing);
      return true;
    }
    // A link is shown like any directory but never entered: what it points
    // at lies outside the tree.
    if (record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    OpenLevel(levels, fullPath);
  }
  return false;
}
