#include "folder/wide_path.h"

#include "platform/platform.h"

bool FindExecutableDirectory(WidePath& directory, WidePath* failure) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  // A full buffer means the name was cut, and may not even be terminated.
  if (length == 0 || length >= MAX_PATH) {
    *failure = L"Error: GetModuleFileNameW call failed, error code: " + std::to_wstring(GetLastError());
    return false;
  }
  // The name ends at its first zero, as every call that is handed it will read it.
  const WidePath moduleName(buffer, wcsnlen(buffer, length));
  const size_t separator = moduleName.find_last_of(L"\\/");
  if (separator == WidePath::npos) {
    *failure = L"Error: Failed to extract executable directory, path: " + Shown(moduleName);
    return false;
  }
  directory = moduleName.substr(0, separator);
  return true;
}

bool EndsWith(const WidePath& text, const WidePath& suffix) {
  if (suffix.empty() || suffix.size() > text.size()) return false;
  return SameText(text.substr(text.size() - suffix.size()), suffix);
}

WidePath Concat(const WidePath& base, const wchar_t* tail) {
  return base + tail;
}
