#include "folder/directory_tree.h"
#include "folder/walk_checks.h"

// "\*.*" after the directory's path.
static const size_t kPatternTail = 4;

static bool IsDotEntry(const wchar_t* name) {
  return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

static bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

static bool EmptyAndRemoveDirectory(const wchar_t* path, WalkTally* tally);

static const wchar_t* ReasonFor(DWORD error) {
  if (error == ERROR_SHARING_VIOLATION) return L"in use";
  if (error == ERROR_ACCESS_DENIED) return L"access denied";
  return L"not removed";
}

// `error` is read right after the call that failed, 0 where the walk itself refused.
bool NoteStayed(WalkTally* tally, const wchar_t* path, const wchar_t* reason, DWORD error) {
  if (tally->reason) return false;
  tally->reason = reason;
  tally->error = error;
  if (wcslen(path) < MAX_PATH) wmemcpy(tally->firstFailure, path, wcslen(path) + 1);
  return false;
}

static bool Removed(WalkTally* tally, bool removed, const wchar_t* path, unsigned long* count) {
  if (!removed) {
    const DWORD error = GetLastError();
    return NoteStayed(tally, path, ReasonFor(error), error);
  }
  // A preview walks on past the first entry that stays, to name every link it
  // would leave; it counts only what the deletion removes before it stops there.
  if (!tally->reason) ++*count;
  return true;
}

// A link is never entered: a junction or directory symbolic link is removed as
// itself, which leaves its target alone. A link of any other kind (tag 0 is
// what Wine reports for a Unix symbolic link, whose removal would hit the
// target) is left in place, which fails the deletion.
static bool RemoveLinkItself(const wchar_t* path, DWORD reparseTag, WalkTally* tally) {
  if (tally->preview) {
    if (!IsReparseTagNameSurrogate(reparseTag)) {
      tally->linksLeft.push_back(path);
      NoteStayed(tally, path, L"link left in place", 0);
      return true;  // the preview goes on counting where the deletion would stop
    }
    tally->linksRemovable.push_back(path);
    return Removed(tally, true, path, &tally->directories);
  }
  if (!IsReparseTagNameSurrogate(reparseTag)) return NoteStayed(tally, path, L"link left in place", 0);
  return Removed(tally, RemoveDirectoryW(path) != FALSE, path, &tally->directories);
}

// The listing's record and, for a directory, a handle on it must both show a
// plain directory before anything inside is touched: Windows reports a link
// swapped in after the listing only through the handle, and Wine reports a
// Unix symbolic link only in the listing (its handle opens the target).
static bool DeleteEntry(const wchar_t* path, const WIN32_FIND_DATAW& record, WalkTally* tally) {
  const bool reparsePoint = (record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (reparsePoint) return RemoveLinkItself(path, record.dwReserved0, tally);
    return EmptyAndRemoveDirectory(path, tally);
  }
  if (tally->preview) return Removed(tally, true, path, &tally->files);
  // Clearing the attributes of a file link would change its target; any other
  // file, placeholders and deduplicated files included, gets the reset.
  if (!reparsePoint || !IsReparseTagNameSurrogate(record.dwReserved0))
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  return Removed(tally, DeleteFileW(path) != FALSE, path, &tally->files);
}

// Empties the directory depth-first. A text that would not fit its buffer
// counts as a failure: a cut path could name another file. So does a listed
// name that a path cannot address safely ("..\x", "data.", "CON"): joined to
// the path, it would name something else.
static bool DeleteContents(const wchar_t* path, WalkTally* tally) {
  const size_t pathLength = wcslen(path);
  wchar_t pattern[MAX_PATH];
  if (pathLength + kPatternTail >= MAX_PATH) return NoteStayed(tally, path, L"path too long", 0);
  swprintf_s(pattern, MAX_PATH, L"%ls\\*.*", path);

  WIN32_FIND_DATAW record = {};
  HANDLE listing = FindFirstFileW(pattern, &record);
  if (listing == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || NoteStayed(tally, path, ReasonFor(error), error);
  }
  do {
    if (IsDotEntry(record.cFileName)) continue;
    wchar_t entryPath[MAX_PATH];
    bool deleted = false;
    if (!IsPlainName(record.cFileName)) {
      NoteStayed(tally, path, L"holds an unsafe name", 0);
    } else if (pathLength + 1 + wcslen(record.cFileName) >= MAX_PATH) {
      NoteStayed(tally, path, L"path too long", 0);
    } else {
      swprintf_s(entryPath, MAX_PATH, L"%ls\\%ls", path, record.cFileName);
      deleted = DeleteEntry(entryPath, record, tally);
    }
    if (!deleted) {
      FindClose(listing);
      return false;
    }
  } while (FindNextFileW(listing, &record));
  FindClose(listing);
  return true;
}

// The first entry still listed in a directory that was emptied, as the entry
// that stayed; the directory itself when none is listed or its name is unsafe.
static void NameWhatIsLeft(const wchar_t* path, WalkTally* tally) {
  const size_t pathLength = wcslen(path);
  wchar_t pattern[MAX_PATH];
  if (pathLength + kPatternTail >= MAX_PATH) return;
  swprintf_s(pattern, MAX_PATH, L"%ls\\*.*", path);
  WIN32_FIND_DATAW record = {};
  HANDLE listing = FindFirstFileW(pattern, &record);
  if (listing == INVALID_HANDLE_VALUE) return;
  do {
    if (IsDotEntry(record.cFileName)) continue;
    wchar_t entryPath[MAX_PATH];
    if (IsPlainName(record.cFileName) && pathLength + 1 + wcslen(record.cFileName) < MAX_PATH) {
      swprintf_s(entryPath, MAX_PATH, L"%ls\\%ls", path, record.cFileName);
      NoteStayed(tally, entryPath, L"still there", ERROR_DIR_NOT_EMPTY);
    }
    break;
  } while (FindNextFileW(listing, &record));
  FindClose(listing);
}

// The directory is opened as itself and held while it is emptied: what the
// handle shows is what gets emptied, and nobody can swap it for a link to
// somewhere else in the meantime.
static bool EmptyAndRemoveDirectory(const wchar_t* path, WalkTally* tally) {
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE directory = OpenAsItself(path, &self);
  if (directory == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return NoteStayed(tally, path, ReasonFor(error), error);
  }
  if (!(self.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(directory);
    return NoteStayed(tally, path, L"replaced while deleted", 0);
  }
  if (self.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    CloseHandle(directory);
    return RemoveLinkItself(path, self.ReparseTag, tally);
  }
  const bool emptied = DeleteContents(path, tally);
  CloseHandle(directory);
  if (!emptied) return false;
  if (tally->preview || RemoveDirectoryW(path)) return Removed(tally, true, path, &tally->directories);
  const DWORD error = GetLastError();
  // Everything listed was deleted, yet something is still there (under Wine,
  // deleting a Unix link to a file deletes its target and leaves the link):
  // only on this path, one more listing names it.
  if (error == ERROR_DIR_NOT_EMPTY) NameWhatIsLeft(path, tally);
  return NoteStayed(tally, path, ReasonFor(error), error);
}

bool DeleteDirectoryTree(const wchar_t* path, WalkTally* tally) {
  WalkTally unused;
  if (!tally) tally = &unused;
  if (!path || !*path) return false;
  // The folder's own record: without a wildcard the listing shows the entry
  // itself, but only when the path has no trailing separator, which the
  // platform refuses there. Everything else is handed the path as given.
  size_t length = wcslen(path);
  while (length > 1 && IsSeparator(path[length - 1])) --length;
  if (length >= MAX_PATH) return NoteStayed(tally, path, L"path too long", 0);
  wchar_t self[MAX_PATH];
  wmemcpy(self, path, length);
  self[length] = L'\0';
  WIN32_FIND_DATAW record = {};
  HANDLE listing = FindFirstFileW(self, &record);
  if (listing == INVALID_HANDLE_VALUE) {
    tally->error = GetLastError();  // not found: the folder is not there at all
    return false;
  }
  FindClose(listing);
  tally->found = true;
  if (!(record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return NoteStayed(tally, path, L"not a directory", 0);
  return DeleteEntry(path, record, tally);
}
