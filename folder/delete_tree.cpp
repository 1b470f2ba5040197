// The product folder's deletion.
//
// The threat: the deletion runs elevated, in a tree that anyone who can write
// into the game's folders controls. They choose the names in it, and while it
// runs they can rename a directory away and put a junction or symbolic link to
// somewhere else (the system directory) in its place. A deletion that builds a
// path from the listed names and hands it to the system can be led out of the
// tree that way: every component of the path is looked up again, and any of
// them may have been swapped since it was checked. Path parsing also changes
// names ("data." is "data", "CON" is a device) and stops at a length limit.
//
// How it is answered: nothing is ever acted on by a path. Every directory
// from the folder down to the one being emptied is held open without delete
// sharing, so none of them can be renamed or replaced while it is held. Each
// is listed through its handle; each entry is opened relative to that handle
// by its name exactly as listed, without following a reparse point, and what
// the handle shows (a directory or not, which reparse tag) must be what the
// listing showed, else the entry stays. The entry is then deleted through
// that same handle. A link is never entered: a junction or directory
// symbolic link is deleted as itself, which leaves its target alone; a link
// of any other kind is left. Paths are joined only to name an entry in a
// line. The levels live on the heap, one handle and one listing buffer each,
// so no depth of tree can exhaust the machine stack.
//
// Files that another program holds with delete sharing (virus scanners,
// backup agents, the search indexer) are only marked for deletion and keep
// their directory from going until it lets them go: the deletion waits for
// them a little, within one budget for the whole run, and never busy-waits.
#include <new>

#include "folder/directory_tree.h"
#include "folder/handle_ops.h"
#include "folder/walk_checks.h"

namespace {

const NTSTATUS kSharingViolation = static_cast<NTSTATUS>(0xC0000043L);
const NTSTATUS kDeletePending = static_cast<NTSTATUS>(0xC0000056L);
const NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034L);
const NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003AL);
const NTSTATUS kNotADirectory = static_cast<NTSTATUS>(0xC0000103L);
const NTSTATUS kFileIsADirectory = static_cast<NTSTATUS>(0xC00000BAL);
const NTSTATUS kDirectoryNotEmpty = static_cast<NTSTATUS>(0xC0000101L);

// The directories the deletion holds: it may delete what is inside, and
// nobody may rename or replace them meanwhile (no delete sharing).
const DWORD kDirectoryAccess = DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
const DWORD kDirectoryShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
// A file, or a link deleted as itself: others may go on reading it meanwhile.
const DWORD kEntryAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
const DWORD kEntryShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The preview lists and disposes nothing.
const DWORD kPreviewAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;

// One directory being emptied.
struct Level {
  HANDLE directory = INVALID_HANDLE_VALUE;
  DirectoryListing listing;
  ListedEntry entry;          // the entry at hand: while a level below is open, that level's directory
  bool relisted = false;      // listed again while waiting: what goes now was counted before
  int waits = 0;              // pauses made for it
  bool deletedFiles = false;  // a file or link in it was deleted
};

struct Walk {
  WalkTally* tally = nullptr;
  const WidePath* top = nullptr;  // the folder's path, for lines
  Level* levels = nullptr;
  size_t depth = 0;
  size_t capacity = 0;
  WidePath named;  // the path of an entry that gets a line
};

enum class Step { Done, Entered, Stop };

const wchar_t* ReasonFor(DWORD error) {
  if (error == ERROR_SHARING_VIOLATION) return L"in use";
  if (error == ERROR_ACCESS_DENIED) return L"access denied";
  if (error == ERROR_NOT_ENOUGH_MEMORY) return L"out of memory";
  return L"not removed";
}

// The path of level `index`'s directory, with its entry at hand when `withEntry`.
const WidePath& PathAt(Walk& walk, size_t index, bool withEntry) {
  walk.named.assign(*walk.top);
  const size_t last = withEntry ? index + 1 : index;
  for (size_t i = 0; i < last; ++i) {
    walk.named += L'\\';
    walk.named.append(walk.levels[i].entry.name, walk.levels[i].entry.length);
  }
  return walk.named;
}

// Records the first entry that stayed; its path is only built for that one.
bool Stayed(Walk& walk, size_t index, bool withEntry, const wchar_t* reason, DWORD error) {
  if (walk.tally->reason) return false;
  return NoteStayed(walk.tally, PathAt(walk, index, withEntry), reason, error);
}

// Records the entry at hand as the one that stayed, which ends the deletion.
Step Stop(Walk& walk, size_t index, bool withEntry, const wchar_t* reason, DWORD error) {
  Stayed(walk, index, withEntry, reason, error);
  return Step::Stop;
}

// Pauses before another try, when the run's budget still allows one.
bool PauseForRetry(WalkTally* tally, int tries) {
  const DWORD pause = tries == 0 ? 50 : 100;
  if (tally->retryLeft < pause) return false;
  tally->retryLeft -= pause;
  Sleep(pause);
  return true;
}

// Whether the folder `entry` of `parent` holds the run's log, asked of the
// folder itself so that short names, ".." and links cannot hide it. The run
// holds the log's directory without delete sharing, which refuses the
// deletion's own open of the folder when the log lies directly in it.
bool HoldsTheLog(const WalkTally* tally, HANDLE parent, const ListedEntry& entry) {
  if (!tally->keep || tally->keep->empty()) return false;
  // Attributes alone: an open that takes no part in sharing.
  HANDLE folder = OpenRelative(parent, entry.name, entry.length, FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true);
  if (folder == INVALID_HANDLE_VALUE) return false;
  WidePath final;
  const bool holds = FinalPathOf(folder, &final) && LiesInside(*tally->keep, final);
  CloseHandle(folder);
  return holds;
}

// Opens the entry as itself, trying again while another program holds it
// without delete sharing (never the run's own log, which does not go away).
// INVALID_HANDLE_VALUE with the status otherwise.
HANDLE OpenEntry(WalkTally* tally, HANDLE parent, const ListedEntry& entry, bool retry, NTSTATUS* status) {
  const bool directory = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool held = directory && !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  DWORD access = held ? kDirectoryAccess : kEntryAccess;
  if (tally->preview) access = kPreviewAccess;
  const DWORD share = held || tally->preview ? kDirectoryShare : kEntryShare;
  for (int tries = 0;; ++tries) {
    HANDLE handle = OpenRelative(parent, entry.name, entry.length, access, share, directory, status);
    if (handle != INVALID_HANDLE_VALUE || *status != kSharingViolation || !retry) return handle;
    if (!PauseForRetry(tally, tries)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return handle;
    }
  }
}

// Whether what the handle shows is what the listing showed; `attributes`
// receives what the handle shows.
bool ShowsAsListed(HANDLE handle, const ListedEntry& entry, DWORD* attributes, DWORD* error) {
  FILE_ATTRIBUTE_TAG_INFO shown = {};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &shown, sizeof shown)) {
    *error = GetLastError();
    return false;
  }
  *attributes = shown.FileAttributes;
  const DWORD kinds = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  const bool link = (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return (shown.FileAttributes & kinds) == (entry.attributes & kinds) &&
         (!link || shown.ReparseTag == entry.reparseTag);
}

// Takes the levels one deeper, holding `directory`; false when memory ran out.
bool Push(Walk& walk, HANDLE directory) {
  if (walk.depth == walk.capacity) {
    const size_t capacity = walk.capacity ? walk.capacity * 2 : 16;
    Level* levels = new (std::nothrow) Level[capacity];
    if (!levels) return false;
    for (size_t i = 0; i < walk.depth; ++i) levels[i] = walk.levels[i];
    delete[] walk.levels;
    walk.levels = levels;
    walk.capacity = capacity;
  }
  walk.levels[walk.depth] = Level();
  walk.levels[walk.depth].directory = directory;
  ++walk.depth;
  return true;
}

// What to do with one listed entry (`index`, `withEntry` name it): a file or
// a link is deleted, a directory entered.
Step Take(Walk& walk, HANDLE parent, const ListedEntry& entry, size_t index, bool withEntry) {
  WalkTally* tally = walk.tally;
  const bool directory = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool link = (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const bool counted = walk.depth == 0 || !walk.levels[walk.depth - 1].relisted;
  unsigned long* count = directory ? &tally->directories : &tally->files;
  // A link of another kind than a junction or a directory symbolic link (tag 0
  // is how Wine lists a Unix symbolic link, whose handle opens the target) is
  // left where it is; the preview goes on counting where the deletion stops.
  if (directory && link && !IsReparseTagNameSurrogate(entry.reparseTag)) {
    if (!tally->preview) return Stop(walk, index, withEntry, L"link left in place", 0);
    tally->linksLeft.push_back(PathAt(walk, index, withEntry));
    Stayed(walk, index, withEntry, L"link left in place", 0);
    return Step::Done;
  }
  if (tally->preview && (!directory || link)) {
    if (link) tally->linksRemovable.push_back(PathAt(walk, index, withEntry));
    // A preview walks on past the first entry that stays, to name every link it
    // would leave; it counts only what the deletion removes before it stops there.
    if (!tally->reason) ++*count;
    return Step::Done;
  }
  NTSTATUS status = 0;
  const bool root = walk.depth == 0;
  HANDLE handle = OpenEntry(tally, parent, entry, !root, &status);
  if (handle == INVALID_HANDLE_VALUE && root && status == kSharingViolation) {
    if (HoldsTheLog(tally, parent, entry))
      return Stop(walk, index, withEntry, L"the log file is inside it", 0);
    handle = OpenEntry(tally, parent, entry, true, &status);
  }
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // Gone meanwhile, or already deleted and waiting for another program's handle: done.
    if (status == kNameNotFound || status == kPathNotFound || status == kDeletePending) return Step::Done;
    if (status == kNotADirectory || status == kFileIsADirectory)
      return Stop(walk, index, withEntry, L"replaced while deleted", 0);
    return Stop(walk, index, withEntry, ReasonFor(error), error);
  }
  DWORD error = 0, attributes = 0;
  if (!ShowsAsListed(handle, entry, &attributes, &error)) {
    CloseHandle(handle);
    return Stop(walk, index, withEntry, error ? ReasonFor(error) : L"replaced while deleted", error);
  }
  if (directory && !link) {
    if (Push(walk, handle)) return Step::Entered;
    CloseHandle(handle);
    return Stop(walk, index, withEntry, ReasonFor(ERROR_NOT_ENOUGH_MEMORY), ERROR_NOT_ENOUGH_MEMORY);
  }
  const bool deleted = DeleteThrough(handle, attributes, &tally->disposition, &status);
  error = GetLastError();
  CloseHandle(handle);
  if (!deleted) return Stop(walk, index, withEntry, ReasonFor(error), error);
  if (walk.depth > 0) walk.levels[walk.depth - 1].deletedFiles = true;
  if (counted) ++*count;
  return Step::Done;
}

// Where names do not go at once (the classic disposition), a file that
// another program holds stays listed until it lets go; Wine still lets the
// directory be disposed of then (measured with the holder in another
// process), and the directory stays when its handle closes. One more listing
// tells.
bool StillListed(Level& level, const WalkTally& tally) {
  if (!level.deletedFiles || tally.disposition.way != kClassic) return false;
  RestartListing(&level.listing);
  ListedEntry entry;
  DWORD error = 0;
  const bool listed = NextListed(level.directory, &level.listing, &entry, &error);
  RestartListing(&level.listing);
  return listed;
}

// The innermost directory, everything listed in it gone: it is deleted
// through its own handle and left. A directory that is not empty yet (an
// entry another program still holds) is listed again after a pause, within
// the run's budget; what then still stays is named.
bool Leave(Walk& walk) {
  const size_t index = walk.depth - 1;
  Level& level = walk.levels[index];
  NTSTATUS status = 0;
  bool deleted = walk.tally->preview;
  DWORD error = 0;
  if (!deleted && StillListed(level, *walk.tally)) {
    status = kDirectoryNotEmpty;
    error = ERROR_DIR_NOT_EMPTY;
  } else if (!deleted) {
    deleted = DeleteThrough(level.directory, FILE_ATTRIBUTE_DIRECTORY, &walk.tally->disposition, &status);
    error = deleted ? 0 : GetLastError();
  }
  if (!deleted && status == kDirectoryNotEmpty) {
    RestartListing(&level.listing);
    if (PauseForRetry(walk.tally, level.waits++)) {
      level.relisted = true;
      return true;  // the walk lists it again
    }
    DWORD listingError = 0;
    if (NextListed(level.directory, &level.listing, &level.entry, &listingError))
      Stayed(walk, index, true, L"still there", ERROR_DIR_NOT_EMPTY);
  }
  CloseHandle(level.directory);
  --walk.depth;
  if (!deleted) return Stayed(walk, index, false, ReasonFor(error), error);
  if (!walk.tally->reason) ++walk.tally->directories;
  return true;
}

// The folder, as the deletion holds it, must not hold the run's log deeper down.
bool LogLiesBelow(Walk& walk) {
  const WidePath* log = walk.tally->keep;
  if (!log || log->empty()) return false;
  WidePath final;
  if (!FinalPathOf(walk.levels[0].directory, &final) || !LiesInside(*log, final)) return false;
  Stayed(walk, 0, false, L"the log file is inside it", 0);
  return true;
}

bool Run(Walk& walk, HANDLE parent, const ListedEntry& self) {
  Step step = Take(walk, parent, self, 0, false);
  if (step != Step::Entered) return step == Step::Done;
  if (LogLiesBelow(walk)) return false;
  RememberVolume(walk.levels[0].directory, &walk.tally->disposition);
  while (walk.depth > 0) {
    const size_t index = walk.depth - 1;
    Level& level = walk.levels[index];
    DWORD error = 0;
    if (NextListed(level.directory, &level.listing, &level.entry, &error)) {
      // A name with a separator is not one entry of this directory.
      if (HoldsSeparator(level.entry)) return Stayed(walk, index, false, L"holds an unsafe name", 0);
      step = Take(walk, level.directory, level.entry, index, true);
      if (step == Step::Stop) return false;
      continue;
    }
    if (error != 0) return Stayed(walk, index, false, ReasonFor(error), error);
    if (!Leave(walk)) return false;
  }
  return true;
}

}  // namespace

// `error` is read right after the call that failed, 0 where the walk itself refused.
bool NoteStayed(WalkTally* tally, const WidePath& path, const wchar_t* reason, DWORD error) {
  if (tally->reason) return false;
  tally->reason = reason;
  tally->error = error;
  tally->firstFailure = path;
  return false;
}

bool DeleteDirectoryTree(HANDLE parent, const ListedEntry& self, const WidePath& path, WalkTally* tally) {
  WalkTally unused;
  if (!tally) tally = &unused;
  tally->found = true;
  if (!(self.attributes & FILE_ATTRIBUTE_DIRECTORY)) return NoteStayed(tally, path, L"not a directory", 0);
  Walk walk;
  walk.tally = tally;
  walk.top = &path;
  const bool deleted = Run(walk, parent, self);
  for (size_t i = walk.depth; i > 0; --i) CloseHandle(walk.levels[i - 1].directory);
  delete[] walk.levels;
  return deleted;
}

bool FindListed(HANDLE directory, const wchar_t* name, ListedEntry* entry, DWORD* error) {
  DirectoryListing listing;
  ListedEntry candidate;
  bool found = false;
  while (NextListed(directory, &listing, &candidate, error)) {
    if (wcscmp(candidate.name, name) == 0) {
      *entry = candidate;
      return true;  // the name as given, where case matters
    }
    if (!found && SameText(candidate.name, name)) {
      *entry = candidate;
      found = true;
    }
  }
  if (!found && *error == 0) *error = ERROR_FILE_NOT_FOUND;
  return found;
}
