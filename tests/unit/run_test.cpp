#include "app/uninstall.h"
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
  static bool NothingRemoved() {
    return sim::ServiceExists("kvdrNT2") && sim::ServiceRunning("kvdrNT2") &&
           !sim::ServiceMarkedForDeletion("kvtlsvc") && sim::ServiceExists("brenserv") &&
           sim::KeyExists(HKEY_CURRENT_USER, "Software\\MIRELNetwork") &&
           sim::Exists(L"C:\\windows\\system32\\kvdrNT2.sys");
  }
};

TEST_F(RunTest, YesRemovesAndReportsCompletion) {
  sim::ScriptMessageBoxes({IDYES, IDOK});
  EXPECT_EQ(Run(L""), kExitDone);
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
    EXPECT_EQ(Run(L""), kExitDone);
    EXPECT_EQ(sim::Boxes().size(), answer == IDNO ? 1u : 2u);
    EXPECT_TRUE(NothingRemoved());
    EXPECT_EQ(sim::CallNames().back(), "MessageBoxA") << "nothing is called after the answer";
    EXPECT_EQ(Output(), "");
  }
}

TEST_F(RunTest, BoxThatCannotBeShownExitsOneAndRemovesNothing) {
  // Windows returns 0; Wine without a display returns -1.
  for (int failure : {0, -1}) {
    sim::ScriptMessageBoxes({failure});
    EXPECT_EQ(Run(L""), kExitDialogFailed);
    EXPECT_TRUE(NothingRemoved());
  }
}

TEST_F(RunTest, SilentRunLeavesTwoDebuggerStringsAndNoBox) {
  EXPECT_EQ(Run(L"-s"), kExitDone);
  EXPECT_TRUE(sim::Boxes().empty());
  const std::vector<std::string> expected = {"kVelnora Telvarine Uninstaller v1.7 silent mode",
                                             "Uninstallation completed."};
  EXPECT_EQ(sim::DebugStrings(), expected);
  EXPECT_FALSE(sim::ServiceExists("kvdrNT2"));
}

TEST_F(RunTest, HelpAndRejectedLinesRemoveNothingAndShowNoBox) {
  EXPECT_EQ(Run(L"-h -s"), kExitDone);
  EXPECT_EQ(Run(L"-s --bogus"), kExitRejectedCommandLine);
  EXPECT_EQ(Run(L"-a"), kExitRejectedCommandLine);
  EXPECT_TRUE(sim::Boxes().empty());
  EXPECT_TRUE(sim::DebugStrings().empty());
  EXPECT_TRUE(NothingRemoved());
}

TEST_F(RunTest, StepsRunInOrderAfterConsent) {
  EXPECT_EQ(Run(L"-s"), kExitDone);
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
  EXPECT_EQ(Run(L"-s"), kExitDone);
  EXPECT_EQ(sim::DebugStrings().back(), "Uninstallation completed.");
  EXPECT_TRUE(NothingRemoved());
}

TEST_F(RunTest, UndeterminedExecutableDirectoryExitsTwoWithoutCompletion) {
  sim::FailCall("GetModuleFileNameW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(L"-s"), kExitNoExecutableDirectory);
  EXPECT_EQ(Output(), "Error: GetModuleFileNameW call failed, error code: 5\n");
  EXPECT_EQ(sim::DebugStrings().size(), 1u);
  EXPECT_FALSE(sim::ServiceExists("kvdrNT2")) << "earlier steps have run";
}

TEST_F(RunTest, SecondRunReportsTheSame) {
  EXPECT_EQ(Run(L"-s"), kExitDone);
  EXPECT_EQ(Run(L"-s"), kExitDone);
  EXPECT_EQ(sim::DebugStrings().size(), 4u);
  EXPECT_EQ(Output(), "");
}

}  // namespace
