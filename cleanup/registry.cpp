#include <ctype.h>

#include "cleanup/cleanup.h"

void CleanRegistry(LSTATUS* statuses) {
  for (int row = 0; row < kRegistryCleanupCount; ++row) {
    const RegistryCleanupEntry& entry = RegistryCleanupList[row];
    const LSTATUS status = entry.method == KeyOnly ? RegDeleteKeyA(entry.hive, entry.keyPath)
                                                   : SHDeleteKeyA(entry.hive, entry.keyPath);
    if (statuses) statuses[row] = status;
  }
}

static bool SamePath(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (tolower(static_cast<unsigned char>(*a)) != tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

bool SameRegistryKey(const RegistryCleanupEntry& a, const RegistryCleanupEntry& b) {
  return a.hive == b.hive && SamePath(a.keyPath, b.keyPath);
}

LSTATUS RegistryKeyStatus(HKEY hive, const char* keyPath) {
  HKEY key = nullptr;
  const LSTATUS status = RegOpenKeyExA(hive, keyPath, 0, KEY_READ, &key);
  if (status == ERROR_SUCCESS) RegCloseKey(key);
  return status;
}
