#include "cleanup/cleanup.h"

#include <ctype.h>

#include <string>
#include <vector>

// Children come before their parents wherever a key is deleted KeyOnly. The
// vendor path is spelled two ways; registry names ignore case.
// clang-format off
const RegistryCleanupEntry RegistryCleanupList[kRegistryCleanupCount] = {
    {HKEY_CURRENT_USER,   "Software\\MirelNetwork\\kVelnoraTelvarine\\TelvarineError",    KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine",         KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane",           KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine\\Dranwick",          KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine\\Ostermere",         KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine\\Ravelin",           KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine",                    KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine",                    KeyTree},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork",                                       KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine",         KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane",           KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine\\Dranwick",          KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine\\Ostermere",         KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine\\Ravelin",           KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine",                    KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine",                    KeyTree},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork",                                       KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\KVDRNT2\\Security",       KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\KVDRNT2\\Enum",           KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\KVDRNT2",                 KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\brenserv\\Security",      KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\brenserv\\Enum",          KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\brenserv",                KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Security",       KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Enum",           KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc",                 KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc",                 KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\dump_qelrmx",             KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\TVKernel",                KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\TVKernel64",              KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\ControlSet002\\Services\\kvtlsvc",                     KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\ControlSet002\\Services\\dump_qelrmx",                 KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\ControlSet002\\Services\\TVKernel",                    KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\ControlSet002\\Services\\TVKernel64",                  KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0000", KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV",       KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC\\0000",  KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC",        KeyOnly},
};
// clang-format on

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

static bool IsListed(HKEY hive, const std::string& keyPath) {
  for (const RegistryCleanupEntry& entry : RegistryCleanupList) {
    if (entry.hive == hive && SamePath(entry.keyPath, keyPath.c_str())) return true;
  }
  return false;
}

// The full paths of the key's subkeys; false when the key could not be read whole.
static bool Subkeys(HKEY hive, const char* keyPath, std::vector<std::string>* subkeys) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char name[256];  // the longest key name is 255 characters
  LSTATUS status = ERROR_SUCCESS;
  for (DWORD index = 0; status == ERROR_SUCCESS; ++index) {
    DWORD length = sizeof name;
    status = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) subkeys->push_back(std::string(keyPath) + "\\" + name);
  }
  RegCloseKey(key);
  return status == ERROR_NO_MORE_ITEMS;
}

bool HoldsOnlyUnlistedSubkeys(HKEY hive, const char* keyPath) {
  std::vector<std::string> subkeys;
  // A key not seen whole is not judged kept.
  if (!Subkeys(hive, keyPath, &subkeys) || subkeys.empty()) return false;
  for (const std::string& subkey : subkeys) {
    if (IsListed(hive, subkey)) return false;
  }
  return true;
}

// A whole-tree row for the key or for a key above it.
static bool CoveredByTree(HKEY hive, const std::string& keyPath) {
  for (const RegistryCleanupEntry& entry : RegistryCleanupList) {
    const size_t length = strlen(entry.keyPath);
    if (entry.method != KeyTree || entry.hive != hive || keyPath.size() < length) continue;
    if ((keyPath.size() == length || keyPath[length] == '\\') &&
        SamePath(entry.keyPath, keyPath.substr(0, length).c_str()))
      return true;
  }
  return false;
}

bool WouldHoldUnlistedSubkeys(HKEY hive, const char* keyPath) {
  if (CoveredByTree(hive, keyPath)) return false;
  std::vector<std::string> subkeys;
  Subkeys(hive, keyPath, &subkeys);  // what could be read is judged
  for (const std::string& subkey : subkeys) {
    if (!IsListed(hive, subkey) || WouldHoldUnlistedSubkeys(hive, subkey.c_str())) return true;
  }
  return false;
}
