// Where the process runs: its window station, its session and the console's,
// and whether it is a 32-bit process on a 64-bit system.
#include "state.h"

void sim::SetDesktop(bool stationVisible, DWORD processSession, DWORD consoleSession) {
  TheWorld().stationVisible = stationVisible;
  TheWorld().processSession = processSession;
  TheWorld().consoleSession = consoleSession;
}

using sim::TheWorld;

static const uintptr_t kStation = 0x5714;

HWINSTA GetProcessWindowStation() {
  sim::CallEntry call("GetProcessWindowStation");
  if (call.Failed()) return nullptr;
  return reinterpret_cast<HWINSTA>(kStation);
}

BOOL GetUserObjectInformationW(HANDLE object, int index, void* info, DWORD length, DWORD* needed) {
  sim::CallEntry call("GetUserObjectInformationW", [&] { return std::to_string(index); });
  if (call.Failed()) return FALSE;
  if (reinterpret_cast<uintptr_t>(object) != kStation || index != UOI_FLAGS)
    return sim::Fail(ERROR_INVALID_HANDLE);
  if (needed) *needed = sizeof(USEROBJECTFLAGS);
  if (length < sizeof(USEROBJECTFLAGS)) return sim::Fail(ERROR_INSUFFICIENT_BUFFER);
  *static_cast<USEROBJECTFLAGS*>(info) = {TRUE, FALSE, TheWorld().stationVisible ? WSF_VISIBLE : 0ul};
  return TRUE;
}

BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId) {
  sim::CallEntry call("ProcessIdToSessionId", [&] { return std::to_string(processId); });
  if (call.Failed()) return FALSE;
  *sessionId = TheWorld().processSession;
  return TRUE;
}

DWORD WTSGetActiveConsoleSessionId() {
  sim::CallEntry call("WTSGetActiveConsoleSessionId");
  return TheWorld().consoleSession;
}

HANDLE GetCurrentProcess() {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

// A process whose system directory is redirected is a 32-bit one on a 64-bit system.
BOOL IsWow64Process(HANDLE, BOOL* wow64) {
  sim::CallEntry call("IsWow64Process");
  if (call.Failed()) return FALSE;
  *wow64 = !TheWorld().systemRedirect.empty();
  return TRUE;
}

// Only a 64-bit system has one; Wine answers it to 64-bit processes too.
UINT GetSystemWow64DirectoryA(LPSTR buffer, UINT size) {
  sim::CallEntry call("GetSystemWow64DirectoryA", [&] { return std::to_string(size); });
  if (call.Failed()) return 0;
  const std::string directory = sim::Narrow(TheWorld().systemRedirect);
  if (directory.empty()) return sim::Fail(ERROR_CALL_NOT_IMPLEMENTED);
  if (directory.size() + 1 > size) return static_cast<UINT>(directory.size() + 1);
  memcpy(buffer, directory.c_str(), directory.size() + 1);
  return static_cast<UINT>(directory.size());
}

// Copies `name` as the two calls do: they differ in the error for a short
// buffer and in whether the size they give back counts the terminator.
static BOOL GiveName(const char* callName, const wchar_t* name, LPWSTR buffer, DWORD* size, DWORD shortError,
                     bool countsTerminator) {
  sim::CallEntry call(callName);
  if (call.Failed()) return FALSE;
  const DWORD length = static_cast<DWORD>(wcslen(name));
  if (*size < length + 1) return sim::Fail(shortError);
  wcscpy(buffer, name);
  *size = countsTerminator ? length + 1 : length;
  return TRUE;
}

BOOL GetComputerNameW(LPWSTR buffer, DWORD* size) {
  return GiveName("GetComputerNameW", L"TESTPC", buffer, size, ERROR_BUFFER_OVERFLOW, false);
}

BOOL GetUserNameW(LPWSTR buffer, DWORD* size) {
  return GiveName("GetUserNameW", L"Player", buffer, size, ERROR_INSUFFICIENT_BUFFER, true);
}

// Central European time in winter: local time is UTC+01:00.
DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* zone) {
  sim::CallEntry call("GetTimeZoneInformation");
  if (call.Failed()) return TIME_ZONE_ID_INVALID;
  *zone = {};
  zone->Bias = -60;
  zone->DaylightBias = -60;
  return TIME_ZONE_ID_STANDARD;
}
