#include "app/uninstall.h"

// An elevated program must never load a DLL planted beside it: before anything
// else, DLLs are searched for in the system directory only. Systems without
// the call carry on as they are.
static void RestrictDllSearch() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
  const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  if (!found) return;
  reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void*>(found))(
      LOAD_LIBRARY_SEARCH_SYSTEM32);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearch();
  return RunUninstall();
}
