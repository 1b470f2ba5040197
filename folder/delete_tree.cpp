#include "folder/wide_path.h"
#include "platform/platform.h"

static bool IsDotEntry(const wchar_t* name) {
  return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

static bool DeleteDirectory(const wchar_t* path);

// A link is never entered: a junction or directory symbolic link is removed as
// itself, which leaves its target alone; a link of any other kind (tag 0 is
// what Wine reports for a Unix symbolic link, whose removal would hit the
// target) is refused.
static bool RemoveLink(const wchar_t* path, DWORD reparseTag) {
  return IsReparseTagNameSurrogate(reparseTag) && RemoveDirectoryW(path) != FALSE;
}

// The listing's record and, for a directory, a handle on it must both show a
// plain directory before anything inside is touched: Windows reports a link
// swapped in after the listing only through the handle, and Wine reports a
// Unix symbolic link only in the listing (its handle opens the target).
static bool DeleteEntry(const wchar_t* path, const WIN32_FIND_DATAW& record) {
  if (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveLink(path, record.dwReserved0);
    return DeleteDirectory(path);
  }
  // Clearing the attributes of a file link would change its target.
  if (!(record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(path) != FALSE;
}

// Empties the directory depth-first. A text that would not fit its buffer
// counts as a failure: a cut path could name another file.
static bool DeleteContents(const wchar_t* path) {
  const size_t pathLength = wcslen(path);
  wchar_t pattern[MAX_PATH];
  if (pathLength + 4 >= MAX_PATH) return false;
  swprintf_s(pattern, MAX_PATH, L"%ls\\*.*", path);

  WIN32_FIND_DATAW record = {};
  HANDLE listing = FindFirstFileW(pattern, &record);
  if (listing == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    if (IsDotEntry(record.cFileName)) continue;
    wchar_t entryPath[MAX_PATH];
    bool deleted = false;
    if (pathLength + 1 + wcslen(record.cFileName) < MAX_PATH) {
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

// The directory is opened as itself and held, without delete sharing, while
// it is emptied: what the handle shows is what gets emptied, and nobody can
// swap it for a link to somewhere else in the meantime. The handle asks for
// listing access because an open for attributes alone takes no part in sharing.
static bool DeleteDirectory(const wchar_t* path) {
  HANDLE directory =
      CreateFileW(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (directory == INVALID_HANDLE_VALUE) return false;
  FILE_ATTRIBUTE_TAG_INFO self = {};
  if (!GetFileInformationByHandleEx(directory, FileAttributeTagInfo, &self, sizeof self) ||
      !(self.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(directory);
    return false;
  }
  if (self.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    CloseHandle(directory);
    return RemoveLink(path, self.ReparseTag);
  }
  const bool emptied = DeleteContents(path);
  CloseHandle(directory);
  return emptied && RemoveDirectoryW(path) != FALSE;
}

bool DeleteDirectoryTree(const wchar_t* path) {
  if (!path || !*path) return false;
  // The folder's own record: without a wildcard the listing shows the entry itself.
  WIN32_FIND_DATAW record = {};
  HANDLE self = FindFirstFileW(path, &record);
  if (self == INVALID_HANDLE_VALUE) return false;
  FindClose(self);
  if (!(record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return DeleteEntry(path, record);
}
