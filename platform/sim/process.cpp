// Console, standard output, command line, dialogs and the module path.
#include <algorithm>
#include <cstdarg>
#include <cstdlib>

#include "state.h"

namespace sim {

void SetCommandLine(const std::wstring& rawLine) {
  TheWorld().commandLine = rawLine;
}
void SetModuleFileName(const std::wstring& path) {
  TheWorld().moduleFileName = path;
}
void SetModuleNameTerminatedWhenCut(bool terminated) {
  TheWorld().moduleNameTerminatedWhenCut = terminated;
}
void SetParentConsole(bool hasConsole) {
  TheWorld().parentConsole = hasConsole;
}
std::string ConsoleText() {
  return TheWorld().consoleText;
}
std::string InheritedStdoutText() {
  return TheWorld().inheritedStdout;
}
std::vector<std::string> StreamReopens() {
  return TheWorld().reopens;
}
void ScriptMessageBoxes(const std::vector<int>& answers) {
  TheWorld().boxAnswers = answers;
}
const std::vector<Box>& Boxes() {
  return TheWorld().boxes;
}
const std::vector<std::string>& DebugStrings() {
  return TheWorld().debugStrings;
}

static void WriteStdout(const std::string& text) {
  World& w = TheWorld();
  (w.stdoutOnConsole ? w.consoleText : w.inheritedStdout) += text;
}

}  // namespace sim

using sim::Enter;
using sim::TheWorld;

BOOL AttachConsole(DWORD processId) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("AttachConsole", sim::Hex(processId), &error)) {
    SetLastError(error);
    return FALSE;
  }
  sim::World& w = TheWorld();
  if (processId != ATTACH_PARENT_PROCESS || !w.parentConsole) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (w.attached) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  w.attached = true;
  return TRUE;
}

errno_t freopen_s(FILE** result, const char* path, const char* mode, FILE* stream) {
  const char* streamName = stream == stdout ? "stdout" : stream == stderr ? "stderr" : "stdin";
  const std::string args = std::string(path) + " " + mode + " " + streamName;
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  sim::World& w = TheWorld();
  if (Enter("freopen_s", args, &error)) {
    *result = nullptr;
    return 2;  // ENOENT
  }
  w.reopens.push_back(args);
  // Only a console the process is attached to can be opened as CONOUT$.
  if (stream == stdout && std::string(path) == "CONOUT$" && w.attached) w.stdoutOnConsole = true;
  *result = stream;
  return 0;
}

int PrintNarrow(const char* format, ...) {
  sim::PlatformCall inPlatform;
  va_list args;
  va_start(args, format);
  char text[4096];
  int written = vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (written > 0) sim::WriteStdout(text);
  return written;
}

int PrintWide(const wchar_t* format, ...) {
  sim::PlatformCall inPlatform;
  va_list args;
  va_start(args, format);
  std::vector<wchar_t> text(65536);
  int written = vswprintf(text.data(), text.size(), format, args);
  va_end(args);
  if (written > 0) sim::WriteStdout(sim::Narrow(text.data()));
  return written;
}

LPWSTR GetCommandLineW() {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  Enter("GetCommandLineW", "", &error);  // cannot fail
  return &TheWorld().commandLine[0];
}

HLOCAL LocalFree(HLOCAL memory) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  Enter("LocalFree", memory ? "block" : "null", &error);
  if (memory) {
    free(memory);
    sim::CountClose("local");
  }
  return nullptr;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  sim::World& w = TheWorld();
  const std::string args =
      std::string(owner ? "owner" : "null") + ", " + text + ", " + caption + ", " + sim::Hex(style);
  int result = 0;
  if (Enter("MessageBoxA", args, &error)) {
    SetLastError(error);
  } else if (w.boxAnswers.empty()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);  // no desktop to show it on
  } else {
    result = w.boxAnswers.front();
    w.boxAnswers.erase(w.boxAnswers.begin());
  }
  w.boxes.push_back({text, caption, style, result});
  return result;
}

void OutputDebugStringA(LPCSTR text) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  Enter("OutputDebugStringA", text, &error);
  TheWorld().debugStrings.push_back(text);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("GetModuleFileNameW", std::string(module ? "module" : "null") + ", " + std::to_string(size),
            &error)) {
    SetLastError(error);
    return 0;
  }
  const std::wstring& name = TheWorld().moduleFileName;
  if (name.size() < size) {
    wmemcpy(buffer, name.c_str(), name.size() + 1);
    return static_cast<DWORD>(name.size());
  }
  // Cut to the buffer: Wine leaves it unterminated, Windows since Vista
  // terminates it; both return the size and set ERROR_INSUFFICIENT_BUFFER.
  wmemcpy(buffer, name.c_str(), size);
  if (TheWorld().moduleNameTerminatedWhenCut && size > 0) buffer[size - 1] = L'\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

namespace sim {
void RemoveExport(const std::string& name) {
  TheWorld().missingExports.push_back(name);
}
}  // namespace sim

static const uintptr_t kKernel32 = 0x7c800000;

HMODULE GetModuleHandleW(LPCWSTR name) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("GetModuleHandleW", sim::Narrow(name ? name : L"null"), &error)) {
    SetLastError(error);
    return nullptr;
  }
  if (!name || std::wstring(name) != L"kernel32.dll") {
    SetLastError(126);  // ERROR_MOD_NOT_FOUND
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(kKernel32);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("GetProcAddress", name, &error)) {
    SetLastError(error);
    return nullptr;
  }
  const auto& missing = TheWorld().missingExports;
  if (reinterpret_cast<uintptr_t>(module) != kKernel32 || std::string(name) != "SetDefaultDllDirectories" ||
      std::find(missing.begin(), missing.end(), name) != missing.end()) {
    SetLastError(127);  // ERROR_PROC_NOT_FOUND
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SetDefaultDllDirectories));
}

BOOL SetDefaultDllDirectories(DWORD flags) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("SetDefaultDllDirectories", sim::Hex(flags), &error)) {
    SetLastError(error);
    return FALSE;
  }
  TheWorld().dllSearch = flags;
  return TRUE;
}
