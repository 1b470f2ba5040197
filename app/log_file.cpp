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
// link, a device or a second hard link. 0 when the file is such a file.
static DWORD LogFileRefusal(HANDLE file) {
  FILE_ATTRIBUTE_TAG_INFO self = {};
  BY_HANDLE_FILE_INFORMATION record = {};
  if (GetFileType(file) != FILE_TYPE_DISK) return ERROR_NOT_SUPPORTED;
  if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &self, sizeof self) ||
      !GetFileInformationByHandle(file, &record)) {
    return GetLastError();
  }
  if (self.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_DIRECTORY;
  if (self.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return ERROR_CANT_ACCESS_FILE;
  if (record.nNumberOfLinks != 1) return ERROR_TOO_MANY_LINKS;
  return 0;
}

bool OpenLog(RunRecord& record, const WidePath& path) {
  CloseLog(record);
  // Absolute first ("C:x.log" lies in drive C's current directory): the
  // directory held is the one the file is in.
  WidePath full;
  if (!FullPathOf(path, &full)) return false;
  const size_t separator = full.find_last_of(L'\\');
  if (separator == WidePath::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  WidePath directory = full.substr(0, separator);
  // "\\?\C:" opens the volume, not its root directory.
  if (directory.back() == L':') directory += L'\\';
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE held = OpenAsItself(directory.c_str(), &self);
  if (held == INVALID_HANDLE_VALUE) return false;
  if (!IsPlainDirectory(self)) return Refuse(held, ERROR_CANT_ACCESS_FILE);
  HANDLE file = CreateFileW(full.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Refuse(held, GetLastError());
  record.logCreated = GetLastError() != ERROR_ALREADY_EXISTS;
  record.logDirectory = held;
  record.logFile = file;
  const DWORD refusal = LogFileRefusal(file);
  if (refusal == 0) return true;
  DiscardLog(record);
  SetLastError(refusal);
  return false;
}

static bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// The log this run created goes again: reopened by its name in the directory
// still held, and disposed of only when it is still the same file.
static void RemoveCreatedLog(RunRecord& record) {
  BY_HANDLE_FILE_INFORMATION created = {};
  WidePath final = record.logFinalPath;
  const bool known = GetFileInformationByHandle(record.logFile, &created) &&
                     (!final.empty() || FinalPathOf(record.logFile, &final));
  // The log's own handle shares no deletion: the reopen waits for it to close.
  CloseHandle(record.logFile);
  record.logFile = INVALID_HANDLE_VALUE;
  if (!known) return;
  const WidePath name = final.substr(final.find_last_of(L'\\') + 1);
  HANDLE file = OpenRelative(record.logDirectory, name.c_str(), name.size(), DELETE | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false);
  if (file == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION reopened = {};
  if (GetFileInformationByHandle(file, &reopened) && SameFile(created, reopened)) DisposeOf(file);
  CloseHandle(file);
}

void DiscardLog(RunRecord& record) {
  if (record.logCreated && record.logFile != INVALID_HANDLE_VALUE) RemoveCreatedLog(record);
  CloseLog(record);
}

void CloseLog(RunRecord& record) {
  if (record.logFile != INVALID_HANDLE_VALUE) CloseHandle(record.logFile);
  if (record.logDirectory != INVALID_HANDLE_VALUE) CloseHandle(record.logDirectory);
  record.logFile = INVALID_HANDLE_VALUE;
  record.logDirectory = INVALID_HANDLE_VALUE;
}
