// The control surface of the simulated Windows, for tests only: stage state,
// script answers, inject failures and read what happened.
#pragma once

#include <string>
#include <vector>

#include "win32.h"

namespace sim {

// Back to a machine with nothing installed, no parent console, the system
// directory C:\windows\system32 on an empty drive C: and the module path
// C:\Games\Title\tvuninst.exe.
void Reset();

// ---- Platform calls, as made ----
struct Call {
  std::string name;
  std::string args;  // the arguments as text, e.g. "kvdrNT2, 0x20"
};
const std::vector<Call>& Calls();
std::vector<std::string> CallNames();
// The calls named `name`, as "Name(args)".
std::vector<std::string> CallsNamed(const std::string& name);
void ClearCalls();

// How many simulated platform calls are under way on this thread: what happens
// while it is zero is the system's own doing (a test can count its allocations).
int PlatformCallDepth();

// ---- Failure injection ----
const int kAlways = -1;
// The next `times` calls of `name` (every one with kAlways) fail with `error`.
void FailCall(const std::string& name, DWORD error, int times = 1);
// The call numbered `ordinal` from now (1 = the next one), whatever it is, fails with `error`.
void FailNthCall(size_t ordinal, DWORD error);

// ---- Handles left open, by kind ----
enum class HandleKind {
  ServiceManager,  // OpenSCManagerA
  Service,         // OpenServiceA
  File,            // CreateFileW
  LocalMemory,     // CommandLineToArgvW's vector
  RegistryKey,     // RegOpenKeyExW
  Console,         // CreateFileW of CONOUT$ or CONIN$
};
int OpenHandles(HandleKind kind);
int OpenHandlesTotal();

// ---- Process: command line, console, dialogs, debugger ----
void SetCommandLine(const std::wstring& rawLine);
void SetModuleFileName(const std::wstring& path);
// Whether GetModuleFileNameW terminates a cut name (Windows since Vista) or not (Wine).
void SetModuleNameTerminatedWhenCut(bool terminated);
void SetParentConsole(bool hasConsole);
// What a standard stream is when the process starts. Unless told, as the Wine
// suites start the exe: input from the null device, output and error to pipes.
enum class StreamKind {
  Missing,     // no handle
  DiskFile,    // "> out.txt"
  Pipe,        // a parent that reads the output
  NullDevice,  // "> NUL": a character device without a console mode
  Console,     // a console's own handle
};
void SetStandardStream(DWORD which, StreamKind kind);  // STD_INPUT_HANDLE ...
std::string ConsoleText();  // what reached the console, as UTF-8, each write as it came
// The bytes written to the stream the process was given as `which`.
std::string StandardStreamText(DWORD which);
std::string InheritedStdoutText();  // StandardStreamText(STD_OUTPUT_HANDLE)
struct Box {
  std::string text;
  std::string caption;
  UINT style;
  int result;
};
// Answers for the next message boxes, in order; an unscripted box fails (0, error 1400).
void ScriptMessageBoxes(const std::vector<int>& answers);
const std::vector<Box>& Boxes();
const std::vector<std::string>& DebugStrings();
// kernel32 as on a system that lacks the export.
void RemoveExport(const std::string& name);
// Whether the process runs with administrator rights (it does unless told).
void SetAdmin(bool admin);
// Where the process runs: whether its window station is visible, its session
// and the console's (by default a visible station in session 1, the console's).
void SetDesktop(bool stationVisible, DWORD processSession, DWORD consoleSession);

// ---- Services ----
struct ServiceSetup {
  bool running = false;
  bool mayStop = true;         // this process may open it with SERVICE_STOP
  bool mayDelete = true;       // this process may open it with DELETE
  bool stopsSlowly = false;    // stays STOP_PENDING after the stop request until it stops externally
};
void InstallService(const std::string& name, ServiceSetup setup = {});
bool ServiceExists(const std::string& name);
bool ServiceRunning(const std::string& name);
bool ServiceMarkedForDeletion(const std::string& name);
// Every service as "name running|stopped [marked]".
std::vector<std::string> AllServices();
// As the service's own process would: it stops (and goes, when marked).
void StopServiceExternally(const std::string& name);
// Another program's handle to the service (the Services console holds one),
// opened or closed: a marked service that has stopped stays listed while it is open.
void HoldService(const std::string& name, bool held);

// ---- Registry (paths below a hive, backslash-separated) ----
void CreateKey(HKEY hive, const std::string& path);
void SetValue(HKEY hive, const std::string& path, const std::string& name, const std::string& data);
bool KeyExists(HKEY hive, const std::string& path);
// Every key under both hives as "HKCU\..." / "HKLM\...", in the case created.
std::vector<std::string> AllKeys();
// The key's access list refuses an open that asks any of `denied` (error 5):
// by default deletion; KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS refuses reading.
void ProtectKey(HKEY hive, const std::string& path, DWORD denied = DELETE);
// A registry link (made with REG_OPTION_CREATE_LINK) at `path`, whose
// SymbolicLinkValue names `target` in `targetHive`: a path through it, and the
// link itself unless opened with REG_OPTION_OPEN_LINK, lead to the target.
void MakeKeyLink(HKEY hive, const std::string& path, HKEY targetHive, const std::string& target);

// ---- File system (paths as Windows writes them) ----
enum class ListingOrder { Creation, Sorted, Reversed };
void SetListingOrder(ListingOrder order);
void AddDrive(wchar_t letter);
void MakeDirectory(const std::wstring& path);  // with its missing parents
// A file; with a reparse tag, a reparse point of that kind (a file symbolic
// link, a deduplicated or cloud placeholder file ...).
void MakeFile(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE, DWORD tag = 0);
// An entry whose name is listed exactly as given, as Wine lists a Unix name
// that holds a backslash or ends in a dot: a path built from it names
// something else. The directory is made when missing.
void MakeEntryNamed(const std::wstring& directory, const std::wstring& name, DWORD attributes);
// A link entry: a junction or symbolic link (a name-surrogate tag) or a Unix
// symbolic link as Wine shows it (tag 0), pointing at `target`.
void MakeDirectoryLink(const std::wstring& path, const std::wstring& target, DWORD tag);
void SetAttributes(const std::wstring& path, DWORD attributes);
// Held open by another process without delete sharing.
void HoldOpen(const std::wstring& path);
// Held by another process with delete sharing, as a virus scanner holds a
// file, until the run has paused `until` milliseconds in all (kAlways: for
// good): deleted meanwhile, it stays listed and keeps its directory from going.
void HoldWithDeleteSharing(const std::wstring& path, DWORD until);
// How NtSetInformationFile answers FileDispositionInformationEx: `refusal`
// (an NTSTATUS) for every call, or, when 0, it works, the flag that ignores
// the read-only attribute only when `ignoresReadOnly` (Windows 10 1809 and
// later; 1607 to 1803 answer STATUS_INVALID_PARAMETER to it). Unless told,
// as Wine 8 answers: STATUS_NOT_IMPLEMENTED.
struct DispositionSupport {
  DWORD refusal = 0xC0000002ul;
  bool ignoresReadOnly = true;
};
void SetDispositionSupport(DispositionSupport support);
// What the run has paused in all, in milliseconds.
DWORD Paused();
// What GetFileType answers for the file's handles (a device: FILE_TYPE_CHAR).
void SetFileType(const std::wstring& path, DWORD type);
// A read-only directory that the platform refuses to remove.
void RefuseRemoval(const std::wstring& path);
// Names in this directory are matched with regard to case.
void MakeCaseSensitive(const std::wstring& path);
void SetCurrentDirectory(const std::wstring& path);
void SetSystemDirectory(const std::string& path);
// As WOW64 does for a 32-bit process: paths in the system directory lead to `directory`.
void RedirectSystemDirectory(const std::wstring& directory);
// The paths queued for deletion at the next restart, in order.
const std::vector<std::wstring>& RestartQueue();
bool Exists(const std::wstring& path);
// What was written to the file; files are made empty.
std::string FileContent(const std::wstring& path);
// The file has this many names (hard links).
void SetLinkCount(const std::wstring& path, DWORD links);
DWORD Attributes(const std::wstring& path);
// Every entry as its full path in the case created (directories end in '\').
std::vector<std::wstring> AllEntries();
// Listing failures: the listing of `directory` fails when opened, or after
// delivering `after` entries, with `error`.
void FailListingOpen(const std::wstring& directory, DWORD error);
void FailListingAfter(const std::wstring& directory, size_t after, DWORD error);

// Another process swaps the directory at `path` for a link to `target` (as a
// rename away and a new link in its place) just before the platform call
// numbered `ordinal` from now. Like the real rename, it fails while the
// directory is held open without delete sharing.
enum class SwapResult { None, Done, Refused };
void SwapForLinkAt(size_t ordinal, const std::wstring& path, const std::wstring& target, DWORD tag);
SwapResult LastSwap();

std::string Narrow(const std::wstring& text);  // UTF-8, for messages

}  // namespace sim
