#include <vector>

#include "folder/directory_tree.h"
#include "folder/walk_checks.h"

namespace {

// One directory being listed. The levels from the root down to the directory
// at hand live on the heap, not on the call stack, so that no depth of tree
// can exhaust the stack.
struct Level {
  WidePath directory;  // its path, only ever shown
  HANDLE held;         // the directory itself: it is listed through this handle
  DirectoryListing listing;
  ListedEntry entry;  // the entry at hand
};

// The first failure is kept: it is what stopped the search from looking everywhere.
void NoteError(WalkTally* tally, const wchar_t* call, DWORD error) {
  if (tally->searchError == 0) tally->searchError = error;
  if (tally->record)
    AddSaid(*tally->record, WidePath(call) + L" failed, error code: " + std::to_wstring(error));
}

// Enters the directory that `held` is open on as a new innermost level. One
// that turns out to be a link is not entered; one that cannot be opened or
// listed is reported and counts as one without sub-directories.
void Enter(std::vector<Level>& levels, HANDLE held, const FILE_ATTRIBUTE_TAG_INFO& self,
           const WidePath& directory, WalkTally* tally) {
  if (held == INVALID_HANDLE_VALUE) {
    NoteError(tally, L"FindFirstFileW", GetLastError());
    return;
  }
  if (!IsPlainDirectory(self)) {
    CloseHandle(held);
    tally->skipped.push_back(directory);
    return;
  }
  levels.emplace_back();
  levels.back().directory = directory;
  levels.back().held = held;
}

// Moves the innermost level to its next entry; false when its listing ended,
// which closes it and returns to the level above.
bool NextEntry(std::vector<Level>& levels, WalkTally* tally) {
  Level& level = levels.back();
  DWORD error = 0;
  if (NextListed(level.held, &level.listing, &level.entry, &error)) return true;
  // Named as the listing's beginning or its continuation failed.
  if (error != 0) NoteError(tally, level.listing.begun ? L"FindNextFileW" : L"FindFirstFileW", error);
  CloseHandle(level.held);
  levels.pop_back();
  return false;
}

}  // namespace

// Depth first, each directory shown to the visitor before its contents, each
// listing in its own order; the first visitor that says stop ends the search.
// The visitor runs while every directory above what it is shown is held, and
// is handed the held parent, never a path to act on.
bool SearchDirectoryTree(void* context, const WidePath& root, DirectoryVisitor visitor, WalkTally* tally) {
  WalkTally unused;
  if (!tally) tally = &unused;
  std::vector<Level> levels;
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE held = OpenRootAsItself(root, &self);
  Enter(levels, held, self, root, tally);
  while (!levels.empty()) {
    if (!NextEntry(levels, tally)) continue;
    Level& level = levels.back();
    const ListedEntry& entry = level.entry;
    if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    const WidePath fullPath = Concat(Concat(level.directory, L"\\"), entry.name);
    // A name that holds a separator would lead a relative open elsewhere.
    if (HoldsSeparator(entry)) {
      tally->skipped.push_back(fullPath);
      continue;
    }
    if (visitor && !visitor(level.held, entry, fullPath, context)) {
      for (const Level& open : levels) CloseHandle(open.held);
      return true;
    }
    // A link is shown like any directory but never entered: what it points
    // at lies outside the tree.
    if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      tally->skipped.push_back(fullPath);
      continue;
    }
    held = OpenChildAsItself(level.held, entry, &self);
    Enter(levels, held, self, fullPath, tally);
  }
  return false;
}
