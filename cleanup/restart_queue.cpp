#include "cleanup/cleanup.h"
#include "folder/handle_ops.h"

static const int kAsideTries = 16;

// A free name beside the module: renamed aside first, so that a copy installed
// again before the restart is not the one deleted then.
static bool RenameAside(const char* path, char* aside) {
  for (int attempt = 0; attempt < kAsideTries; ++attempt) {
    const int length = snprintf(aside, MAX_PATH, "%s.%lu-%d.deleted", path,
                                static_cast<unsigned long>(GetCurrentProcessId()), attempt);
    if (length <= 0 || length >= MAX_PATH) break;
    if (MoveFileExA(path, aside, 0)) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
  }
  aside[0] = '\0';
  return false;
}

// The path by which the system itself knows the file or directory, "\\?\"
// dropped: WOW64 shows a 32-bit process the 32-bit system directory under the
// 64-bit one's name, and the deletion at restart runs without that redirection.
static bool FinalPath(const char* path, DWORD flags, wchar_t* final) {
  HANDLE file =
      CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  WidePath reported;
  const bool told = FinalPathOf(file, &reported);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!told || reported.size() >= MAX_PATH) {
    SetLastError(told ? ERROR_FILENAME_EXCED_RANGE : error);
    return false;
  }
  wcscpy_s(final, MAX_PATH, reported.c_str());
  return true;
}

// Directly inside the directory, names compared without regard to case.
static bool IsDirectlyInside(const wchar_t* file, const wchar_t* directory) {
  const size_t length = wcslen(directory);
  if (wcslen(file) <= length + 1 || file[length] != L'\\') return false;
  return SameText(WidePath(file, length), directory) && wcschr(file + length + 1, L'\\') == nullptr;
}

bool QueueModuleForRestart(const char* path, char* aside, wchar_t* queued) {
  queued[0] = L'\0';
  const char* current = RenameAside(path, aside) ? aside : path;
  char directory[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(directory, MAX_PATH);
  wchar_t directoryFinal[MAX_PATH] = {};
  // Only what lies in the system directory itself is queued: the deletion at
  // restart runs as the system, and a path that anyone else can write could
  // be redirected by a junction before then.
  DWORD error = ERROR_ACCESS_DENIED;
  if (length == 0 || length >= MAX_PATH) {
    error = ERROR_PATH_NOT_FOUND;
  } else if (!FinalPath(directory, FILE_FLAG_BACKUP_SEMANTICS, directoryFinal) ||
             !FinalPath(current, 0, queued)) {
    error = GetLastError();
  } else if (IsDirectlyInside(queued, directoryFinal)) {
    if (MoveFileExW(queued, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return true;
    error = GetLastError();
  }
  queued[0] = L'\0';
  if (aside[0] && MoveFileExA(aside, path, 0)) aside[0] = '\0';
  SetLastError(error);
  return false;
}
