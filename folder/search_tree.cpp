#include <vector>

#include "folder/directory_tree.h"
#include "folder/walk_checks.h"

namespace {

// One directory being listed. The levels from the root down to the directory
// at hand live on the heap, not on the call stack, so that no depth of tree
// can exhaust the stack: Wine has no path length limit.
struct Level {
  WidePath directory;  // the directory being listed
  HANDLE held;         // that directory itself, so that it stays where it was checked
  HANDLE listing;
  WIN32_FIND_DATAW record;  // the entry at hand
  bool pending;             // the record holds an entry not yet looked at
};

bool IsListedDirectory(const WIN32_FIND_DATAW& record) {
  if (!(record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return wcscmp(record.cFileName, L".") != 0 && wcscmp(record.cFileName, L"..") != 0;
}

// The first failure is kept: it is what stopped the search from looking everywhere.
void NoteError(WalkTally* tally, const wchar_t* call, DWORD error) {
  if (tally->searchError == 0) tally->searchError = error;
  if (tally->record)
    AddSaid(*tally->record, WidePath(call) + L" failed, error code: " + std::to_wstring(error));
}

void CloseLevel(const Level& level) {
  FindClose(level.listing);
  CloseHandle(level.held);
}

// Opens `directory` as a new innermost level. It is held first and listed by
// path after: every directory from the root down to the one being listed is
// held, so the path still leads through the directories that were checked. One
// that turns out to be a link is not entered; one that cannot be opened or
// listed is reported and counts as one without sub-directories.
void OpenLevel(std::vector<Level>& levels, const WidePath& directory, WalkTally* tally) {
  FILE_ATTRIBUTE_TAG_INFO self = {};
  Level level = {directory, OpenAsItself(directory.c_str(), &self), INVALID_HANDLE_VALUE, {}, true};
  if (level.held == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    NoteError(tally, L"FindFirstFileW", error);
    return;
  }
  if (!IsPlainDirectory(self)) {
    CloseHandle(level.held);
    tally->skipped.push_back(directory);
    return;
  }
  const WidePath pattern = Concat(directory, L"\\*");
  level.listing = FindFirstFileW(pattern.c_str(), &level.record);
  if (level.listing == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    CloseHandle(level.held);
    NoteError(tally, L"FindFirstFileW", error);
    return;
  }
  levels.push_back(level);
}

// Moves the innermost level to its next entry; false when its listing ended,
// which closes it and returns to the level above.
bool NextEntry(std::vector<Level>& levels, WalkTally* tally) {
  Level& level = levels.back();
  if (level.pending) {
    level.pending = false;
    return true;
  }
  if (FindNextFileW(level.listing, &level.record)) return true;
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) {
    NoteError(tally, L"FindNextFileW", error);
  }
  CloseLevel(level);
  levels.pop_back();
  return false;
}

}  // namespace

// Depth first, each directory shown to the visitor before its contents, each
// listing in its own order; the first visitor that says stop ends the search.
// The visitor runs while every directory above what it is shown is held.
bool SearchDirectoryTree(void* context, const WidePath& root, DirectoryVisitor visitor, WalkTally* tally) {
  WalkTally unused;
  if (!tally) tally = &unused;
  std::vector<Level> levels;
  OpenLevel(levels, root, tally);
  while (!levels.empty()) {
    if (!NextEntry(levels, tally)) continue;
    const WIN32_FIND_DATAW& record = levels.back().record;
    if (!IsListedDirectory(record)) continue;
    const WidePath fullPath = Concat(Concat(levels.back().directory, L"\\"), record.cFileName);
    // A name that a path cannot address safely would lead the search elsewhere:
    // the joined text is only ever shown, never handed to the platform.
    if (!IsPlainName(record.cFileName)) {
      tally->skipped.push_back(fullPath);
      continue;
    }
    if (visitor && !visitor(fullPath, WidePath(record.cFileName), context)) {
      for (auto level = levels.rbegin(); level != levels.rend(); ++level) CloseLevel(*level);
      return true;
    }
    // A link is shown like any directory but never entered: what it points
    // at lies outside the tree.
    if (record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      tally->skipped.push_back(fullPath);
      continue;
    }
    OpenLevel(levels, fullPath, tally);
  }
  return false;
}
