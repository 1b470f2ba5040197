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

static bool EmptyAndRemoveDirectory(const wchar_t* path);

// A link is never entered: a junction or directory symbolic link is removed as
// itself, which leaves its target alone. A link of any other kind (tag 0 is
// what Wine reports for a Unix symbolic link, whose removal would hit the
// target) is left in place, which fails the deletion.
static bool RemoveLinkItself(const wchar_t* path, DWORD reparseTag) {
  return IsReparseTagNameSurrogate(reparseTag) && RemoveDirectoryW(path) != FALSE;
}

// The listing's record and, for a directory, a handle on it must both show a
// plain directory before anything inside is touched: Windows reports a link
// swapped in after the listing only through the handle, and Wine reports a
// Unix symbolic link only in the listing (its handle opens the target).
static bool DeleteEntry(const wchar_t* path, const WIN32_FIND_DATAW& record) {
  const bool reparsePoint = (record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (reparsePoint) return RemoveLinkItself(path, record.dwReserved0);
    return EmptyAndRemoveDirectory(path);
  }
  // Clearing the attributes of a file link would change its target; any other
  // file, placeholders and deduplicated files included, gets the reset.
  if (!reparsePoint || !IsReparseTagNameSurrogate(record.dwReserved0))
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(path) != FALSE;
}

// Empties the directory depth-first. A text that would not fit its buffer
// counts as a failure: a cut path could name another file. So does a listed
// name that a path cannot address safely ("..\x", "data.", "CON"): joined to
// the path, it would name something else.
static bool DeleteContents(const wchar_t* path) {
  const size_t pathLength = wcslen(path);
  wchar_t pattern[MAX_PATH];
  if (pathLength + kPatternTail >= MAX_PATH) return false;
  swprintf_s(pattern, MAX_PATH, L"%ls\\*.*", path);

  WIN32_FIND_DATAW record = {};
  HANDLE listing = FindFirstFileW(pattern, &record);
  if (listing == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    if (IsDotEntry(record.cFileName)) continue;
    wchar_t entryPath[MAX_PATH];
    bool deleted = false;
    if (IsPlainName(record.cFileName) && pathLength + 1 + wcslen(record.cFileName) < MAX_PATH) {
      swprintf_s(entryPath, MAX_PATH, L"%ls\\%ls", path, record.cFileName);
      deleted = DeleteEntry(entryPath, record);
    }
    if (!deleted) {
      FindClose(listing);
      return false;
    }
  } while (FindNextFileW(listing, &record));
  FindClose(listing);
  return true;
}

// The directory is opened as itself and held while it is emptied: what the
// handle shows is what gets emptied, and nobody can swap it for a link to
// somewhere else in the meantime.
static bool EmptyAndRemoveDirectory(const wchar_t* path) {
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE directory = OpenAsItself(path, &self);
  if (directory == INVALID_HANDLE_VALUE) return false;
  if (!(self.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(directory);
    return false;
  }
  if (self.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    CloseHandle(directory);
    return RemoveLinkItself(path, self.ReparseTag);
  }
  const bool emptied = DeleteContents(path);
  CloseHandle(directory);
  return emptied && RemoveDirectoryW(path) != FALSE;
}

bool DeleteDirectoryTree(const wchar_t* path) {
  if (!path || !*path) return false;
  // The folder's own record: without a wildcard the listing shows the entry
  // itself, but only when the path has no trailing separator, which the
  // platform refuses there. Everything else is handed the path as given.
  size_t length = wcslen(path);
  while (length > 1 && IsSeparator(path[length - 1])) --length;
  if (length >= MAX_PATH) return false;
  wchar_t self[MAX_PATH];
  wmemcpy(self, path, length);
  self[length] = L'\0';
  WIN32_FIND_DATAW record = {};
  HANDLE listing = FindFirstFileW(self, &record);
  if (listing == INVALID_HANDLE_VALUE) return false;
  FindClose(listing);
  if (!(record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return DeleteEntry(path, record);
}
