#include "cleanup/cleanup.h"
#include "folder/walk_checks.h"

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

// The path the system knows the module by, for the log: a 32-bit process on a
// 64-bit system deletes it through the redirected system32, but it is in the
// WOW64 directory, where an administrator looks. Wine answers that directory
// to 64-bit processes too, so it is asked only of a WOW64 process.
static WidePath WhereItIs(const char* suffix, const char* path) {
  BOOL wow64 = FALSE;
  char directory[MAX_PATH] = {};
  const UINT length = IsWow64Process(GetCurrentProcess(), &wow64) && wow64
                          ? GetSystemWow64DirectoryA(directory, MAX_PATH)
                          : 0;
  if (length == 0 || length >= MAX_PATH) return Widen(path);
  return Widen(directory) + Widen(suffix);
}

// In use: refused with a sharing violation, or access denied on a file that is
// not read-only (a loaded driver). A read-only module stays as the run left it.
static bool IsReadOnly(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// A directory at a module's path is no module: DeleteFileA refuses it (5)
// whatever the run does, and it is never renamed aside or queued.
static bool IsDirectory(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Refused by what it is, not by who holds it.
static bool RefusedAsItIs(DWORD attributes) {
  return IsReadOnly(attributes) || IsDirectory(attributes);
}

// What is refused as it is comes first, whatever the refusal: such a module is never queued.
static bool InUse(DWORD error, DWORD attributes) {
  if (RefusedAsItIs(attributes)) return false;
  return error == ERROR_SHARING_VIOLATION ||
         (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES);
}

// What the module step did to one module, or in a preview what it would do.
struct ModuleTrace {
  DWORD attributes;  // before the deletion
  DWORD lookError;   // why they could not be read
  bool deleted;
  DWORD deleteError;
};

// The one rule for both modes. A module whose question failed may be there.
static Judgement JudgeModule(const ModuleTrace& trace) {
  if (trace.deleted) return {kRemoved, L"", 0};
  if (IsNotFound(trace.lookError)) return {kAbsent, L"", 0};
  return {kFailed, L"", trace.deleteError};
}

// A preview: a read-only module or a directory is refused; anything else that may be there goes.
static ModuleTrace PredictDeletion(ModuleTrace trace) {
  trace.deleted = !IsNotFound(trace.lookError) && !RefusedAsItIs(trace.attributes);
  trace.deleteError = trace.deleted                     ? 0
                      : RefusedAsItIs(trace.attributes) ? ERROR_ACCESS_DENIED
                                                        : trace.lookError;
  return trace;
}

static Judgement QueueForRestart(const char* path, DWORD deleteError) {
  char aside[MAX_PATH] = {};
  wchar_t queued[MAX_PATH] = {};
  if (QueueModuleForRestart(path, aside, queued))
    return {kPending, WidePath(L"deleted at restart as ") + queued, 0};
  const DWORD error = GetLastError();
  if (aside[0]) return {kFailed, L"left as " + Widen(aside) + L", not queued for restart", error};
  return {kFailed, L"not queued for restart", deleteError};
}

void RemoveSystemModules(RunRecord& record, bool rebootOk) {
  for (const char* suffix : SystemModuleList) {
    char path[MAX_PATH] = {};
    if (!SystemModulePath(suffix, path)) {
      AddTarget(record, kFailed, L"module", Widen(suffix + 1),
                L"no path: the system directory is unknown or too long");
      continue;
    }
    ModuleTrace trace = {GetFileAttributesA(path), 0, false, 0};
    trace.lookError = trace.attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
    if (record.preview) {
      trace = PredictDeletion(trace);
    } else {
      trace.deleted = DeleteFileA(path) != FALSE;
      trace.deleteError = trace.deleted ? 0 : GetLastError();
    }
    Judgement judgement = JudgeModule(trace);
    if (!record.preview && judgement.outcome == kFailed && rebootOk &&
        InUse(trace.deleteError, trace.attributes))
      judgement = QueueForRestart(path, trace.deleteError);
    AddJudgement(record, L"module", WhereItIs(suffix, path), judgement);
  }
}

bool IsSystemModule(const WidePath& file) {
  for (const char* suffix : SystemModuleList) {
    char path[MAX_PATH] = {};
    if (!SystemModulePath(suffix, path)) continue;
    HANDLE module =
        CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (module == INVALID_HANDLE_VALUE) continue;
    WidePath final;
    const bool same = FinalPathOf(module, &final) && SameText(final, file);
    CloseHandle(module);
    if (same) return true;
  }
  return false;
}
