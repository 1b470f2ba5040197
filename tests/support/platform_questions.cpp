#include "support/platform_questions.h"

#include "folder/directory_listing.h"
#include "folder/directory_tree.h"
#include "folder/handle_ops.h"
#include "platform/platform.h"

namespace {

// A value no call sets: an answer that shows it was never given an error.
const DWORD kPrimed = 0xBAD0BAD0ul;

// The answers' paths are ASCII.
std::string Utf8Of(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

class Answers {
 public:
  // The last error of a failed call, 0 for success.
  void Code(const char* name, bool ok) { Line(name, ok ? 0ul : static_cast<unsigned long>(GetLastError())); }
  void Line(const char* name, unsigned long value) { Text(name, std::to_string(value)); }
  void Hex(const char* name, unsigned long value) {
    char text[16];
    snprintf(text, sizeof text, "0x%lx", value);
    Text(name, text);
  }
  void Text(const char* name, const std::string& value) { text_ += std::string(name) + "=" + value + "\n"; }
  const std::string& Result() const { return text_; }

 private:
  std::string text_;
};

void AskFileQuestions(const std::wstring& dir, Answers& answers) {
  const std::string narrow(dir.begin(), dir.end());  // ASCII paths only
  SetLastError(kPrimed);
  answers.Code("DeleteFileA.missing", DeleteFileA((narrow + "\\missing.txt").c_str()));
  SetLastError(kPrimed);
  answers.Code("DeleteFileA.read_only", DeleteFileA((narrow + "\\ro.txt").c_str()));
  SetLastError(kPrimed);
  answers.Code("DeleteFileA.held", DeleteFileA((narrow + "\\held.txt").c_str()));
  SetLastError(kPrimed);
  answers.Code("DeleteFileA.directory", DeleteFileA((narrow + "\\empty").c_str()));
}

// The open that the walks make of each directory: as itself, for listing.
void AskOpenQuestions(const std::wstring& dir, Answers& answers) {
  auto open = [&](const char* name, const std::wstring& path) {
    SetLastError(kPrimed);
    HANDLE handle = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    answers.Code(name, handle != INVALID_HANDLE_VALUE);
    if (handle == INVALID_HANDLE_VALUE) return;
    FILE_ATTRIBUTE_TAG_INFO self = {};
    SetLastError(kPrimed);
    if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &self, sizeof self)) {
      answers.Hex((std::string(name) + "_attributes").c_str(), self.FileAttributes & ~FILE_ATTRIBUTE_ARCHIVE);
      answers.Hex((std::string(name) + "_tag").c_str(), self.ReparseTag);
    } else {
      answers.Code((std::string(name) + "_information").c_str(), false);
    }
    CloseHandle(handle);
  };
  open("CreateFileW.as_itself", dir + L"\\full");
  open("CreateFileW.as_itself_trailing_separator", dir + L"\\full\\");
  open("CreateFileW.as_itself_drive_root", dir.substr(0, 3));
  open("CreateFileW.as_itself_missing", dir + L"\\missing");
  // Wine opens a Unix symbolic link as its target: only the listing shows it.
  open("CreateFileW.as_itself_unix_link", dir + L"\\link");
}

// The opens and the deletion of the registry step: a link opened as itself
// tells, only through its parent's question, that it is one.
void AskRegistryQuestions(Answers& answers) {
  HKEY probe = nullptr, link = nullptr, child = nullptr, target = nullptr;
  answers.Line("RegOpenKeyExW.system_key",
               RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\TvProbe", 0, KEY_QUERY_VALUE, &probe));
  auto open = [&](const char* name, HKEY base, const wchar_t* path, DWORD access, HKEY* key) {
    answers.Line(name, RegOpenKeyExW(base, path, REG_OPTION_OPEN_LINK, access, key));
  };
  auto linkType = [&](const char* name, HKEY key) {
    DWORD type = 0, size = 0;
    answers.Line(name, RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, &size));
    answers.Line((std::string(name) + "_type").c_str(), type);
  };
  open("RegOpenKeyExW.missing", probe, L"Missing", KEY_QUERY_VALUE, &child);
  open("RegOpenKeyExW.link_as_itself", probe, L"Link", KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, &link);
  linkType("RegQueryValueExW.link", link);
  wchar_t name[256];
  DWORD length = 256;
  answers.Line("RegEnumKeyExW.link_as_itself",
               RegEnumKeyExW(link, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
  // Relative to the link's own handle, the name is looked up in its target.
  open("RegOpenKeyExW.below_link_handle", link, L"Child", KEY_QUERY_VALUE, &child);
  if (child) RegCloseKey(child);
  RegCloseKey(link);
  open("RegOpenKeyExW.plain_key", probe, L"Target", KEY_QUERY_VALUE | DELETE, &target);
  linkType("RegQueryValueExW.plain_key", target);
  NTSTATUS status = NtDeleteKey(target);
  answers.Hex("NtDeleteKey.with_subkey", static_cast<uint32_t>(status));
  answers.Line("NtDeleteKey.with_subkey_error", RtlNtStatusToDosError(status));
  RegCloseKey(target);
  open("RegOpenKeyExW.link_delete_only", probe, L"Link", DELETE, &link);
  linkType("RegQueryValueExW.delete_only", link);
  answers.Hex("NtDeleteKey.link", static_cast<uint32_t>(NtDeleteKey(link)));
  RegCloseKey(link);
  child = nullptr;
  open("RegOpenKeyExW.link_target_after", probe, L"Target\\Child", KEY_QUERY_VALUE, &child);
  if (child) RegCloseKey(child);
  RegCloseKey(probe);
}

void AskServiceQuestions(Answers& answers) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SetLastError(kPrimed);
  SC_HANDLE missing = OpenServiceA(manager, "tvprobe_missing", DELETE);
  answers.Code("OpenServiceA.missing", missing != nullptr);
  if (missing) CloseServiceHandle(missing);
  SC_HANDLE service = OpenServiceA(manager, "tvprobe_codes", SERVICE_STOP | DELETE);
  SC_HANDLE configurable = OpenServiceA(manager, "tvprobe_codes", SERVICE_CHANGE_CONFIG);
  // A change of nothing is how a preview tells a service marked for deletion.
  auto changeNothing = [&](const char* name, SC_HANDLE handle) {
    SetLastError(kPrimed);
    answers.Code(name, ChangeServiceConfigA(handle, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  };
  changeNothing("ChangeServiceConfigA.before_mark", configurable);
  changeNothing("ChangeServiceConfigA.without_the_right", service);
  SERVICE_STATUS status;
  SetLastError(kPrimed);
  answers.Code("ControlService.stopped", ControlService(service, SERVICE_CONTROL_STOP, &status));
  SetLastError(kPrimed);
  answers.Code("DeleteService.first", DeleteService(service));
  changeNothing("ChangeServiceConfigA.marked", configurable);
  // Marked and stopped, it stays listed while a handle to it is open, and reads stopped.
  SC_HANDLE queried = OpenServiceA(manager, "tvprobe_codes", SERVICE_QUERY_STATUS);
  SERVICE_STATUS heldStatus = {};
  SetLastError(kPrimed);
  answers.Code("QueryServiceStatus.marked_held", queried && QueryServiceStatus(queried, &heldStatus));
  answers.Line("QueryServiceStatus.marked_held_state", heldStatus.dwCurrentState);
  if (queried) CloseServiceHandle(queried);
  SetLastError(kPrimed);
  answers.Code("DeleteService.second", DeleteService(service));
  CloseServiceHandle(configurable);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  // A deleted service's key goes with it: the registry step finds it gone.
  HKEY services = nullptr, key = nullptr;
  RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services", 0, KEY_QUERY_VALUE, &services);
  answers.Line("RegOpenKeyExW.deleted_service_key",
               RegOpenKeyExW(services, L"tvprobe_codes", REG_OPTION_OPEN_LINK, DELETE, &key));
  if (key) RegCloseKey(key);
  if (services) RegCloseKey(services);
}

// Where a box would be shown: whether anyone can see it.
void AskDesktopQuestions(Answers& answers) {
  USEROBJECTFLAGS flags = {};
  SetLastError(kPrimed);
  const BOOL told =
      GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr);
  answers.Code("GetUserObjectInformationW.station", told != FALSE);
  answers.Line("GetUserObjectInformationW.station_visible", flags.dwFlags & WSF_VISIBLE);
  DWORD session = kPrimed;
  ProcessIdToSessionId(GetCurrentProcessId(), &session);
  answers.Line("ProcessIdToSessionId.own", session);
  answers.Line("WTSGetActiveConsoleSessionId", WTSGetActiveConsoleSessionId());
}

// The runtime's towlower in its default locale, which the name comparisons use.
void AskRuntimeQuestions(Answers& answers) {
  for (wchar_t letter :
       {L'A', L'Z', L'a', wchar_t(0x00DC), wchar_t(0x0416), wchar_t(0x0130), wchar_t(0x212A)}) {
    char name[32];
    snprintf(name, sizeof name, "towlower.U+%04X", static_cast<unsigned>(letter));
    answers.Hex(name, static_cast<unsigned long>(towlower(letter)));
  }
}

HANDLE OpenDirectory(const std::wstring& path) {
  return CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Acting through handles: an entry opened by its held directory's handle and
// its name, its file ID, its disposition; and the paths a root is judged by.
void AskHandleQuestions(const std::wstring& dir, Answers& answers) {
  HANDLE held = OpenDirectory(dir);
  HANDLE full = OpenDirectory(dir + L"\\full");
  auto open = [&](const char* name, HANDLE parent, const wchar_t* child, bool directory) {
    NTSTATUS status = 0;
    SetLastError(kPrimed);
    HANDLE opened = OpenRelative(parent, child, wcslen(child), DELETE | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, directory, &status);
    answers.Hex(name, static_cast<uint32_t>(status));
    if (opened == INVALID_HANDLE_VALUE) answers.Line((std::string(name) + "_error").c_str(), GetLastError());
    return opened;
  };
  open("NtOpenFile.relative_missing", full, L"missing.txt", false);
  open("NtOpenFile.relative_held", held, L"held.txt", false);
  open("NtOpenFile.relative_file_as_directory", full, L"gone.txt", true);
  HANDLE gone = open("NtOpenFile.relative", full, L"gone.txt", false);
  HANDLE byPath =
      CreateFileW((dir + L"\\full\\gone.txt").c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE other =
      CreateFileW((dir + L"\\ro.txt").c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  BY_HANDLE_FILE_INFORMATION a = {}, b = {}, c = {};
  GetFileInformationByHandle(gone, &a);
  GetFileInformationByHandle(byPath, &b);
  GetFileInformationByHandle(other, &c);
  auto same = [](const BY_HANDLE_FILE_INFORMATION& x, const BY_HANDLE_FILE_INFORMATION& y) {
    return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
  };
  answers.Line("GetFileInformationByHandle.same_file_same_id", same(a, b));
  answers.Line("GetFileInformationByHandle.other_file_same_id", same(a, c));
  CloseHandle(other);
  CloseHandle(byPath);
  NTSTATUS status = 0;
  DisposeOf(gone, &status);
  answers.Hex("NtSetInformationFile.disposition", static_cast<uint32_t>(status));
  CloseHandle(gone);
  SetLastError(kPrimed);
  answers.Code("NtSetInformationFile.disposed_gone",
               GetFileAttributesA((std::string(dir.begin(), dir.end()) + "\\full\\gone.txt").c_str()) !=
                   INVALID_FILE_ATTRIBUTES);
  HANDLE readOnly = open("NtOpenFile.relative_read_only", held, L"ro.txt", false);
  DisposeOf(readOnly, &status);
  answers.Hex("NtSetInformationFile.disposition_read_only", static_cast<uint32_t>(status));
  CloseHandle(readOnly);
  CloseHandle(full);  // it shares no deletion
  HANDLE notEmpty = open("NtOpenFile.relative_directory", held, L"full", true);
  DisposeOf(notEmpty, &status);
  answers.Hex("NtSetInformationFile.disposition_not_empty", static_cast<uint32_t>(status));
  CloseHandle(notEmpty);
  CloseHandle(held);

  HANDLE root = OpenDirectory(dir.substr(0, 3));
  WidePath path;
  answers.Text("GetFinalPathNameByHandleW.drive_root", RawFinalPathOf(root, &path) ? Utf8Of(path) : "failed");
  CloseHandle(root);
  for (const auto& asked : {std::make_pair("drive_root", L"\\\\?\\" + dir.substr(0, 3)),
                            std::make_pair("directory", L"\\\\?\\" + dir),
                            std::make_pair("unix", std::wstring(L"\\\\?\\unix\\tmp"))}) {
    wchar_t volume[MAX_PATH] = {};
    SetLastError(kPrimed);
    const BOOL told = GetVolumePathNameW(asked.second.c_str(), volume, MAX_PATH);
    answers.Text((std::string("GetVolumePathNameW.") + asked.first).c_str(),
                 told ? Utf8Of(volume) : "error " + std::to_string(GetLastError()));
  }
  for (const auto& asked : {std::make_pair("drive_relative", L"C:x.log"),
                            std::make_pair("relative", L"a\\..\\x.log"), std::make_pair("device", L"NUL")}) {
    WidePath full;
    const bool made = FullPathOf(asked.second, &full);
    if (made && full.compare(0, dir.size(), dir) == 0) full = L"DIR" + full.substr(dir.size());
    answers.Text((std::string("GetFullPathNameW.") + asked.first).c_str(), made ? Utf8Of(full) : "failed");
  }
}

// What the deletion relies on: a listing through a handle, the answer to the
// newer disposition, and a file another program holds with delete sharing.
void AskWalkQuestions(const std::wstring& dir, Answers& answers) {
  HANDLE held = OpenDirectory(dir);
  HANDLE empty = OpenDirectory(dir + L"\\empty");
  alignas(8) unsigned char buffer[4096];
  SetLastError(kPrimed);
  answers.Code(
      "GetFileInformationByHandleEx.restart_listing",
      GetFileInformationByHandleEx(empty, FileIdBothDirectoryRestartInfo, buffer, sizeof buffer) != FALSE);
  SetLastError(kPrimed);
  answers.Code("GetFileInformationByHandleEx.listing_end",
               GetFileInformationByHandleEx(empty, FileIdBothDirectoryInfo, buffer, sizeof buffer) != FALSE);
  CloseHandle(empty);
  DirectoryListing listing;
  ListedEntry entry;
  DWORD error = 0;
  while (NextListed(held, &listing, &entry, &error) && wcscmp(entry.name, L"link") != 0) continue;
  answers.Hex("FileIdBothDirectoryInfo.unix_link_attributes", entry.attributes & ~FILE_ATTRIBUTE_ARCHIVE);
  answers.Hex("FileIdBothDirectoryInfo.unix_link_tag", entry.reparseTag);

  HANDLE pending = OpenRelative(held, L"pending", 7, DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, true);
  HANDLE scanned = OpenRelative(pending, L"scanned.txt", 11, DELETE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false);
  ULONG flags = 0x13;  // delete, POSIX semantics, ignoring the read-only attribute
  IO_STATUS_BLOCK io = {};
  answers.Hex("NtSetInformationFile.disposition_ex",
              static_cast<uint32_t>(NtSetInformationFile(scanned, &io, &flags, sizeof flags,
                                                         static_cast<FILE_INFORMATION_CLASS>(64))));
  NTSTATUS status = 0;
  DisposeOf(scanned, &status);
  answers.Hex("NtSetInformationFile.disposition_held_with_delete_sharing", static_cast<uint32_t>(status));
  CloseHandle(scanned);
  answers.Line("FileIdBothDirectoryInfo.held_with_delete_sharing_listed",
               FindListed(pending, L"scanned.txt", &entry, &error));
  DisposeOf(pending, &status);
  answers.Hex("NtSetInformationFile.disposition_keeping_a_held_file", static_cast<uint32_t>(status));
  CloseHandle(pending);
  CloseHandle(held);
}

// What the outcomes, the log and the restart queue rely on.
void AskReportQuestions(const std::wstring& dir, Answers& answers) {
  const std::string narrow(dir.begin(), dir.end());  // ASCII paths only
  SetLastError(kPrimed);
  answers.Code("GetFileAttributesA.missing",
               GetFileAttributesA((narrow + "\\missing.txt").c_str()) != INVALID_FILE_ATTRIBUTES);
  SetLastError(kPrimed);
  answers.Code("MoveFileExA.held",
               MoveFileExA((narrow + "\\held.txt").c_str(), (narrow + "\\held2.txt").c_str(), 0));
  SetLastError(kPrimed);
  answers.Code("MoveFileExA.name_taken",
               MoveFileExA((narrow + "\\full\\x.txt").c_str(), (narrow + "\\ro.txt").c_str(), 0));
  auto openLog = [&](const std::string& name, const std::wstring& path) {
    SetLastError(kPrimed);
    HANDLE log = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    answers.Code(name.c_str(), log != INVALID_HANDLE_VALUE);
    if (log == INVALID_HANDLE_VALUE) return;
    answers.Line((name + "_last_error").c_str(), GetLastError());  // 183: it was there
    answers.Line((name + "_type").c_str(), GetFileType(log));
    BY_HANDLE_FILE_INFORMATION record = {};
    if (GetFileInformationByHandle(log, &record))
      answers.Line((name + "_links").c_str(), record.nNumberOfLinks);
    CloseHandle(log);
  };
  openLog("CreateFileW.log_new", dir + L"\\new.log");
  openLog("CreateFileW.log_existing", dir + L"\\new.log");
  openLog("CreateFileW.log_directory", dir + L"\\empty");
  openLog("CreateFileW.log_missing_directory", dir + L"\\nodir\\x.log");
}

// What the output of the run relies on: which standard streams are a console,
// and how each takes a console's write and a plain write.
void AskStreamQuestions(Answers& answers) {
  const struct {
    const char* name;
    DWORD which;
  } streams[] = {{"null", STD_INPUT_HANDLE}, {"pipe", STD_OUTPUT_HANDLE}, {"file", STD_ERROR_HANDLE}};
  for (const auto& stream : streams) {
    const std::string name = stream.name;
    const HANDLE handle = GetStdHandle(stream.which);
    answers.Line(("GetStdHandle." + name + "_given").c_str(),
                 handle != nullptr && handle != INVALID_HANDLE_VALUE);
    SetLastError(kPrimed);
    const DWORD type = GetFileType(handle);
    answers.Line(("GetFileType." + name).c_str(), type);
    if (type == FILE_TYPE_UNKNOWN) answers.Code(("GetFileType." + name + "_error").c_str(), false);
    DWORD mode = 0;
    SetLastError(kPrimed);
    answers.Code(("GetConsoleMode." + name).c_str(), GetConsoleMode(handle, &mode));
    DWORD written = 0;
    SetLastError(kPrimed);
    answers.Code(("WriteConsoleW." + name).c_str(), WriteConsoleW(handle, L"x", 1, &written, nullptr));
    answers.Line(("WriteConsoleW." + name + "_written").c_str(), written);
    // The pipe carries these answers: only the others take a write of their own.
    if (stream.which == STD_OUTPUT_HANDLE) continue;
    static const char kBytes[] = "tvprobe\r\n";
    written = 0;
    SetLastError(kPrimed);
    answers.Code(("WriteFile." + name).c_str(),
                 WriteFile(handle, kBytes, sizeof kBytes - 1, &written, nullptr));
    answers.Line(("WriteFile." + name + "_written").c_str(), written);
  }
}

}  // namespace

std::string AskPlatformQuestions(const std::wstring& dir, QuestionStage& stage) {
  stage.Directory(dir);
  stage.File(dir + L"\\full\\x.txt");
  stage.File(dir + L"\\full\\gone.txt");
  stage.Directory(dir + L"\\empty");
  stage.ReadOnlyFile(dir + L"\\ro.txt");
  stage.ReadOnlyReparseFile(dir + L"\\ro_tagged.txt");
  stage.HeldFile(dir + L"\\held.txt");
  stage.Directory(dir + L"\\pending");
  stage.SharedHeldFile(dir + L"\\pending\\scanned.txt");
  stage.UnixDirectoryLink(dir + L"\\link", dir + L"\\full");
  stage.Key("Software\\TvProbe\\Target\\Child");
  stage.KeyLink("Software\\TvProbe\\Link", "Software\\TvProbe\\Target");
  stage.Service("tvprobe_codes");
  stage.StandardStreams();
  stage.CurrentDirectory(dir);

  Answers answers;
  AskFileQuestions(dir, answers);
  AskOpenQuestions(dir, answers);
  AskHandleQuestions(dir, answers);
  AskWalkQuestions(dir, answers);
  AskRegistryQuestions(answers);
  AskServiceQuestions(answers);
  AskRuntimeQuestions(answers);
  AskReportQuestions(dir, answers);
  AskDesktopQuestions(answers);
  AskStreamQuestions(answers);
  return answers.Result();
}
