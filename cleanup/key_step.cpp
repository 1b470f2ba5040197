// The registry step's judgement of each key. The rules, in order: a key found
// below a link before the step is absent; a key that a whole-tree row removes
// (its own or an ancestor's) and that is still there failed; otherwise it is
// kept when every subkey it still holds is unlisted or itself kept; otherwise
// it failed. A real run asks the registry after the list ran; a preview asks a
// registry with what the list would remove taken out, through the same opens,
// so both judge through the same rules.
#include "cleanup/cleanup.h"

namespace {

struct KeyView {
  bool preview;
  const std::vector<std::string>* servicesGone;  // preview: their keys go with them
  const KeyTrace* traces;
};

bool IsListed(HKEY hive, const WidePath& keyPath) {
  for (const RegistryCleanupEntry& entry : RegistryCleanupList) {
    const WidePath listed = Widen(entry.keyPath);
    if (entry.hive == hive && keyPath.size() == listed.size() && IsRegistryKeyAtOrBelow(keyPath, listed))
      return true;
  }
  return false;
}

// A whole-tree row for the key or for a key above it.
bool CoveredByTree(HKEY hive, const WidePath& keyPath) {
  for (const RegistryCleanupEntry& entry : RegistryCleanupList) {
    if (entry.method == KeyTree && entry.hive == hive &&
        IsRegistryKeyAtOrBelow(keyPath, Widen(entry.keyPath)))
      return true;
  }
  return false;
}

bool GoesWithService(const KeyView& view, HKEY hive, const WidePath& keyPath) {
  if (!view.preview || hive != HKEY_LOCAL_MACHINE) return false;
  for (const std::string& service : *view.servicesGone) {
    if (IsRegistryKeyAtOrBelow(keyPath, Widen((ServiceKeyPrefix + service).c_str()))) return true;
  }
  return false;
}

// The rows that name the key refused nothing: each deletion's opens succeeded.
bool RowsOpened(const KeyView& view, HKEY hive, const WidePath& keyPath) {
  for (int row = 0; row < kRegistryCleanupCount; ++row) {
    const RegistryCleanupEntry& entry = RegistryCleanupList[row];
    const WidePath listed = Widen(entry.keyPath);
    if (entry.hive == hive && IsRegistryKeyAtOrBelow(listed, keyPath) && listed.size() == keyPath.size() &&
        view.traces[row].result != ERROR_SUCCESS && view.traces[row].result != ERROR_FILE_NOT_FOUND)
      return false;
  }
  return true;
}

// A preview: would the list (or the service step) remove the key? A key whose
// subkeys cannot be read may go: only what is known to stay stays.
bool WouldGo(const KeyView& view, HKEY hive, const WidePath& keyPath) {
  if (GoesWithService(view, hive, keyPath)) return true;
  if (CoveredByTree(hive, keyPath)) {
    // As far as the key's own subtree goes: would every open of the walk succeed?
    WidePath refused;
    bool link = false;
    const LSTATUS opens = DeleteRegistryTree(hive, keyPath, true, &refused, &link);
    return opens == ERROR_SUCCESS || opens == ERROR_FILE_NOT_FOUND;
  }
  if (!IsListed(hive, keyPath) || !RowsOpened(view, hive, keyPath)) return false;
  std::vector<WidePath> subkeys;
  if (ListRegistrySubkeys(hive, keyPath, &subkeys) != ERROR_SUCCESS) return true;
  for (const WidePath& subkey : subkeys) {
    if (!WouldGo(view, hive, subkey)) return false;
  }
  return true;
}

// Whether the key is there after the step, as RegistryKeyStatus answers.
LSTATUS StatusAfter(const KeyView& view, HKEY hive, const WidePath& keyPath) {
  bool belowLink = false;
  const LSTATUS status = RegistryKeyStatus(hive, keyPath, &belowLink);
  if (view.preview && status == ERROR_SUCCESS && WouldGo(view, hive, keyPath)) return ERROR_FILE_NOT_FOUND;
  return status;
}

bool SubkeysAfter(const KeyView& view, HKEY hive, const WidePath& keyPath, std::vector<WidePath>* subkeys) {
  std::vector<WidePath> all;
  if (ListRegistrySubkeys(hive, keyPath, &all) != ERROR_SUCCESS) return false;
  for (const WidePath& subkey : all) {
    if (!view.preview || !WouldGo(view, hive, subkey)) subkeys->push_back(subkey);
  }
  return true;
}

// A key that is still there: kept, with why, or failed (`refusal` says why).
Judgement JudgeKeyThatStayed(const KeyView& view, HKEY hive, const WidePath& keyPath, DWORD refusal,
                             const WidePath& note) {
  const Judgement failed = {kFailed, note, refusal};
  if (CoveredByTree(hive, keyPath)) return failed;
  std::vector<WidePath> subkeys;
  // A key not seen whole, or holding nothing, is not kept for anything.
  if (!SubkeysAfter(view, hive, keyPath, &subkeys) || subkeys.empty()) return failed;
  bool holdsKept = false;
  for (const WidePath& subkey : subkeys) {
    if (!IsListed(hive, subkey)) continue;
    if (JudgeKeyThatStayed(view, hive, subkey, 0, L"").outcome != kKept) return failed;
    holdsKept = true;
  }
  return {kKept, holdsKept ? L"holds kept keys" : L"holds subkeys the list does not name", 0};
}

WidePath HiveName(HKEY hive) {
  return hive == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKLM\\";
}

// The first row that names the key of row `row`.
int FirstRowOfKey(int row) {
  int first = 0;
  while (!SameRegistryKey(RegistryCleanupList[first], RegistryCleanupList[row])) ++first;
  return first;
}

}  // namespace

void NoteRegistryKeys(KeyTrace (&traces)[kRegistryCleanupCount]) {
  for (int row = 0; row < kRegistryCleanupCount; ++row) {
    const RegistryCleanupEntry& entry = RegistryCleanupList[row];
    const int first = FirstRowOfKey(row);
    traces[row] = {};
    if (first == row) {
      traces[row].before = RegistryKeyStatus(entry.hive, Widen(entry.keyPath), &traces[row].belowLink);
    } else {
      traces[row].before = traces[first].before;
      traces[row].belowLink = traces[first].belowLink;
    }
  }
}

void RemoveRegistryKeys(RunRecord& record, KeyTrace (&traces)[kRegistryCleanupCount],
                        const std::vector<std::string>& servicesGone) {
  CleanRegistry(traces, record.preview);
  const KeyView view = {record.preview, &servicesGone, traces};
  for (int row = 0; row < kRegistryCleanupCount; ++row) {
    if (FirstRowOfKey(row) != row) continue;
    const RegistryCleanupEntry& entry = RegistryCleanupList[row];
    const WidePath keyPath = Widen(entry.keyPath);
    const WidePath name = HiveName(entry.hive) + keyPath;
    // What the rows that name this key saw: a link, and the last refusal, which says why it stayed.
    bool link = false;
    DWORD refusal = 0;
    WidePath stayed;
    for (int other = row; other < kRegistryCleanupCount; ++other) {
      if (!SameRegistryKey(RegistryCleanupList[other], entry)) continue;
      link = link || traces[other].link;
      if (traces[other].result != ERROR_SUCCESS && traces[other].result != ERROR_FILE_NOT_FOUND) {
        refusal = static_cast<DWORD>(traces[other].result);
        stayed = traces[other].stayed;
      }
    }
    const WidePath linkNote = link ? L"a link, removed as itself" : L"";
    // Only "not found" means absent; a key that could not be asked may have been there.
    const bool wasThere = traces[row].before != ERROR_FILE_NOT_FOUND;
    const LSTATUS after =
        traces[row].belowLink ? ERROR_FILE_NOT_FOUND : StatusAfter(view, entry.hive, keyPath);
    if (traces[row].belowLink) {
      AddTarget(record, kAbsent, L"key", name, L"below a link");
    } else if (after == ERROR_FILE_NOT_FOUND) {
      AddTarget(record, wasThere ? kRemoved : kAbsent, L"key", name, wasThere ? linkNote : L"");
    } else if (after != ERROR_SUCCESS) {
      AddTarget(record, kFailed, L"key", name, L"", static_cast<DWORD>(after));
    } else {
      const WidePath note =
          stayed.empty() || stayed == keyPath ? L"" : L"first to stay: " + HiveName(entry.hive) + stayed;
      AddJudgement(record, L"key", name, JudgeKeyThatStayed(view, entry.hive, keyPath, refusal, note));
    }
  }
}
