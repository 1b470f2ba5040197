#include "cleanup/cleanup.h"

const char* const SystemModuleList[kSystemModuleCount] = {
    "\\kvdrNT2.sys",
    "\\kvdr9x.vxd",
    "\\Corvane.des",
};

void DeleteSystemModules() {
  for (const char* suffix : SystemModuleList) {
    char path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    // Without the whole directory, or without room for the whole name, the
    // file is skipped: a partial path could name some other file.
    if (length == 0 || length >= MAX_PATH) continue;
    if (strlen(path) + strlen(suffix) >= MAX_PATH) continue;
    strcat_s(path, MAX_PATH, suffix);
    DeleteFileA(path);
  }
}
