#include "folder/walk_checks.h"

// Asked for the attributes through the handle; on failure the handle is closed.
static HANDLE WithAttributes(HANDLE directory, FILE_ATTRIBUTE_TAG_INFO* self) {
  if (directory == INVALID_HANDLE_VALUE) return directory;
  if (!GetFileInformationByHandleEx(directory, FileAttributeTagInfo, self, sizeof *self)) {
    const DWORD error = GetLastError();
    CloseHandle(directory);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  return directory;
}

HANDLE OpenAsItself(const wchar_t* path, FILE_ATTRIBUTE_TAG_INFO* self) {
  const wchar_t driveRoot[4] = {path[0], L':', L'\\', L'\0'};
  if (path[0] && path[1] == L':' && path[2] == L'\0') path = driveRoot;
  // Listing access because an open for attributes alone takes no part in sharing.
  return WithAttributes(
      CreateFileW(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr),
      self);
}

bool LongFormOf(const WidePath& path, WidePath* form) {
  if (path.compare(0, 4, L"\\\\?\\") == 0) {
    *form = path;
    return true;
  }
  // A bare drive keeps the meaning it always had here: its root, not its current directory.
  const bool bareDrive = path.size() == 2 && path[1] == L':';
  WidePath full;
  if (!FullPathOf(bareDrive ? path + L"\\" : path, &full)) return false;
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  if (full.size() == 2 && full[1] == L':') full += L'\\';  // "C:" is the volume, "C:\\" its root
  *form = full.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
  return true;
}

HANDLE OpenRootAsItself(const WidePath& path, FILE_ATTRIBUTE_TAG_INFO* self) {
  WidePath form;
  if (!LongFormOf(path, &form)) return INVALID_HANDLE_VALUE;
  return OpenAsItself(form.c_str(), self);
}

HANDLE OpenChildAsItself(HANDLE parent, const ListedEntry& entry, FILE_ATTRIBUTE_TAG_INFO* self) {
  return WithAttributes(
      OpenRelative(parent, entry.name, entry.length, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                   FILE_SHARE_READ | FILE_SHARE_WRITE, true),
      self);
}

bool IsPlainDirectory(const FILE_ATTRIBUTE_TAG_INFO& self) {
  return (self.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(self.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsNotFound(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool LiesInside(const WidePath& file, const WidePath& directory) {
  if (directory.empty() || file.size() <= directory.size() || file[directory.size()] != L'\\') return false;
  return SameText(file.substr(0, directory.size()), directory);
}
