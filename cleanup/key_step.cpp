// The registry step's judgement of each key. The rules, in order: a key that
// a whole-tree row removes (its own or an ancestor's) and that is still there
// failed; otherwise it is kept when every subkey it still holds is unlisted or
// itself kept; otherwise it failed. A real run asks the registry after the
// list ran; a preview asks a registry with what the list would remove taken
// out, so both judge through the same rules.
#include "cleanup/cleanup.h"

namespace {

struct KeyView {
  bool preview;
  const std::vector<std::string>* servicesGone;  // preview: their keys go with them
};

bool IsAtOrBelow(const std::string& keyPath, const char* top) {
  const size_t length = strlen(top);
  if (keyPath.size() < length || (keyPath.size() > length && keyPath[length] != '\\')) return false;
  return SameText(Widen(keyPath.substr(0, length).c_str()), Widen(top));
}

bool IsListed(HKEY hive, const std::string& keyPath) {
  for (const RegistryCleanupEntry& entry : RegistryCleanupList) {
    if (entry.hive == hive && IsAtOrBelow(keyPath, entry.keyPath) && keyPath.size() == strlen(entry.keyPath))
      return true;
  }
  return false;
}

// A whole-tree row for the key or for a key above it.
bool CoveredByTree(HKEY hive, const std::string& keyPath) {
  for (const RegistryCleanupEntry& entry : RegistryCleanupList) {
    if (entry.method == KeyTree && entry.hive == hive && IsAtOrBelow(keyPath, entry.keyPath)) return true;
  }
  return false;
}

bool GoesWithService(const KeyView& view, HKEY hive, const std::string& keyPath) {
  if (!view.preview || hive != HKEY_LOCAL_MACHINE) return false;
  for (const std::string& service : *view.servicesGone) {
    if (IsAtOrBelow(keyPath, (ServiceKeyPrefix + service).c_str())) return true;
  }
  return false;
}

// The full paths of the key's subkeys; false when the key could not be read whole.
bool Subkeys(HKEY hive, const std::string& keyPath, std::vector<std::string>* subkeys) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char name[256];  // the longest key name is 255 characters
  LSTATUS status = ERROR_SUCCESS;
  for (DWORD index = 0; status == ERROR_SUCCESS; ++index) {
    DWORD length = sizeof name;
    status = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) subkeys->push_back(keyPath + "\\" + name);
  }
  RegCloseKey(key);
  return status == ERROR_NO_MORE_ITEMS;
}

// A preview: would the list (or the service step) remove the key? A key whose
// subkeys cannot be read may go: only what is known to stay stays.
bool WouldGo(const KeyView& view, HKEY hive, const std::string& keyPath) {
  if (CoveredByTree(hive, keyPath) || GoesWithService(view, hive, keyPath)) return true;
  if (!IsListed(hive, keyPath)) return false;
  std::vector<std::string> subkeys;
  if (!Subkeys(hive, keyPath, &subkeys)) return true;
  for (const std::string& subkey : subkeys) {
    if (!WouldGo(view, hive, subkey)) return false;
  }
  return true;
}

// Whether the key is there after the step, as RegistryKeyStatus answers.
LSTATUS StatusAfter(const KeyView& view, HKEY hive, const std::string& keyPath) {
  const LSTATUS status = RegistryKeyStatus(hive, keyPath.c_str());
  if (view.preview && status == ERROR_SUCCESS && WouldGo(view, hive, keyPath)) return ERROR_FILE_NOT_FOUND;
  return status;
}

bool SubkeysAfter(const KeyView& view, HKEY hive, const std::string& keyPath,
                  std::vector<std::string>* subkeys) {
  std::vector<std::string> all;
  if (!Subkeys(hive, keyPath, &all)) return false;
  for (const std::string& subkey : all) {
    if (!view.preview || !WouldGo(view, hive, subkey)) subkeys->push_back(subkey);
  }
  return true;
}

// A key that is still there: kept, with why, or failed (`refusal` says why).
Judgement JudgeKeyThatStayed(const KeyView& view, HKEY hive, const std::string& keyPath, DWORD refusal) {
  const Judgement failed = {kFailed, L"", refusal};
  if (CoveredByTree(hive, keyPath)) return failed;
  std::vector<std::string> subkeys;
  // A key not seen whole, or holding nothing, is not kept for anything.
  if (!SubkeysAfter(view, hive, keyPath, &subkeys) || subkeys.empty()) return failed;
  bool holdsKept = false;
  for (const std::string& subkey : subkeys) {
    if (!IsListed(hive, subkey)) continue;
    if (JudgeKeyThatStayed(view, hive, subkey, 0).outcome != kKept) return failed;
    holdsKept = true;
  }
  return {kKept, holdsKept ? L"holds kept keys" : L"holds subkeys the list does not name", 0};
}

WidePath KeyName(const RegistryCleanupEntry& entry) {
  return (entry.hive == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKLM\\") + Widen(entry.keyPath);
}

// The first row that names the key of row `row`.
int FirstRowOfKey(int row) {
  int first = 0;
  while (!SameRegistryKey(RegistryCleanupList[first], RegistryCleanupList[row])) ++first;
  return first;
}

}  // namespace

void NoteRegistryKeys(LSTATUS (&before)[kRegistryCleanupCount]) {
  for (int row = 0; row < kRegistryCleanupCount; ++row) {
    const RegistryCleanupEntry& entry = RegistryCleanupList[row];
    before[row] =
        FirstRowOfKey(row) == row ? RegistryKeyStatus(entry.hive, entry.keyPath) : before[FirstRowOfKey(row)];
  }
}

void RemoveRegistryKeys(RunRecord& record, const LSTATUS (&before)[kRegistryCleanupCount],
                        const std::vector<std::string>& servicesGone) {
  LSTATUS statuses[kRegistryCleanupCount] = {};
  if (!record.preview) CleanRegistry(statuses);
  const KeyView view = {record.preview, &servicesGone};
  for (int row = 0; row < kRegistryCleanupCount; ++row) {
    if (FirstRowOfKey(row) != row) continue;
    const RegistryCleanupEntry& entry = RegistryCleanupList[row];
    // Only "not found" means absent; a key that could not be asked may have been there.
    const bool wasThere = before[row] != ERROR_FILE_NOT_FOUND;
    const LSTATUS after = StatusAfter(view, entry.hive, entry.keyPath);
    if (after == ERROR_FILE_NOT_FOUND) {
      AddTarget(record, wasThere ? kRemoved : kAbsent, L"key", KeyName(entry));
    } else if (after != ERROR_SUCCESS) {
      AddTarget(record, kFailed, L"key", KeyName(entry), L"", static_cast<DWORD>(after));
    } else {
      // The last refusal among the rows that name this key says why it stayed.
      DWORD refusal = 0;
      for (int other = row; other < kRegistryCleanupCount; ++other) {
        if (SameRegistryKey(RegistryCleanupList[other], entry) && statuses[other] != ERROR_SUCCESS)
          refusal = static_cast<DWORD>(statuses[other]);
      }
      AddJudgement(record, L"key", KeyName(entry),
                   JudgeKeyThatStayed(view, entry.hive, entry.keyPath, refusal));
    }
  }
}
