// The registry step's opens and deletions. A system key is opened by path, as
// the platform resolves it; every key below it is the product's, opened as
// itself (REG_OPTION_OPEN_LINK) relative to its parent, and a key is asked
// whether it is a link before anything below it is opened: a relative open
// from a link's own handle follows the link, so only asking tells. No
// KEY_WOW64_* flag: a relative open stays in its parent's view.
#include "cleanup/cleanup.h"

namespace {

const DWORD kLookInside = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;

// The length of the system key that the path lies below; 0 when none.
size_t SystemKeyLength(const WidePath& keyPath) {
  for (const char* systemKey : RegistrySystemKeys) {
    const WidePath top = Widen(systemKey);
    if (keyPath.size() > top.size() && IsRegistryKeyAtOrBelow(keyPath, top)) return top.size();
  }
  return 0;
}

// 0 with `link` told, or the error that kept the key from answering.
LSTATUS AskIfLink(HKEY key, bool* link) {
  DWORD type = 0;
  DWORD size = 0;
  const LSTATUS status = RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, &size);
  *link = status == ERROR_SUCCESS && type == REG_LINK;
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Opens the key that holds the path's last key, each key on the way asked
// first; `name` receives the last key's name. A key on the way that is a link
// answers ERROR_FILE_NOT_FOUND with `belowLink`; one that refuses the
// question answers its error.
LSTATUS OpenHolder(HKEY hive, const WidePath& keyPath, HKEY* holder, WidePath* name, bool* belowLink) {
  *holder = nullptr;
  *belowLink = false;
  const size_t systemLength = SystemKeyLength(keyPath);
  if (systemLength == 0) return ERROR_INVALID_PARAMETER;  // no key of the list
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(hive, keyPath.substr(0, systemLength).c_str(), 0, KEY_QUERY_VALUE, &key);
  size_t start = systemLength + 1;
  for (size_t end = 0; status == ERROR_SUCCESS && (end = keyPath.find(L'\\', start)) != WidePath::npos;
       start = end + 1) {
    HKEY child = nullptr;
    status = RegOpenKeyExW(key, keyPath.substr(start, end - start).c_str(), REG_OPTION_OPEN_LINK,
                           KEY_QUERY_VALUE, &child);
    RegCloseKey(key);
    key = child;
    if (status == ERROR_SUCCESS) status = AskIfLink(key, belowLink);
    if (status == ERROR_SUCCESS && *belowLink) status = ERROR_FILE_NOT_FOUND;
  }
  if (status != ERROR_SUCCESS) {
    if (key) RegCloseKey(key);
    return status;
  }
  *holder = key;
  *name = keyPath.substr(start);
  return ERROR_SUCCESS;
}

LSTATUS ListSubkeys(HKEY key, const WidePath& keyPath, std::vector<WidePath>* subkeys) {
  wchar_t name[256];  // the longest key name is 255 characters
  LSTATUS status = ERROR_SUCCESS;
  for (DWORD index = 0; status == ERROR_SUCCESS; ++index) {
    DWORD length = sizeof name / sizeof name[0];
    status = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) subkeys->push_back(keyPath + L"\\" + WidePath(name, length));
  }
  return status == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : status;
}

// Opens the key with DELETE, as itself, and deletes it (a preview only opens):
// a link goes alone, a key that holds subkeys is refused.
LSTATUS DeleteAsItself(HKEY holder, const WidePath& name, bool preview) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(holder, name.c_str(), REG_OPTION_OPEN_LINK, DELETE, &key);
  if (status != ERROR_SUCCESS) return status;
  if (!preview) status = static_cast<LSTATUS>(RtlNtStatusToDosError(NtDeleteKey(key)));
  RegCloseKey(key);
  return status;
}

// The key and everything below it, bottom-up. A key is looked inside only
// when it answers that it is no link; one that cannot be looked inside is
// deleted as it is (refused while it holds subkeys). The walk goes on past a
// key that stays and names the first in `stayed` (a preview: the first whose
// deletion's open was refused).
LSTATUS DeleteTree(HKEY holder, const WidePath& name, const WidePath& keyPath, bool preview, WidePath* stayed,
                   bool* link) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(holder, name.c_str(), REG_OPTION_OPEN_LINK, kLookInside, &key);
  if (status == ERROR_FILE_NOT_FOUND) return status;
  if (status == ERROR_SUCCESS) status = AskIfLink(key, link);
  LSTATUS first = ERROR_SUCCESS;
  std::vector<WidePath> subkeys;
  if (status == ERROR_SUCCESS && !*link) ListSubkeys(key, keyPath, &subkeys);
  for (const WidePath& subkey : subkeys) {
    WidePath later;
    bool ignored = false;
    const LSTATUS result = DeleteTree(key, subkey.substr(keyPath.size() + 1), subkey, preview,
                                      first == ERROR_SUCCESS ? stayed : &later, &ignored);
    if (first == ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) first = result;
  }
  if (key) RegCloseKey(key);
  const LSTATUS own = DeleteAsItself(holder, name, preview);
  if (first == ERROR_SUCCESS && own != ERROR_SUCCESS && own != ERROR_FILE_NOT_FOUND) {
    first = own;
    *stayed = keyPath;
  }
  return first;
}

}  // namespace

bool IsRegistryKeyAtOrBelow(const WidePath& keyPath, const WidePath& top) {
  if (keyPath.size() < top.size() || (keyPath.size() > top.size() && keyPath[top.size()] != L'\\'))
    return false;
  return SameText(keyPath.substr(0, top.size()), top);
}

bool SameRegistryKey(const RegistryCleanupEntry& a, const RegistryCleanupEntry& b) {
  const WidePath first = Widen(a.keyPath), second = Widen(b.keyPath);
  return a.hive == b.hive && first.size() == second.size() && IsRegistryKeyAtOrBelow(first, second);
}

LSTATUS RegistryKeyStatus(HKEY hive, const WidePath& keyPath, bool* belowLink) {
  HKEY holder = nullptr;
  WidePath name;
  LSTATUS status = OpenHolder(hive, keyPath, &holder, &name, belowLink);
  if (status != ERROR_SUCCESS) return status;
  // The deletion's open; a key that refuses it is there all the same if it can be looked inside.
  HKEY key = nullptr;
  status = RegOpenKeyExW(holder, name.c_str(), REG_OPTION_OPEN_LINK, DELETE, &key);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND &&
      RegOpenKeyExW(holder, name.c_str(), REG_OPTION_OPEN_LINK, kLookInside, &key) == ERROR_SUCCESS) {
    status = ERROR_SUCCESS;
  }
  if (status == ERROR_SUCCESS) RegCloseKey(key);
  RegCloseKey(holder);
  return status;
}

LSTATUS ListRegistrySubkeys(HKEY hive, const WidePath& keyPath, std::vector<WidePath>* subkeys) {
  HKEY holder = nullptr;
  WidePath name;
  bool belowLink = false;
  LSTATUS status = OpenHolder(hive, keyPath, &holder, &name, &belowLink);
  if (status != ERROR_SUCCESS) return status;
  HKEY key = nullptr;
  status = RegOpenKeyExW(holder, name.c_str(), REG_OPTION_OPEN_LINK, kLookInside, &key);
  RegCloseKey(holder);
  if (status != ERROR_SUCCESS) return status;
  bool link = false;
  status = AskIfLink(key, &link);
  if (status == ERROR_SUCCESS && !link) status = ListSubkeys(key, keyPath, subkeys);
  RegCloseKey(key);
  return status;
}

LSTATUS DeleteRegistryTree(HKEY hive, const WidePath& keyPath, bool preview, WidePath* stayed, bool* link) {
  HKEY holder = nullptr;
  WidePath name;
  bool belowLink = false;
  LSTATUS status = OpenHolder(hive, keyPath, &holder, &name, &belowLink);
  if (status != ERROR_SUCCESS) return status;
  status = DeleteTree(holder, name, keyPath, preview, stayed, link);
  RegCloseKey(holder);
  return status;
}

void CleanRegistry(KeyTrace (&traces)[kRegistryCleanupCount], bool preview) {
  for (int row = 0; row < kRegistryCleanupCount; ++row) {
    const RegistryCleanupEntry& entry = RegistryCleanupList[row];
    KeyTrace& trace = traces[row];
    const WidePath keyPath = Widen(entry.keyPath);
    if (entry.method == KeyTree) {
      trace.result = DeleteRegistryTree(entry.hive, keyPath, preview, &trace.stayed, &trace.link);
      continue;
    }
    HKEY holder = nullptr;
    WidePath name;
    bool belowLink = false;
    trace.result = OpenHolder(entry.hive, keyPath, &holder, &name, &belowLink);
    if (trace.result != ERROR_SUCCESS) continue;
    // For the line only: a key that refuses the question is deleted all the same.
    HKEY key = nullptr;
    if (RegOpenKeyExW(holder, name.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
      if (AskIfLink(key, &trace.link) != ERROR_SUCCESS) trace.link = false;
      RegCloseKey(key);
    }
    trace.result = DeleteAsItself(holder, name, preview);
    RegCloseKey(holder);
  }
}
