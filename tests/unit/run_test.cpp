#include "app/uninstall.h"
#include "fault_sweep.h"
#include "folder/product_folder.h"
#include "sim_test.h"

namespace {

const char kCaption[] = "kVelnora Telvarine Uninstaller v1.7";
const char kQuestion[] =
    "Registry keys and system modules of Telvarine will be removed.\r\n\r\nWould you like to continue?";

class RunTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
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
        name == "OutputDebugStringA" || name == "OpenServiceA" || name == "RegDeleteKeyA" ||
        name == "GetSystemDirectoryA" || name == "GetModuleFileNameW") {
      if (steps.empty() || steps.back() != name) steps.push_back(name);
    }
  }
  const std::vector<std::string> expected = {
      "SetDefaultDllDirectories", "AttachConsole",      "CommandLineToArgvW",
      "OutputDebugStringA",       "OpenServiceA",       "RegDeleteKeyA",
      "GetSystemDirectoryA",      "GetModuleFileNameW", "OutputDebugStringA"};
  EXPECT_EQ(steps, expected);
}

TEST_F(RunTest, FailuresOfEveryStepStillReportCompletion) {
  sim::FailCall("OpenSCManagerA", ERROR_ACCESS_DENIED, sim::kAlways);
  sim::FailCall("RegDeleteKeyA", ERROR_ACCESS_DENIED, sim::kAlways);
  sim::FailCall("SHDeleteKeyA", ERROR_ACCESS_DENIED, sim::kAlways);
  sim::FailCall("DeleteFileA", ERROR_ACCESS_DENIED, sim::kAlways);
  EXPECT_EQ(Run(L"-s"), 0);
  EXPECT_EQ(sim::DebugStrings().back(), "Uninstallation completed.");
  ExpectNothingRemoved();
}

TEST_F(RunTest, UndeterminedExecutableDirectoryExitsTwoWithoutCompletion) {
  sim::FailCall("GetModuleFileNameW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(L"-s"), 2);
  EXPECT_EQ(Output(), "Error: GetModuleFileNameW call failed, error code: 5\n");
  EXPECT_EQ(sim::DebugStrings().size(), 1u);
  EXPECT_FALSE(sim::ServiceExists("kvdrNT2")) << "earlier steps have run";
}

TEST_F(RunTest, SecondRunReportsTheSame) {
  EXPECT_EQ(Run(L"-s"), 0);
  EXPECT_EQ(Run(L"-s"), 0);
  EXPECT_EQ(sim::DebugStrings().size(), 4u);
  EXPECT_EQ(Output(), "");
}

using RunFaultSweepTest = SimTest;

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
          EXPECT_EQ(exitCode, 0);
        }
      });
  std::printf("whole run: %d fault trials\n", trials);
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
