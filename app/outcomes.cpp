#include "app/outcomes.h"

#include "app/report.h"
#include "cleanup/cleanup.h"

static WidePath Widen(const char* text) {
  return WidePath(text, text + strlen(text));  // the names here are ASCII
}

// Only "not found" means not there; anything else may hide what is there.
static bool IsNotFound(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

static const char* const kProductServices[kProductServiceCount] = {"kvdrNT2", "kvtlsvc", "brenserv"};

// Only "not installed" means absent; a service that cannot be asked may be there.
static bool MayBeInstalled(const char* name) {
  DWORD state = 0;
  return QueryServiceState(name, &state) || GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
}

void RemoveServices(ServiceTrace (&traces)[kProductServiceCount]) {
  for (int i = 0; i < kProductServiceCount; ++i) {
    traces[i] = {kProductServices[i], MayBeInstalled(kProductServices[i]), false, 0};
  }
  StopServiceByName("kvdrNT2");
  for (ServiceTrace& trace : traces) {
    trace.marked = DeleteServiceByName(trace.name);
    trace.error = trace.marked ? 0 : GetLastError();
  }
}

void ReportServices(const ServiceTrace (&traces)[kProductServiceCount]) {
  for (const ServiceTrace& trace : traces) {
    DWORD state = 0;
    const bool there = QueryServiceState(trace.name, &state);
    const DWORD error = there ? 0 : GetLastError();
    const WidePath name = Widen(trace.name);
    if (!there && error == ERROR_SERVICE_DOES_NOT_EXIST) {
      ReportTarget(trace.installedBefore ? kRemoved : kAbsent, L"service", name);
    } else if (!there) {
      ReportTarget(kFailed, L"service", name, L"", error);
    } else if ((trace.marked || trace.error == ERROR_SERVICE_MARKED_FOR_DELETE) &&
               (state == SERVICE_RUNNING || state == SERVICE_STOP_PENDING)) {
      ReportTarget(kPending, L"service", name, L"deleted when it stops");
    } else {
      ReportTarget(kFailed, L"service", name, L"",
                   trace.marked ? ERROR_SERVICE_MARKED_FOR_DELETE : trace.error);
    }
  }
}

static WidePath KeyName(const RegistryCleanupEntry& entry) {
  return (entry.hive == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKLM\\") + Widen(entry.keyPath);
}

// The first row that names the key of row `row`.
static int FirstRowOfKey(int row) {
  int first = 0;
  while (!SameRegistryKey(RegistryCleanupList[first], RegistryCleanupList[row])) ++first;
  return first;
}

void NoteRegistryKeys(bool (&before)[kRegistryCleanupCount]) {
  for (int row = 0; row < kRegistryCleanupCount; ++row) {
    const RegistryCleanupEntry& entry = RegistryCleanupList[row];
    // Only "not found" means absent; a key that cannot be asked may be there.
    if (FirstRowOfKey(row) == row)
      before[row] = RegistryKeyStatus(entry.hive, entry.keyPath) != ERROR_FILE_NOT_FOUND;
  }
}

void RemoveRegistryKeys(const bool (&before)[kRegistryCleanupCount]) {
  LSTATUS statuses[kRegistryCleanupCount] = {};
  CleanRegistry(statuses);
  for (int row = 0; row < kRegistryCleanupCount; ++row) {
    if (FirstRowOfKey(row) != row) continue;
    const RegistryCleanupEntry& entry = RegistryCleanupList[row];
    const LSTATUS after = RegistryKeyStatus(entry.hive, entry.keyPath);
    if (after == ERROR_FILE_NOT_FOUND) {
      ReportTarget(before[row] ? kRemoved : kAbsent, L"key", KeyName(entry));
    } else if (after != ERROR_SUCCESS) {
      ReportTarget(kFailed, L"key", KeyName(entry), L"", static_cast<DWORD>(after));
    } else if (HoldsOnlyUnlistedSubkeys(entry.hive, entry.keyPath)) {
      ReportTarget(kKept, L"key", KeyName(entry), L"holds keys of other products");
    } else {
      // The last refusal among the rows that name this key says why it stayed.
      DWORD error = 0;
      for (int other = row; other < kRegistryCleanupCount; ++other) {
        if (SameRegistryKey(RegistryCleanupList[other], entry) && statuses[other] != ERROR_SUCCESS)
          error = static_cast<DWORD>(statuses[other]);
      }
      ReportTarget(kFailed, L"key", KeyName(entry), L"", error);
    }
  }
}

// In use: refused with a sharing violation, or access denied on a file that is
// not read-only (a loaded driver). A read-only module stays as the run left it.
static bool InUse(DWORD error, DWORD attributes) {
  return error == ERROR_SHARING_VIOLATION ||
         (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
          !(attributes & FILE_ATTRIBUTE_READONLY));
}

static void QueueForRestart(const char* path, DWORD deleteError) {
  char aside[MAX_PATH] = {};
  wchar_t queued[MAX_PATH] = {};
  if (QueueModuleForRestart(path, aside, queued)) {
    ReportTarget(kPending, L"module", Widen(path), WidePath(L"deleted at restart as ") + queued);
    return;
  }
  const DWORD error = GetLastError();
  if (aside[0]) {
    ReportTarget(kFailed, L"module", Widen(path), L"left as " + Widen(aside) + L", not queued for restart",
                 error);
  } else {
    ReportTarget(kFailed, L"module", Widen(path), L"not queued for restart", deleteError);
  }
}

void RemoveSystemModules(bool rebootOk) {
  for (const char* suffix : SystemModuleList) {
    char path[MAX_PATH] = {};
    if (!SystemModulePath(suffix, path)) {
      ReportTarget(kFailed, L"module", Widen(suffix + 1),
                   L"no path: the system directory is unknown or too long");
      continue;
    }
    const DWORD attributes = GetFileAttributesA(path);
    const DWORD lookError = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
    if (DeleteFileA(path)) {
      ReportTarget(kRemoved, L"module", Widen(path));
      continue;
    }
    const DWORD error = GetLastError();
    if (IsNotFound(lookError)) {
      ReportTarget(kAbsent, L"module", Widen(path));
    } else if (rebootOk && InUse(error, attributes)) {
      QueueForRestart(path, error);
    } else {
      ReportTarget(kFailed, L"module", Widen(path), L"", error);
    }
  }
}

static WidePath Counted(const WalkTally& tally) {
  return std::to_wstring(tally.files) + L" files, " + std::to_wstring(tally.directories) + L" directories";
}

void ReportProductFolder(const WalkTally& tally) {
  for (const WidePath& entry : tally.skipped) ReportTarget(kSkipped, L"entry", entry, L"link or unsafe name");
  const WidePath folder = tally.folder.empty() ? WidePath(L"Telvarine") : tally.folder;
  if (!tally.found) {
    const bool missing = tally.error == 0 || IsNotFound(tally.error);
    if (tally.folder.empty() && tally.searchError != 0) {
      ReportTarget(kFailed, L"folder", folder, L"not fully searched", tally.searchError);
    } else if (missing && tally.reason == nullptr) {
      ReportTarget(kAbsent, L"folder", folder);
    } else {
      ReportTarget(kFailed, L"folder", folder, tally.reason ? tally.reason : L"", tally.error);
    }
  } else if (tally.reason == nullptr) {
    ReportTarget(kRemoved, L"folder", folder, Counted(tally));
  } else {
    ReportTarget(kFailed, L"folder", folder,
                 Counted(tally) + L" removed; " + tally.firstFailure + L" " + tally.reason, tally.error);
  }
}

void PreviewServices() {
  for (const char* name : kProductServices) {
    ReportTarget(MayBeInstalled(name) ? kWouldRemove : kAbsent, L"service", Widen(name));
  }
}

void PreviewRegistryKeys() {
  for (int row = 0; row < kRegistryCleanupCount; ++row) {
    if (FirstRowOfKey(row) != row) continue;
    const RegistryCleanupEntry& entry = RegistryCleanupList[row];
    if (RegistryKeyStatus(entry.hive, entry.keyPath) == ERROR_FILE_NOT_FOUND) {
      ReportTarget(kAbsent, L"key", KeyName(entry));
    } else if (WouldHoldUnlistedSubkeys(entry.hive, entry.keyPath)) {
      ReportTarget(kWouldKeep, L"key", KeyName(entry), L"holds keys of other products");
    } else {
      ReportTarget(kWouldRemove, L"key", KeyName(entry));
    }
  }
}

void PreviewSystemModules() {
  for (const char* suffix : SystemModuleList) {
    char path[MAX_PATH] = {};
    if (!SystemModulePath(suffix, path)) continue;
    const bool there = GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES || !IsNotFound(GetLastError());
    ReportTarget(there ? kWouldRemove : kAbsent, L"module", Widen(path));
  }
}

void ReportProductFolderPreview(const WalkTally& tally) {
  for (const WidePath& entry : tally.skipped) ReportTarget(kSkipped, L"entry", entry, L"link or unsafe name");
  for (const WidePath& link : tally.linksRemovable) ReportTarget(kWouldRemoveLink, L"entry", link);
  for (const WidePath& link : tally.linksLeft) ReportTarget(kWouldLeave, L"entry", link);
  const WidePath folder = tally.folder.empty() ? WidePath(L"Telvarine") : tally.folder;
  if (tally.found && tally.reason) {
    // What stops the deletion stops it in a real run too (a given directory that is a link).
    ReportTarget(kWouldLeave, L"folder", folder, WidePath(tally.firstFailure) + L" " + tally.reason);
  } else if (tally.found) {
    ReportTarget(kWouldRemove, L"folder", folder, Counted(tally));
  } else if (tally.folder.empty() && tally.searchError != 0) {
    ReportTarget(kAbsent, L"folder", folder,
                 L"not fully searched: error " + std::to_wstring(tally.searchError));
  } else {
    ReportTarget(kAbsent, L"folder", folder);
  }
}
