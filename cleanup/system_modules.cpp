#include "cleanup/cleanup.h"

const char* const SystemModuleList[kSystemModuleCount] = {
    "\\kvdrNT2.sys",
    "\\kvdr9x.vxd",
    "\\Corvane.des",
};

bool SystemModulePath(const char* suffix, char* path) {
  path[0] = '\0';
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  // Without the whole directory, or without room for the whole name, there is
  // no path: a partial one could name some other file.
  if (length == 0 || length >= MAX_PATH) return false;
  if (strlen(path) + strlen(suffix) >= MAX_PATH) return false;
  strcat_s(path, MAX_PATH, suffix);
  return true;
}

