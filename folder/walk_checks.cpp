#include "folder/walk_checks.h"

static bool IsDeviceDigit(wchar_t c) {
  // Windows also reads the superscript digits as port numbers.
  return (c >= L'0' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3;
}

// CON, PRN, AUX, NUL, COM0-9 and LPT0-9, in any case, also with an extension
// or with spaces before it: the platform opens the device, not the file.
static bool IsDeviceName(const wchar_t* name) {
  size_t length = 0;
  while (name[length] && name[length] != L'.') ++length;
  while (length > 0 && name[length - 1] == L' ') --length;
  wchar_t base[5] = {};
  if (length < 3 || length > 4) return false;
  for (size_t i = 0; i < length; ++i) base[i] = static_cast<wchar_t>(towupper(name[i]));
  if (length == 3) {
    return wcscmp(base, L"CON") == 0 || wcscmp(base, L"PRN") == 0 || wcscmp(base, L"AUX") == 0 ||
           wcscmp(base, L"NUL") == 0;
  }
  return (wcsncmp(base, L"COM", 3) == 0 || wcsncmp(base, L"LPT", 3) == 0) && IsDeviceDigit(name[3]);
}

bool IsPlainName(const wchar_t* name) {
  const size_t length = wcslen(name);
  if (length == 0) return false;
  // Separators lead elsewhere; a trailing dot or space is dropped by path
  // parsing (which also makes names of dots alone mean "here" or "above");
  // the rest are wildcards, stream and device syntax.
  if (wcspbrk(name, L"\\/*?:\"<>|")) return false;
  if (name[length - 1] == L'.' || name[length - 1] == L' ') return false;
  return !IsDeviceName(name);
}

HANDLE OpenAsItself(const wchar_t* path, FILE_ATTRIBUTE_TAG_INFO* self) {
  const wchar_t driveRoot[4] = {path[0], L':', L'\\', L'\0'};
  if (path[0] && path[1] == L':' && path[2] == L'\0') path = driveRoot;
  // Listing access because an open for attributes alone takes no part in sharing.
  HANDLE directory =
      CreateFileW(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (directory == INVALID_HANDLE_VALUE) return directory;
  if (!GetFileInformationByHandleEx(directory, FileAttributeTagInfo, self, sizeof *self)) {
    const DWORD error = GetLastError();
    CloseHandle(directory);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  return directory;
}

HANDLE OpenChildAsItself(HANDLE, const ListedEntry&, const WidePath& path, FILE_ATTRIBUTE_TAG_INFO* self) {
  return OpenAsItself(path.c_str(), self);
}

bool IsPlainDirectory(const FILE_ATTRIBUTE_TAG_INFO& self) {
  return (self.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(self.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsNotFound(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool SamePath(const WidePath& a, const WidePath& b) {
  WidePath left = a, right = b;
  ToLowerInPlace(left);
  ToLowerInPlace(right);
  return left == right;
}

bool LiesInside(const WidePath& file, const WidePath& directory) {
  if (directory.empty() || file.size() <= directory.size() || file[directory.size()] != L'\\') return false;
  return SamePath(file.substr(0, directory.size()), directory);
}
