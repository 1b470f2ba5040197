#include "app/report.h"
#include "folder/walk_checks.h"

static bool Refuse(HANDLE file, DWORD error) {
  CloseHandle(file);
  SetLastError(error);
  return false;
}

// The log is an elevated write to a path the caller names. It must land in a
// plain file of a plain directory: the directory is held for the whole run
// (nobody can swap it for a link), the file is opened as itself and must be a
// disk file with one name, so the write cannot reach another file through a
// link, a device or a second hard link.
static HANDLE OpenLogFile(const WidePath& path) {
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  FILE_ATTRIBUTE_TAG_INFO self = {};
  BY_HANDLE_FILE_INFORMATION record = {};
  DWORD error = 0;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    error = ERROR_NOT_SUPPORTED;
  } else if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &self, sizeof self) ||
             !GetFileInformationByHandle(file, &record)) {
    error = GetLastError();
  } else if (self.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    error = ERROR_DIRECTORY;
  } else if (self.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    error = ERROR_CANT_ACCESS_FILE;
  } else if (record.nNumberOfLinks != 1) {
    error = ERROR_TOO_MANY_LINKS;
  }
  if (error == 0) return file;
  Refuse(file, error);
  return INVALID_HANDLE_VALUE;
}

bool OpenLog(RunRecord& record, const WidePath& path) {
  CloseLog(record);
  const size_t separator = path.find_last_of(L"\\/");
  WidePath directory = L".";
  if (separator == 0) {
    directory = path.substr(0, 1);  // the root of the current drive
  } else if (separator != WidePath::npos) {
    directory = path.substr(0, separator);
  } else if (path.size() >= 2 && path[1] == L':') {
    SetLastError(ERROR_INVALID_NAME);  // "C:name" is relative to a directory the run cannot hold
    return false;
  }
  // "\\?\C:" opens the volume, not its root directory.
  if (directory.back() == L':') directory += L'\\';
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE held = OpenAsItself(directory.c_str(), &self);
  if (held == INVALID_HANDLE_VALUE) return false;
  if (!IsPlainDirectory(self)) return Refuse(held, ERROR_CANT_ACCESS_FILE);
  HANDLE file = OpenLogFile(path);
  if (file == INVALID_HANDLE_VALUE) return Refuse(held, GetLastError());
  record.logDirectory = held;
  record.logFile = file;
  return true;
}

void CloseLog(RunRecord& record) {
  if (record.logFile != INVALID_HANDLE_VALUE) CloseHandle(record.logFile);
  if (record.logDirectory != INVALID_HANDLE_VALUE) CloseHandle(record.logDirectory);
  record.logFile = INVALID_HANDLE_VALUE;
  record.logDirectory = INVALID_HANDLE_VALUE;
}
