// Console, standard output, command line, dialogs and the module path.
#include <algorithm>
#include <cerrno>
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
std::string StandardStreamText(DWORD which) {
  World& w = TheWorld();
  const uintptr_t given = w.given[STD_INPUT_HANDLE - which];
  return given ? w.streams[given].text : std::string();
}
std::string InheritedStdoutText() {
  return StandardStreamText(STD_OUTPUT_HANDLE);
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

static uintptr_t NewStream(StreamKind kind, bool writable, bool opened) {
  World& w = TheWorld();
  const uintptr_t handle = w.nextStream++;
  w.streams[handle] = Stream{kind, writable, opened, "", ""};
  return handle;
}

void SetStandardStream(DWORD which, StreamKind kind) {
  World& w = TheWorld();
  const DWORD slot = STD_INPUT_HANDLE - which;
  w.streams.erase(w.given[slot]);
  w.given[slot] = kind == StreamKind::Missing ? 0 : NewStream(kind, which != STD_INPUT_HANDLE, false);
  w.standard[slot] = w.given[slot];
}

void ResetStreams() {
  SetStandardStream(STD_INPUT_HANDLE, StreamKind::NullDevice);
  SetStandardStream(STD_OUTPUT_HANDLE, StreamKind::Pipe);
  SetStandardStream(STD_ERROR_HANDLE, StreamKind::Pipe);
}

Stream* StreamOf(HANDLE handle) {
  auto it = TheWorld().streams.find(reinterpret_cast<uintptr_t>(handle));
  return it == TheWorld().streams.end() ? nullptr : &it->second;
}

HANDLE OpenConsole(const std::wstring& device) {
  // A process attached to no console has none to open.
  if (!TheWorld().attached) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
  }
  CountOpen(HandleKind::Console);
  const uintptr_t handle = NewStream(StreamKind::Console, true, true);
  TheWorld().streams[handle].device = Narrow(device);
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace sim

using sim::TheWorld;

BOOL AttachConsole(DWORD processId) {
  sim::CallEntry call("AttachConsole", [&] { return sim::Hex(processId); });
  if (call.Failed()) return FALSE;
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

static const char* StreamName(DWORD which) {
  return which == STD_INPUT_HANDLE ? "input" : which == STD_OUTPUT_HANDLE ? "output" : "error";
}

static bool IsStandard(DWORD which) {
  return which == STD_INPUT_HANDLE || which == STD_OUTPUT_HANDLE || which == STD_ERROR_HANDLE;
}

// A stream the process was not given is a null handle, as on Windows.
HANDLE GetStdHandle(DWORD which) {
  sim::CallEntry call("GetStdHandle", [&] { return std::string(StreamName(which)); });
  if (call.Failed()) return INVALID_HANDLE_VALUE;
  if (!IsStandard(which)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
  }
  return reinterpret_cast<HANDLE>(TheWorld().standard[STD_INPUT_HANDLE - which]);
}

BOOL SetStdHandle(DWORD which, HANDLE handle) {
  sim::CallEntry call("SetStdHandle", [&] {
    const sim::Stream* stream = sim::StreamOf(handle);
    return std::string(StreamName(which)) + ", " +
           (!handle                    ? "none"
            : stream && stream->opened ? stream->device
                                       : "given");
  });
  if (call.Failed()) return FALSE;
  if (!IsStandard(which)) return sim::Fail(ERROR_INVALID_HANDLE);
  TheWorld().standard[STD_INPUT_HANDLE - which] = reinterpret_cast<uintptr_t>(handle);
  return TRUE;
}

// Only a console has a mode; Wine answers 6 for a file, a pipe and /dev/null.
BOOL GetConsoleMode(HANDLE console, DWORD* mode) {
  sim::CallEntry call("GetConsoleMode");
  if (call.Failed()) return FALSE;
  const sim::Stream* stream = sim::StreamOf(console);
  if (!stream || stream->kind != sim::StreamKind::Console) return sim::Fail(ERROR_INVALID_HANDLE);
  *mode = 0x3;  // ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT
  return TRUE;
}

BOOL WriteConsoleW(HANDLE console, const void* text, DWORD length, DWORD* written, void*) {
  sim::CallEntry call("WriteConsoleW", [&] { return std::to_string(length); });
  if (written) *written = 0;
  if (call.Failed()) return FALSE;
  const sim::Stream* stream = sim::StreamOf(console);
  if (!stream || stream->kind != sim::StreamKind::Console) return sim::Fail(ERROR_INVALID_HANDLE);
  const wchar_t* units = static_cast<const wchar_t*>(text);
  TheWorld().consoleText += sim::Narrow(std::wstring(units, units + length));
  if (written) *written = length;
  return TRUE;
}

LPWSTR GetCommandLineW() {
  sim::CallEntry call("GetCommandLineW");  // cannot fail
  return &TheWorld().commandLine[0];
}

HLOCAL LocalFree(HLOCAL memory) {
  sim::CallEntry call("LocalFree", memory ? "block" : "null");
  if (memory) {
    free(memory);
    sim::CountClose(sim::HandleKind::LocalMemory);
  }
  return nullptr;
}

static int ShowBox(const sim::CallEntry& call, const std::string& text, const std::string& caption,
                   UINT style) {
  sim::World& w = TheWorld();
  int result = 0;
  if (call.Failed()) {
    // The injected error is the last error.
  } else if (w.boxAnswers.empty()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);  // no desktop to show it on
  } else {
    result = w.boxAnswers.front();
    w.boxAnswers.erase(w.boxAnswers.begin());
  }
  w.boxes.push_back({text, caption, style, result});
  return result;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  sim::CallEntry call("MessageBoxA", [&] {
    return std::string(owner ? "owner" : "null") + ", " + text + ", " + caption + ", " + sim::Hex(style);
  });
  return ShowBox(call, text, caption, style);
}

// The box's text as the user reads it, kept as UTF-8.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  sim::CallEntry call("MessageBoxW", [&] {
    return std::string(owner ? "owner" : "null") + ", " + sim::Narrow(text) + ", " + sim::Narrow(caption) +
           ", " + sim::Hex(style);
  });
  return ShowBox(call, sim::Narrow(text), sim::Narrow(caption), style);
}

void OutputDebugStringA(LPCSTR text) {
  sim::CallEntry call("OutputDebugStringA", text);
  TheWorld().debugStrings.push_back(text);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  sim::CallEntry call("GetModuleFileNameW",
                      [&] { return std::string(module ? "module" : "null") + ", " + std::to_string(size); });
  if (call.Failed()) return 0;
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
  sim::CallEntry call("GetModuleHandleW", [&] { return sim::Narrow(name ? name : L"null"); });
  if (call.Failed()) return nullptr;
  if (!name || std::wstring(name) != L"kernel32.dll") {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(kKernel32);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  sim::CallEntry call("GetProcAddress", name);
  if (call.Failed()) return nullptr;
  const auto& missing = TheWorld().missingExports;
  if (reinterpret_cast<uintptr_t>(module) != kKernel32 || std::string(name) != "SetDefaultDllDirectories" ||
      std::find(missing.begin(), missing.end(), name) != missing.end()) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SetDefaultDllDirectories));
}

BOOL SetDefaultDllDirectories(DWORD flags) {
  sim::CallEntry call("SetDefaultDllDirectories", [&] { return sim::Hex(flags); });
  if (call.Failed()) return FALSE;
  TheWorld().dllSearch = flags;
  return TRUE;
}

void sim::SetAdmin(bool admin) {
  TheWorld().admin = admin;
}

BOOL IsUserAnAdmin() {
  sim::CallEntry call("IsUserAnAdmin");
  return !call.Failed() && TheWorld().admin;
}

void GetLocalTime(LPSYSTEMTIME time) {
  sim::CallEntry call("GetLocalTime");
  *time = {2026, 1, 5, 2, 3, 4, 5, 0};
}

// Windows' own texts for the errors the system meets, with their line end.
DWORD FormatMessageW(DWORD flags, const void*, DWORD messageId, DWORD, LPWSTR buffer, DWORD size, void*) {
  sim::CallEntry call("FormatMessageW", [&] { return sim::Hex(flags) + ", " + std::to_string(messageId); });
  if (call.Failed()) return 0;
  static const std::map<DWORD, const wchar_t*> texts = {
      {ERROR_SUCCESS, L"The operation completed successfully."},
      {ERROR_FILE_NOT_FOUND, L"The system cannot find the file specified."},
      {ERROR_PATH_NOT_FOUND, L"The system cannot find the path specified."},
      {ERROR_ACCESS_DENIED, L"Access is denied."},
      {ERROR_SHARING_VIOLATION,
       L"The process cannot access the file because it is being used by another process."},
      {ERROR_DIR_NOT_EMPTY, L"The directory is not empty."},
      {ERROR_SERVICE_DOES_NOT_EXIST, L"The specified service does not exist as an installed service."},
      {ERROR_SERVICE_MARKED_FOR_DELETE, L"The specified service has been marked for deletion."},
  };
  auto it = texts.find(messageId);
  if (it == texts.end()) return sim::Fail(ERROR_MR_MID_NOT_FOUND);
  const std::wstring text = std::wstring(it->second) + L"\r\n";
  if (text.size() + 1 > size) return sim::Fail(ERROR_INSUFFICIENT_BUFFER);
  wcscpy(buffer, text.c_str());
  return static_cast<DWORD>(text.size());
}

// The ANSI code page of the simulation is ASCII; anything else becomes '?'.
int WideCharToMultiByte(UINT, DWORD, LPCWSTR text, int length, LPSTR buffer, int size, LPCSTR, BOOL*) {
  sim::CallEntry call("WideCharToMultiByte", [&] { return std::to_string(size); });
  if (call.Failed()) return 0;
  std::string narrow;
  for (const wchar_t* c = text; length < 0 ? true : c < text + length; ++c) {
    narrow += static_cast<unsigned long>(*c) < 0x80 ? static_cast<char>(*c) : '?';
    if (length < 0 && *c == L'\0') break;
  }
  if (size == 0) return static_cast<int>(narrow.size());
  if (static_cast<int>(narrow.size()) > size) return sim::Fail(ERROR_INSUFFICIENT_BUFFER);
  memcpy(buffer, narrow.data(), narrow.size());
  return static_cast<int>(narrow.size());
}
