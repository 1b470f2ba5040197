#include "cleanup/cleanup.h"

void CleanRegistry(LSTATUS* statuses) {
  for (int row = 0; row < kRegistryCleanupCount; ++row) {
    const RegistryCleanupEntry& entry = RegistryCleanupList[row];
    const LSTATUS status = entry.method == KeyOnly ? RegDeleteKeyA(entry.hive, entry.keyPath)
                                                   : SHDeleteKeyA(entry.hive, entry.keyPath);
    if (statuses) statuses[row] = status;
  }
}

bool SameRegistryKey(const RegistryCleanupEntry& a, const RegistryCleanupEntry& b) {
  return a.hive == b.hive && SameText(Widen(a.keyPath), Widen(b.keyPath));
}

LSTATUS RegistryKeyStatus(HKEY hive, const char* keyPath) {
  HKEY key = nullptr;
  const LSTATUS status = RegOpenKeyExA(hive, keyPath, 0, KEY_READ, &key);
  if (status == ERROR_SUCCESS) RegCloseKey(key);
  return status;
}
