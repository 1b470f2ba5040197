#include "folder/wide_path.h"
#include "platform/platform.h"

static bool IsSearchableDirectory(const WIN32_FIND_DATAW& record) {
  if (!(record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return wcscmp(record.cFileName, L".") != 0 && wcscmp(record.cFileName, L"..") != 0;
}

bool SearchDirectoryTree(void* context, const WidePath& root, DirectoryVisitor visitor) {
  const WidePath pattern = Concat(root, L"\\*");
  WIN32_FIND_DATAW record = {};
  HANDLE listing = FindFirstFileW(pattern.c_str(), &record);
  if (listing == INVALID_HANDLE_VALUE) {
    PrintWide(L"FindFirstFileW failed, error code: %lu\n", GetLastError());
    return false;
  }
  do {
    if (!IsSearchableDirectory(record)) continue;
    const WidePath fullPath = Concat(Concat(root, L"\\"), record.cFileName);
    if (visitor && !visitor(fullPath, WidePath(record.cFileName), context)) {
      FindClose(listing);
      return true;
    }
    // A link is shown like any directory but never entered: what it points
    // at lies outside the tree.
    if (record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    if (SearchDirectoryTree(context, fullPath, visitor)) {
      FindClose(listing);
      return true;
    }
  } while (FindNextFileW(listing, &record));
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) PrintWide(L"FindNextFileW failed, error code: %lu\n", error);
  FindClose(listing);
  return false;
}
