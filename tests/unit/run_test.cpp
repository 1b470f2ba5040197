#include <functional>

#include "app/uninstall.h"
#include "cleanup/cleanup.h"
#include "fault_sweep.h"
#include "folder/product_folder.h"
#include "sim_test.h"

namespace {

const char kCaption[] = "kVelnora Telvarine Uninstaller v1.7";
const char kQuestion[] =
    "Registry keys and system modules of Telvarine will be removed.\r\n\r\nWould you like to continue?";

class RunTest : public SimTest {
 protected:
  void Stage() override {
    sim::InstallService("kvdrNT2", {true});
    sim::InstallService("kvtlsvc", {true});
    sim::InstallService("brenserv", {});
    sim::CreateKey(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine");
    sim::MakeFile(L"C:\\windows\\system32\\kvdrNT2.sys");
  }
  int Run(const std::wstring& arguments) {
    sim::SetCommandLine(L"C:\\Games\\Title\\tvuninst.exe " + arguments);
    return WinMain(nullptr, nullptr, nullptr, 0);
  }
  // One assertion a fact, so that a failure names what was removed.
  static void ExpectNothingRemoved() {
    EXPECT_TRUE(sim::ServiceExists("kvdrNT2"));
    EXPECT_TRUE(sim::ServiceRunning("kvdrNT2"));
    EXPECT_FALSE(sim::ServiceMarkedForDeletion("kvtlsvc"));
    EXPECT_TRUE(sim::ServiceExists("brenserv"));
    EXPECT_TRUE(sim::KeyExists(HKEY_CURRENT_USER, "Software\\MIRELNetwork"));
    EXPECT_TRUE(sim::Exists(L"C:\\windows\\system32\\kvdrNT2.sys"));
  }
};

TEST_F(RunTest, YesRemovesAndReportsCompletion) {
  sim::ScriptMessageBoxes({IDYES, IDOK});
  EXPECT_EQ(Run(L""), 0);
  ASSERT_EQ(sim::Boxes().size(), 2u);
  EXPECT_EQ(sim::Boxes()[0].text, kQuestion);
  EXPECT_EQ(sim::Boxes()[0].caption, kCaption);
  EXPECT_EQ(sim::Boxes()[0].style, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(sim::Boxes()[1].text, "Uninstallation completed.");
  EXPECT_EQ(sim::Boxes()[1].caption, kCaption);
  EXPECT_EQ(sim::Boxes()[1].style, static_cast<UINT>(MB_OK));
  EXPECT_FALSE(sim::ServiceExists("kvdrNT2"));
  EXPECT_FALSE(sim::ServiceExists("brenserv"));
  EXPECT_TRUE(sim::ServiceMarkedForDeletion("kvtlsvc"));
  EXPECT_FALSE(sim::KeyExists(HKEY_CURRENT_USER, "Software\\MIRELNetwork"));
  EXPECT_FALSE(sim::Exists(L"C:\\windows\\system32\\kvdrNT2.sys"));
  EXPECT_TRUE(sim::DebugStrings().empty());
}

TEST_F(RunTest, NoAndCancelRemoveNothing) {
  for (int answer : {IDNO, IDCANCEL}) {
    sim::ScriptMessageBoxes({answer});
    sim::ClearCalls();
    EXPECT_EQ(Run(L""), 0);
    EXPECT_EQ(sim::Boxes().size(), answer == IDNO ? 1u : 2u);
    ExpectNothingRemoved();
    EXPECT_EQ(sim::CallNames().back(), "MessageBoxA") << "nothing is called after the answer";
    EXPECT_EQ(Output(), "");
  }
}

TEST_F(RunTest, BoxThatCannotBeShownExitsOneAndRemovesNothing) {
  // Windows returns 0; Wine without a display returns -1.
  for (int failure : {0, -1}) {
    sim::ScriptMessageBoxes({failure});
    EXPECT_EQ(Run(L""), 1);
    ExpectNothingRemoved();
  }
}

// A box nobody can see would wait for ever: where the platform says so, the
// run does not show it and ends as when a box cannot be shown.
TEST_F(RunTest, BoxOnlyWhereSomeoneCanAnswerIt) {
  const struct {
    const char* name;
    bool stationVisible;
    DWORD processSession, consoleSession;
    bool asks;
    const char* failing = nullptr;  // a question that fails: no answer, so no reason to refuse
  } cases[] = {
      {"player's desktop", true, 1, 1, true},
      {"service's station", false, 1, 1, false},
      {"session 0 beside the console's", true, 0, 1, false},
      {"Windows XP: the console is session 0", true, 0, 0, true},
      {"a visible station in another user's session", true, 2, 1, true},
      {"a station that cannot be asked", false, 1, 1, true, "GetUserObjectInformationW"},
  };
  for (const auto& c : cases) {
    Restart();
    sim::SetDesktop(c.stationVisible, c.processSession, c.consoleSession);
    if (c.failing) sim::FailCall(c.failing, ERROR_ACCESS_DENIED, sim::kAlways);
    sim::ScriptMessageBoxes({IDNO});
    EXPECT_EQ(Run(L""), c.asks ? 0 : 1) << c.name;
    EXPECT_EQ(sim::Boxes().size(), c.asks ? 1u : 0u) << c.name;
    EXPECT_EQ(Output().find("Run with -s") != std::string::npos, !c.asks) << c.name;
    ExpectNothingRemoved();
    // A preview's closing box too; without it the preview ends as a silent one, its code unchanged.
    sim::ScriptMessageBoxes({IDOK});
    EXPECT_EQ(Run(L"-n"), 1) << c.name;
    EXPECT_EQ(sim::Boxes().size(), c.asks ? 2u : 0u) << c.name;
    EXPECT_EQ(sim::DebugStrings(),
              c.asks ? std::vector<std::string>() : std::vector<std::string>{"Preview completed."})
        << c.name;
  }
}

TEST_F(RunTest, SilentRunLeavesTwoDebuggerStringsAndNoBox) {
  EXPECT_EQ(Run(L"-s"), 0);
  EXPECT_TRUE(sim::Boxes().empty());
  const std::vector<std::string> expected = {"kVelnora Telvarine Uninstaller v1.7 silent mode",
                                             "Uninstallation completed."};
  EXPECT_EQ(sim::DebugStrings(), expected);
  EXPECT_FALSE(sim::ServiceExists("kvdrNT2"));
}

TEST_F(RunTest, HelpAndRejectedLinesRemoveNothingAndShowNoBox) {
  EXPECT_EQ(Run(L"-h -s"), 0);
  EXPECT_EQ(Run(L"-s --bogus"), 87);
  EXPECT_EQ(Run(L"-a"), 87);
  EXPECT_TRUE(sim::Boxes().empty());
  EXPECT_TRUE(sim::DebugStrings().empty());
  ExpectNothingRemoved();
}

TEST_F(RunTest, StepsRunInOrderAfterConsent) {
  EXPECT_EQ(Run(L"-s"), 0);
  std::vector<std::string> steps;
  for (const std::string& name : sim::CallNames()) {
    if (name == "SetDefaultDllDirectories" || name == "AttachConsole" || name == "CommandLineToArgvW" ||
        name == "OutputDebugStringA" || name == "OpenServiceA" || name == "NtDeleteKey" ||
        name == "GetSystemDirectoryA" || name == "GetModuleFileNameW") {
      if (steps.empty() || steps.back() != name) steps.push_back(name);
    }
  }
  const std::vector<std::string> expected = {
      "SetDefaultDllDirectories", "AttachConsole",      "CommandLineToArgvW",
      "OutputDebugStringA",       "OpenServiceA",       "NtDeleteKey",
      "GetSystemDirectoryA",      "GetModuleFileNameW", "OpenServiceA",
      "OutputDebugStringA"};
  EXPECT_EQ(steps, expected) << "the services are judged again after the folder step";
}

// Without administrator rights every step is refused: the run goes on, then
// says what stayed and exits 1603.
TEST_F(RunTest, FailuresOfEveryStepAreToldAndExit1603) {
  sim::FailCall("OpenSCManagerA", ERROR_ACCESS_DENIED, sim::kAlways);
  sim::FailCall("NtDeleteKey", ERROR_ACCESS_DENIED, sim::kAlways);
  sim::FailCall("DeleteFileA", ERROR_ACCESS_DENIED, sim::kAlways);
  EXPECT_EQ(Run(L"-s"), 1603);
  EXPECT_EQ(sim::DebugStrings().back(),
            "Uninstallation completed.\r\n\r\nSome parts of Telvarine could not be removed:\r\n"
            "key HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine\r\n"
            "key HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine (first to stay: "
            "HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine)\r\n"
            "key HKCU\\Software\\MIRELNetwork\r\n"
            "module C:\\windows\\system32\\kvdrNT2.sys\r\n"
            "service kvdrNT2\r\n"
            "and 2 more\r\n\r\n"
            "Run tvuninst as administrator.");
  EXPECT_NE(Output().find("failed  module C:\\windows\\system32\\kvdrNT2.sys: error 5, Access is denied.\n"),
            std::string::npos);
  EXPECT_EQ(Output().find("kvdr9x"), std::string::npos) << "a module that is not there is absent, not shown";
  ExpectNothingRemoved();
}

// Whatever script the game directory is named in: the box and the line
// through a pipe name it whole.
TEST_F(RunTest, HeldFileInTheFolderIsNamedWithAdvice) {
  const struct {
    const wchar_t* game;
    const char* utf8;
  } cases[] = {{L"C:\\Game", "C:\\Game"},
               {L"C:\\Games\\Игры", "C:\\Games\\\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B"},
               {L"C:\\Games\\Übung",
                "C:\\Games\\\xC3\x9C"
                "bung"}};
  for (const auto& c : cases) {
    Restart();
    const std::wstring game = c.game;
    const std::string folder = std::string(c.utf8) + "\\Telvarine";
    sim::MakeFile(game + L"\\Telvarine\\a.dat");
    sim::MakeFile(game + L"\\Telvarine\\b.dll");
    sim::HoldOpen(game + L"\\Telvarine\\b.dll");
    sim::ScriptMessageBoxes({IDYES, IDOK});
    EXPECT_EQ(Run(L"-a " + game), 1603) << c.utf8;
    ASSERT_EQ(sim::Boxes().size(), 2u);
    EXPECT_EQ(sim::Boxes()[1].text,
              "Uninstallation completed.\r\n\r\nSome parts of Telvarine could not be removed:\r\n"
              "folder " +
                  folder + " (1 files, 0 directories removed; " + folder +
                  "\\b.dll in use)"
                  "\r\n\r\nClose the game and any program using these files, then run tvuninst again.");
    EXPECT_EQ(sim::Boxes()[1].caption, kCaption);
    EXPECT_EQ(sim::Boxes()[1].style, static_cast<UINT>(MB_OK));
    EXPECT_EQ(sim::CallsNamed("MessageBoxW").size(), 1u) << "the completion box, as text";
    EXPECT_NE(sim::InheritedStdoutText().find("\r\nfailed  folder " + folder +
                                              " (1 files, 0 directories removed; " + folder +
                                              "\\b.dll in use): error 32, The process cannot access "
                                              "the file because it is being used by another process.\r\n"),
              std::string::npos)
        << sim::InheritedStdoutText();
  }
}

// Deleting a service takes its key: the registry step finds it gone, and it
// was the run that removed it.
TEST_F(RunTest, KeysThatGoWithTheirServiceAreRemoved) {
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\brenserv\\Security");
  EXPECT_EQ(Run(L"-s"), 0);
  EXPECT_FALSE(sim::KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\brenserv"));
  EXPECT_NE(Output().find("removed key HKLM\\SYSTEM\\CurrentControlSet\\Services\\brenserv\\Security\n"),
            std::string::npos);
  EXPECT_NE(Output().find("removed key HKLM\\SYSTEM\\CurrentControlSet\\Services\\brenserv\n"),
            std::string::npos);
}

TEST_F(RunTest, KeysOfOtherProductsAreKeptAndNotAFailure) {
  sim::CreateKey(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\OtherGame");
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0001");
  EXPECT_EQ(Run(L"-s"), 0);
  EXPECT_NE(
      Output().find("kept    key HKCU\\Software\\MIRELNetwork (holds subkeys the list does not name)\n"),
      std::string::npos);
  EXPECT_NE(
      Output().find("kept    key HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV (holds subkeys "
                    "the list does not name)\n"),
      std::string::npos);
  EXPECT_EQ(sim::DebugStrings().back(), "Uninstallation completed.");
}

TEST_F(RunTest, SearchThatCouldNotLookEverywhereIsNotAbsent) {
  sim::SetModuleFileName(L"C:\\Game\\tools\\tvuninst.exe");
  sim::MakeDirectory(L"C:\\Game\\data");
  sim::FailListingOpen(L"C:\\Game\\data", ERROR_ACCESS_DENIED);
  sim::MakeDirectoryLink(L"C:\\Game\\link", L"C:\\Outside", IO_REPARSE_TAG_MOUNT_POINT);
  sim::SetCommandLine(L"tvuninst.exe -s");
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 1603);
  EXPECT_NE(Output().find("failed  folder Telvarine (not fully searched): error 5, Access is denied.\n"),
            std::string::npos);
}

TEST_F(RunTest, UndeterminedExecutableDirectoryExitsTwoWithoutCompletion) {
  sim::FailCall("GetModuleFileNameW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(L"-s"), 2);
  EXPECT_NE(Output().find("Error: GetModuleFileNameW call failed, error code: 5\n"), std::string::npos);
  EXPECT_NE(Output().find("exit code 2\n"), std::string::npos);
  EXPECT_EQ(sim::DebugStrings().size(), 1u);
  EXPECT_FALSE(sim::ServiceExists("kvdrNT2")) << "earlier steps have run";
}

TEST_F(RunTest, SecondRunFindsOnlyWhatIsPending) {
  EXPECT_EQ(Run(L"-s"), 0);
  const size_t firstRun = Output().size();
  EXPECT_EQ(Run(L"-s"), 0);
  EXPECT_EQ(sim::DebugStrings().size(), 4u);
  EXPECT_EQ(Output().substr(firstRun),
            "pending service kvtlsvc (deleted when it stops)\n"
            "summary: 0 removed, 40 absent, 0 kept, 1 pending, 0 failed, 1 skipped; exit code 0\n");
}

TEST_F(RunTest, LogGetsOneBlockPerRun) {
  sim::MakeDirectory(L"C:\\Logs");
  EXPECT_EQ(Run(L"-s -l C:\\Logs\\tv.log"), 0);
  sim::ScriptMessageBoxes({IDNO});
  sim::SetCurrentDirectory(L"C:\\Logs");
  EXPECT_EQ(Run(L"--log C:tv.log"), 0);  // in drive C's current directory
  const std::string log = sim::FileContent(L"C:\\Logs\\tv.log");
  const std::string header =
      "tvuninst 1.7, 2026-01-02 03:04:05 UTC+01:00, elevated: yes, computer: TESTPC, account: Player, "
      "command line: C:\\Games\\Title\\tvuninst.exe ";
  EXPECT_EQ(log.substr(0, log.find("\r\n") + 2), header + "-s -l C:\\Logs\\tv.log\r\n");
  EXPECT_NE(log.find("removed key HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("absent  key HKLM\\SYSTEM\\ControlSet002\\Services\\TVKernel64\r\n"), std::string::npos);
  EXPECT_NE(log.find("skipped folder Telvarine (not in a tools directory and no -a given)\r\n"),
            std::string::npos);
  EXPECT_NE(
      log.find("summary: 6 removed, 34 absent, 0 kept, 1 pending, 0 failed, 1 skipped; exit code 0\r\n"),
      std::string::npos);
  EXPECT_NE(log.find("\r\n" + header + "--log C:tv.log\r\ndeclined: nothing was removed\r\nsummary: "),
            std::string::npos)
      << "a second run appends";
  EXPECT_EQ(log.find('\n'), log.find("\r\n") + 1) << "lines end in CRLF";
  EXPECT_EQ(Output().find("absent  "), std::string::npos) << "absent targets are in the log only";
}

// The log is an elevated write to a path the caller names: anything but a
// plain disk file in a plain directory rejects the command line.
TEST_F(RunTest, LogThatCannotBeOpenedRejectsTheCommandLine) {
  struct Case {
    const wchar_t* path;
    std::function<void()> stage;
    DWORD error;
  };
  const Case cases[] = {
      {L"C:\\Missing\\tv.log", [] {}, ERROR_FILE_NOT_FOUND},
      {L"C:\\Logs", [] { sim::MakeDirectory(L"C:\\Logs"); }, ERROR_ACCESS_DENIED},
      {L"C:\\Logs\\tv.log",
       [] {
         sim::MakeFile(L"C:\\Logs\\tv.log");
         sim::SetLinkCount(L"C:\\Logs\\tv.log", 2);
       },
       ERROR_TOO_MANY_LINKS},
      {L"C:\\Linked\\tv.log",
       [] {
         sim::MakeDirectory(L"C:\\Elsewhere");
         sim::MakeDirectoryLink(L"C:\\Linked", L"C:\\Elsewhere", IO_REPARSE_TAG_MOUNT_POINT);
       },
       ERROR_CANT_ACCESS_FILE},
      {L"C:\\Logs\\tv.log",
       [] { sim::MakeFile(L"C:\\Logs\\tv.log", FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK); },
       ERROR_CANT_ACCESS_FILE},
      {L"C:\\Logs\\COM1",
       [] {
         sim::MakeFile(L"C:\\Logs\\COM1");
         sim::SetFileType(L"C:\\Logs\\COM1", FILE_TYPE_CHAR);
       },
       ERROR_NOT_SUPPORTED},
  };
  for (const Case& c : cases) {
    Restart();
    c.stage();
    EXPECT_EQ(Run(std::wstring(L"-s -l ") + c.path), 87) << sim::Narrow(c.path);
    const std::string usage = Output().substr(Output().find('\n') + 1);
    EXPECT_EQ(Output().substr(0, Output().find('\n') + 1),
              "ERROR: Cannot open the log file, error code: " + std::to_string(c.error) + "\n")
        << sim::Narrow(c.path);
    EXPECT_EQ(usage.substr(0, 13), "tvuninst 1.7\n");
    EXPECT_TRUE(sim::DebugStrings().empty());
    ExpectNothingRemoved();
    EXPECT_FALSE(sim::Exists(L"C:\\Elsewhere\\tv.log"));
  }
  // What the log really is decides: never a file the run removes.
  // A refused file the run created goes again; one that was there stays as it was.
  const struct {
    const wchar_t* arguments;
    const char* error;
    const wchar_t* created;  // null: the file was there
  } removed[] = {
      {L"-s -l C:\\windows\\system32\\kvdrNT2.sys",
       "ERROR: The log file is one of the modules tvuninst removes: "
       "C:\\windows\\system32\\kvdrNT2.sys\n",
       nullptr},
      {L"-s -l C:\\windows\\system32\\Corvane.des",
       "ERROR: The log file is one of the modules tvuninst removes: "
       "C:\\windows\\system32\\Corvane.des\n",
       L"C:\\windows\\system32\\Corvane.des"},
      {L"-s -a C:\\Game -l C:\\Game\\TELVARINE\\..\\Telvarine\\tv.log",
       "ERROR: The log file is inside the folder tvuninst removes: C:\\Game\\Telvarine\\tv.log\n",
       L"C:\\Game\\Telvarine\\tv.log"},
      {L"-s -a C:\\Game -l C:\\Game\\Telvarine\\x.dat",
       "ERROR: The log file is inside the folder tvuninst removes: C:\\Game\\Telvarine\\x.dat\n", nullptr},
  };
  for (const auto& c : removed) {
    Restart();
    sim::MakeFile(L"C:\\Game\\Telvarine\\x.dat");
    EXPECT_EQ(Run(c.arguments), 87) << c.error;
    EXPECT_EQ(Output().substr(0, Output().find('\n') + 1), c.error);
    ExpectNothingRemoved();
    EXPECT_TRUE(sim::Exists(L"C:\\Game\\Telvarine\\x.dat"));
    EXPECT_TRUE(sim::FileContent(L"C:\\windows\\system32\\kvdrNT2.sys").empty());
    EXPECT_TRUE(c.created == nullptr || !sim::Exists(c.created)) << c.error;
  }
  Restart();
  EXPECT_EQ(Run(L"-s -l"), 87);
  EXPECT_EQ(Output().substr(0, Output().find('\n') + 1), "ERROR: -l/--log The log file path must be set!\n");
}

using RunFaultSweepTest = SimTest;

// Whether anything of the staged installation stayed that is not on its way
// out (a running service marked for deletion goes when it stops).
bool ProductRemains() {
  for (const char* service : {"kvdrNT2", "kvtlsvc", "brenserv"}) {
    if (sim::ServiceExists(service) &&
        !(sim::ServiceRunning(service) && sim::ServiceMarkedForDeletion(service)))
      return true;
  }
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    if (sim::KeyExists(hive, "Software\\MIRELNetwork\\kVelnoraTelvarine")) return true;
  }
  for (const char* key : {"SYSTEM\\CurrentControlSet\\Services\\kvtlsvc",
                          "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV"}) {
    if (sim::KeyExists(HKEY_LOCAL_MACHINE, key)) return true;
  }
  for (const wchar_t* module : {L"kvdrNT2.sys", L"kvdr9x.vxd", L"Corvane.des"}) {
    if (sim::Exists(std::wstring(L"C:\\windows\\system32\\") + module)) return true;
  }
  return sim::Exists(L"C:\\Game\\data\\Telvarine");
}

TEST_F(RunFaultSweepTest, WholeRun) {
  auto stage = [] {
    StageServices();
    StageRegistry();
    StageModules();
    StageGame();
  };
  int exitCode = -1;
  auto step = [&] {
    sim::SetModuleFileName(L"C:\\Game\\tools\\tvuninst.exe");
    sim::SetCommandLine(L"tvuninst.exe -s");
    exitCode = WinMain(nullptr, nullptr, nullptr, 0);
  };
  // The calls that ask whether the game directory is a volume's root: when
  // one fails, nothing says where the folder is, and it is skipped.
  sim::Reset();
  stage();
  step();
  size_t askedFrom = 0, askedTo = 0;
  for (size_t i = 0; i < sim::Calls().size(); ++i) {
    const sim::Call& call = sim::Calls()[i];
    if (!askedFrom && call.name == "CreateFileW" && call.args.rfind("C:\\Game,", 0) == 0) askedFrom = i + 1;
    if (call.name == "GetVolumePathNameW") askedTo = i + 1;
  }
  ASSERT_GT(askedTo, askedFrom);
  const int trials = Sweep(
      stage, step,
      {"service kvdrNT2", "service kvtlsvc", "service brenserv",
       "HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine", "HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine",
       "HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvtlsvc",
       "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV", "C:\\windows\\system32\\kvdrNT2.sys",
       "C:\\windows\\system32\\kvdr9x.vxd", "C:\\windows\\system32\\Corvane.des",
       "C:\\Game\\data\\Telvarine"},
      [&](const Trial& trial) {
        if (trial.failedCall == "GetModuleFileNameW") {
          EXPECT_EQ(exitCode, 2);
        } else if (trial.failedCall == "CommandLineToArgvW") {
          EXPECT_EQ(exitCode, 1) << "an empty command line asks, and no box can be shown";
        } else {
          // The run's word is the truth: whatever of the product stays, and is
          // not on its way out, makes it 1603 and is named.
          const bool skipped = trial.ordinal >= askedFrom && trial.ordinal <= askedTo;
          if (ProductRemains() && !skipped) {
            EXPECT_EQ(exitCode, 1603);
          }
          ASSERT_TRUE(exitCode == 0 || exitCode == 1603) << exitCode;
          EXPECT_EQ(
              sim::DebugStrings().back().rfind(
                  exitCode == 0 ? "Uninstallation completed." : "Uninstallation completed.\r\n\r\nSome", 0),
              0u);
          EXPECT_EQ(sim::DebugStrings().back().size() == strlen("Uninstallation completed."), exitCode == 0);
        }
      });
  std::printf("whole run: %d fault trials\n", trials);
}

// What the record says, run against the state each case stages.
struct OutcomeCase {
  const char* name;
  std::function<void()> stage;
  std::wstring arguments;
  int exitCode;
  std::vector<std::string>
      lines;  // in the log, CRLF left off; on the console unless absent, skipped or a note
  std::wstring module = L"C:\\Games\\Title\\tvuninst.exe";
  std::wstring log = L"C:\\Logs\\tv.log";
  std::wstring stays = L"";  // a path the run must leave
};

const OutcomeCase kOutcomeCases[] = {
    // A key kept for an unlisted subkey keeps its listed parent too.
    {"KeptKeysKeepTheirParent",
     [] {
       sim::CreateKey(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC\\0000\\Control");
     },
     L"-s",
     0,
     {"kept    key HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC\\0000 (holds subkeys the list "
      "does "
      "not name)",
      "kept    key HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC (holds kept keys)"}},
    // The list removes this key as a whole tree: what refused is a failure.
    {"RefusedKeyTree",
     [] {
       sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TVKernel\\Parameters\\Held");
       sim::ProtectKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TVKernel\\Parameters\\Held");
     },
     L"-s",
     1603,
     {"failed  key HKLM\\SYSTEM\\CurrentControlSet\\Services\\TVKernel (first to stay: "
      "HKLM\\SYSTEM\\CurrentControlSet\\Services\\TVKernel\\Parameters\\Held): error 5, Access is denied."}},
    // A key that will not say whether it is a link is not entered: what lies below stays.
    {"KeyThatRefusesTheLinkQuestion",
     [] {
       sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine");
       sim::ProtectKey(HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\kVelnoraTelvarine", KEY_QUERY_VALUE);
     },
     L"-s",
     1603,
     {"failed  key HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine: error 5, Access is denied."}},
    // A key whose first question failed may have been there: gone now, it was removed.
    {"KeyWhoseQuestionFailed",
     [] {
       sim::CreateKey(HKEY_CURRENT_USER, "Software\\MirelNetwork\\kVelnoraTelvarine\\TelvarineError");
       sim::FailCall("RegOpenKeyExW", ERROR_ACCESS_DENIED);
     },
     L"-s",
     0,
     {"removed key HKCU\\Software\\MirelNetwork\\kVelnoraTelvarine\\TelvarineError"}},
    // Deleted everything it listed, yet the directory is not empty (another
    // program holds b.dat with delete sharing for good): listed again until
    // the run's pauses are spent, what is left is then named.
    {"DirectoryNotEmptyAfterItsListing",
     [] {
       sim::MakeFile(L"C:\\Game\\Telvarine\\a.dat");
       sim::MakeFile(L"C:\\Game\\Telvarine\\b.dat");
       sim::HoldWithDeleteSharing(L"C:\\Game\\Telvarine\\b.dat", sim::kAlways);
     },
     L"-s -a C:\\Game",
     1603,
     {"failed  folder C:\\Game\\Telvarine (2 files, 0 directories removed; C:\\Game\\Telvarine\\b.dat still "
      "there): "
      "error 145, The directory is not empty."}},
    // No path is built to act on: no length limit applies.
    {"DeepPath",
     [] { sim::MakeFile(L"C:\\Game\\" + std::wstring(250, L'd') + L"\\Telvarine\\x.dat"); },
     L"-s -a C:\\Game\\" + std::wstring(250, L'd'),
     0,
     {"removed folder C:\\Game\\" + std::string(250, 'd') + "\\Telvarine (1 files, 1 directories)"}},
    // Of two listings that fail, the first says why the search could not look everywhere.
    {"TwoFailingListings",
     [] {
       sim::MakeDirectory(L"C:\\Games\\Title\\a");
       sim::MakeDirectory(L"C:\\Games\\Title\\b");
       sim::FailListingOpen(L"C:\\Games\\Title\\a", ERROR_ACCESS_DENIED);
       sim::FailListingOpen(L"C:\\Games\\Title\\b", ERROR_SHARING_VIOLATION);
     },
     L"-s",
     1603,
     {"failed  folder Telvarine (not fully searched): error 5, Access is denied."},
     L"C:\\Games\\Title\\tools\\tvuninst.exe"},
    // What the folder step did, however little: a miss is never read as success.
    {"GivenDirectoryWithoutTheFolder",
     [] { sim::MakeDirectory(L"C:\\Game"); },
     L"-s -a C:\\Game",
     0,
     {"absent  folder C:\\Game\\Telvarine"}},
    {"GivenDirectoryMissing",
     [] {},
     L"-s -a C:\\Nowhere",
     0,
     {"absent  folder C:\\Nowhere\\Telvarine (no directory C:\\Nowhere)"}},
    {"GivenDirectoryAndItsParentMissing",
     [] {},
     L"-s -a C:\\Nowhere\\Deeper",
     0,
     {"absent  folder C:\\Nowhere\\Deeper\\Telvarine (no directory C:\\Nowhere\\Deeper)"}},
    {"NoToolsDirectoryAndNoA",
     [] {},
     L"-s",
     0,
     {"skipped folder Telvarine (not in a tools directory and no -a given)"}},
    {"GivenDirectoryIsAFile",
     [] { sim::MakeFile(L"C:\\Logs\\x.txt"); },
     L"-s -a C:\\Logs\\x.txt",
     1603,
     {"failed  folder C:\\Logs\\x.txt\\Telvarine (0 files, 0 directories removed; C:\\Logs\\x.txt not a "
      "directory)"}},
    // Found by the search, the folder that holds the run's own log stays.
    {"FolderHoldingTheLog",
     [] { sim::MakeFile(L"C:\\Games\\Title\\data\\Telvarine\\x.dat"); },
     L"-s",
     1603,
     {"failed  folder C:\\Games\\Title\\data\\Telvarine (0 files, 0 directories removed; "
      "C:\\Games\\Title\\data\\Telvarine the log file is inside it)"},
     L"C:\\Games\\Title\\tools\\tvuninst.exe",
     L"C:\\Games\\Title\\data\\Telvarine\\tv.log",
     L"C:\\Games\\Title\\data\\Telvarine\\x.dat"},
    // Of two rows that name one key, the last refusal says why it stayed.
    {"KeyRefusedByTwoRows",
     [] {
       sim::CreateKey(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Other");
       sim::ProtectKey(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Other");
       sim::FailCall("NtDeleteKey", ERROR_SHARING_VIOLATION);  // the first row's; the tree's refusal is 5
     },
     L"-s",
     1603,
     {"failed  key HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine (first to stay: "
      "HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Other): error 5, Access is denied."}},
    // Marked before the run, it stays while another program holds it: that is why, not the refusal.
    {"ServiceMarkedBeforeAndHeld",
     [] {
       sim::InstallService("brenserv");
       sim::HoldService("brenserv", true);
       DeleteServiceByName("brenserv");
       sim::FailCall("DeleteService", ERROR_ACCESS_DENIED);
     },
     L"-s",
     0,
     {"pending service brenserv (deleted when the last handle to it closes)"}},
    // A service whose first question failed may have been there: gone now, it was removed.
    {"ServiceWhoseQuestionFailed",
     [] {
       sim::InstallService("kvdrNT2");
       sim::FailCall("OpenSCManagerA", ERROR_ACCESS_DENIED);
     },
     L"-s",
     0,
     {"removed service kvdrNT2"}},
    // Not known to be marked is not marked: the refusal of the deletion says why it stayed.
    {"ServiceWhoseMarkCannotBeAsked",
     [] {
       sim::ServiceSetup refused;
       refused.mayDelete = false;
       sim::InstallService("brenserv", refused);
       sim::FailCall("ChangeServiceConfigA", ERROR_ACCESS_DENIED);
     },
     L"-s",
     1603,
     {"failed  service brenserv: error 5, Access is denied."}},
    // Attributes unknown: the module may be there, and access denied is no sign that it is in use.
    {"ModuleWhoseAttributesCannotBeRead",
     [] {
       sim::MakeFile(L"C:\\windows\\system32\\kvdrNT2.sys");
       sim::FailCall("GetFileAttributesA", ERROR_ACCESS_DENIED);
       sim::FailCall("DeleteFileA", ERROR_ACCESS_DENIED);
     },
     L"-s --reboot-ok",
     1603,
     {"failed  module C:\\windows\\system32\\kvdrNT2.sys: error 5, Access is denied."}},
    // Found after a listing failed, the folder's own failure is told, not the search's.
    {"FolderFoundAfterAFailedListing",
     [] {
       sim::MakeDirectory(L"C:\\Games\\Title\\a");
       sim::FailListingOpen(L"C:\\Games\\Title\\a", ERROR_ACCESS_DENIED);
       sim::MakeFile(L"C:\\Games\\Title\\b\\Telvarine\\x.dat");
       CreateFileW(L"C:\\Games\\Title\\b\\Telvarine\\x.dat", GENERIC_READ, FILE_SHARE_READ, nullptr,
                   OPEN_EXISTING, 0,
                   nullptr);  // left open, as that program does
     },
     L"-s",
     1603,
     {"failed  folder C:\\Games\\Title\\b\\Telvarine (0 files, 0 directories removed; "
      "C:\\Games\\Title\\b\\Telvarine\\x.dat in use): error 32, The process cannot access the file because "
      "it "
      "is being used by another process."},
     L"C:\\Games\\Title\\tools\\tvuninst.exe"},
    // A given directory that is there but cannot be opened is no missing one.
    {"GivenDirectoryHeldByAnotherProgram",
     [] {
       sim::MakeDirectory(L"C:\\Game\\Telvarine");
       CreateFileW(L"C:\\Game", DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);  // left open, as that program does
     },
     L"-s -a C:\\Game",
     1603,
     {"failed  folder C:\\Game\\Telvarine: error 32, The process cannot access the file because it is being "
      "used by another process."}},
    // A log beside the folder, in a directory whose name starts with the folder's, is not inside it.
    {"LogBesideTheFolder",
     [] {
       sim::MakeFile(L"C:\\Game\\Telvarine\\a.dat");
       sim::MakeDirectory(L"C:\\Game\\TelvarineOld");
     },
     L"-s -a C:\\Game",
     0,
     {"removed folder C:\\Game\\Telvarine (1 files, 1 directories)"},
     L"C:\\Games\\Title\\tvuninst.exe",
     L"C:\\Game\\TelvarineOld\\x.log"},
    // No game ships its tools directory at the root of a volume: -a decides,
    // and without it nothing is searched; a question that fails says so too.
    {"ToolsAtAVolumeRoot",
     [] { sim::MakeFile(L"C:\\Users\\Public\\Documents\\Telvarine\\x.dat"); },
     L"-s",
     0,
     {"skipped folder Telvarine (the tools directory is at the root of a volume; give -a)"},
     L"C:\\Tools\\tvuninst.exe",
     L"C:\\Logs\\tv.log",
     L"C:\\Users\\Public\\Documents\\Telvarine\\x.dat"},
    {"ToolsAtAVolumeRootWithA",
     [] {
       sim::MakeFile(L"C:\\Users\\Public\\Documents\\Telvarine\\x.dat");
       sim::MakeFile(L"C:\\Game\\Telvarine\\y.dat");
     },
     L"-s -a C:\\Game",
     0,
     {"removed folder C:\\Game\\Telvarine (1 files, 1 directories)"},
     L"C:\\Tools\\tvuninst.exe",
     L"C:\\Logs\\tv.log",
     L"C:\\Users\\Public\\Documents\\Telvarine\\x.dat"},
    {"VolumeRootUnknown",
     [] {
       sim::MakeFile(L"C:\\Games\\Title\\data\\Telvarine\\x.dat");
       sim::FailCall("GetVolumePathNameW", ERROR_ACCESS_DENIED, sim::kAlways);
     },
     L"-s",
     0,
     {"skipped folder Telvarine (the tools directory may be at the root of a volume: error 5; give -a)"},
     L"C:\\Games\\Title\\tools\\tvuninst.exe",
     L"C:\\Logs\\tv.log",
     L"C:\\Games\\Title\\data\\Telvarine\\x.dat"},
    {"AllIgnoredInTheGamesToolsDirectory",
     [] { sim::MakeFile(L"C:\\Games\\Title\\data\\Telvarine\\x.dat"); },
     L"-s -a C:\\Other",
     0,
     {"note: -a C:\\Other ignored: tvuninst runs from the game's tools directory",
      "removed folder C:\\Games\\Title\\data\\Telvarine (1 files, 1 directories)"},
     L"C:\\Games\\Title\\tools\\tvuninst.exe"},
    // A driver that takes its time to stop is on its way out.
    {"DriverStillStopping",
     [] {
       sim::InstallService("kvdrNT2", {true, true, true, true});
     },
     L"-s",
     0,
     {"pending service kvdrNT2 (deleted when it stops)"}},
    // A directory at a module's path is refused as it is, and never queued.
    {"ModuleThatIsADirectory",
     [] { sim::MakeDirectory(L"C:\\windows\\system32\\kvdrNT2.sys"); },
     L"-s --reboot-ok",
     1603,
     {"failed  module C:\\windows\\system32\\kvdrNT2.sys: error 5, Access is denied."}},
    // A value shows its line breaks and `<` as code points: one line stays one line.
    {"LineBreakInAnArgument",
     [] {},
     L"-s -a \"C:\\Game\r\nsummary: 9 removed<\"",
     0,
     {"absent  folder C:\\Game<U+000D><U+000A>summary: 9 removed<U+003C>\\Telvarine (no directory "
      "C:\\Game<U+000D><U+000A>summary: 9 removed<U+003C>)"}},
};

TEST_F(RunTest, EachTargetGetsTheOutcomeItHad) {
  for (const OutcomeCase& c : kOutcomeCases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    sim::MakeDirectory(L"C:\\Logs");
    sim::MakeDirectory(c.module.substr(0, c.module.rfind(L'\\')));
    c.stage();
    EXPECT_EQ(RunTool(L"-l " + c.log + L" " + c.arguments, c.module), c.exitCode);
    const std::string log = sim::FileContent(c.log);
    EXPECT_EQ(Plain(log), log.substr(0, log.find("\r\n") + 2)) << "the log holds its header and targets only";
    EXPECT_EQ(log.find("\nsummary: "), log.rfind("\nsummary: ")) << "one block, one summary";
    for (const std::string& line : c.lines) {
      EXPECT_NE(log.find("\r\n" + line + "\r\n"), std::string::npos) << line;
      const bool logOnly =
          line.rfind("absent", 0) == 0 || line.rfind("skipped", 0) == 0 || line.rfind("note:", 0) == 0;
      EXPECT_EQ(Output().find(line + "\n") == std::string::npos, logOnly) << line;
    }
    EXPECT_TRUE(c.stays.empty() || sim::Exists(c.stays)) << sim::Narrow(c.stays);
  }
}

using DllSearchTest = SimTest;

TEST_F(DllSearchTest, RestrictedToTheSystemDirectoryBeforeAnythingElse) {
  sim::SetCommandLine(L"tvuninst.exe -h");
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
  const std::vector<sim::Call>& calls = sim::Calls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0].name + "(" + calls[0].args + ")", "GetModuleHandleW(kernel32.dll)");
  EXPECT_EQ(calls[1].name + "(" + calls[1].args + ")", "GetProcAddress(SetDefaultDllDirectories)");
  EXPECT_EQ(calls[2].name + "(" + calls[2].args + ")", "SetDefaultDllDirectories(0x800)");
  EXPECT_EQ(calls[3].name, "AttachConsole");
}

TEST_F(DllSearchTest, SystemWithoutTheCallCarriesOn) {
  sim::RemoveExport("SetDefaultDllDirectories");
  sim::SetCommandLine(L"tvuninst.exe -s");
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
  EXPECT_TRUE(sim::CallsNamed("SetDefaultDllDirectories").empty());
  EXPECT_EQ(sim::DebugStrings().back(), "Uninstallation completed.");
}

}  // namespace
