#include "folder/wide_path.h"
#include "platform/platform.h"

static bool IsDotEntry(const wchar_t* name) {
  return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

static bool DeleteDirectoryContents(const wchar_t* path);

// Removes one entry by what its listing record says. Links are never entered:
// a junction or directory symbolic link is removed as itself, which leaves its
// target alone; a link of any other kind (tag 0 is what Wine reports for a Unix
// symbolic link, whose removal would hit the target) is refused.
static bool DeleteEntry(const wchar_t* path, const WIN32_FIND_DATAW& record) {
  const bool isDirectory = (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool isLink = (record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (isDirectory && isLink) {
    if (!IsReparseTagNameSurrogate(record.dwReserved0)) return false;
    return RemoveDirectoryW(path) != FALSE;
  }
  if (isDirectory) return DeleteDirectoryContents(path);
  // Clearing the attributes of a link would change its target.
  if (!isLink) SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(path) != FALSE;
}

// Empties the directory depth-first and removes it. A text that would not fit
// its buffer counts as a failure: a cut path could name another file.
static bool DeleteDirectoryContents(const wchar_t* path) {
  const size_t pathLength = wcslen(path);
  wchar_t pattern[MAX_PATH];
  if (pathLength + 4 >= MAX_PATH) return false;
  swprintf_s(pattern, MAX_PATH, L"%ls\\*.*", path);

  WIN32_FIND_DATAW record = {};
  HANDLE listing = FindFirstFileW(pattern, &record);
  if (listing == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return RemoveDirectoryW(path) != FALSE;
    return false;
  }
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
  return RemoveDirectoryW(path) != FALSE;
}

bool DeleteDirectoryTree(const wchar_t* path) {
  if (!path || !*path) return false;
  // The folder's own record tells whether it is a link before anything inside
  // it is touched.
  WIN32_FIND_DATAW record = {};
  HANDLE self = FindFirstFileW(path, &record);
  if (self == INVALID_HANDLE_VALUE) return false;
  FindClose(self);
  if (!(record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return DeleteEntry(path, record);
}
