// The floor for deleting a tree under Wine: only the calls such a deletion
// needs, on the path exactly as it is cased on disk.
//   floor DIRECTORY
#include <windows.h>

#include <string>

static bool Remove(const std::wstring& directory) {
  WIN32_FIND_DATAW record;
  HANDLE listing = FindFirstFileW((directory + L"\\*").c_str(), &record);
  if (listing == INVALID_HANDLE_VALUE) return false;
  do {
    const std::wstring name = record.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = directory + L"\\" + name;
    if (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Remove(path);
    } else {
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(path.c_str());
    }
  } while (FindNextFileW(listing, &record));
  FindClose(listing);
  return RemoveDirectoryW(directory.c_str()) != FALSE;
}

int wmain(int argc, wchar_t** argv) {
  return argc == 2 && Remove(argv[1]) ? 0 : 1;
}
