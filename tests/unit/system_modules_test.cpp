#include <functional>

#include "app/uninstall.h"
#include "cleanup/cleanup.h"
#include "fault_sweep.h"
#include "sim_test.h"

namespace {

const std::wstring kSystem = L"C:\\windows\\system32";

void RemoveModules() {
  RunRecord record;
  RemoveSystemModules(record, false);
}

class SystemModulesTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::MakeFile(kSystem + L"\\kvdrNT2.sys.bak");
    sim::MakeFile(kSystem + L"\\kernel32.dll");
  }
  // Neighbours of the modules are never touched.
  void TearDown() override {
    EXPECT_TRUE(sim::Exists(kSystem + L"\\kvdrNT2.sys.bak"));
    EXPECT_TRUE(sim::Exists(kSystem + L"\\kernel32.dll"));
    SimTest::TearDown();
  }
};

TEST_F(SystemModulesTest, EachPathIsTheDirectoryAndOneBackslash) {
  RemoveModules();
  const std::vector<std::string> expected = {"DeleteFileA(C:\\windows\\system32\\kvdrNT2.sys)",
                                             "DeleteFileA(C:\\windows\\system32\\kvdr9x.vxd)",
                                             "DeleteFileA(C:\\windows\\system32\\Corvane.des)"};
  EXPECT_EQ(sim::CallsNamed("DeleteFileA"), expected);
  EXPECT_EQ(sim::CallsNamed("GetSystemDirectoryA").size(), 3u) << "asked afresh for every file";
  EXPECT_EQ(Output(), "");
}

TEST_F(SystemModulesTest, AllThreePresentAreDeleted) {
  for (const wchar_t* name : {L"\\kvdrNT2.sys", L"\\KVDR9X.VXD", L"\\Corvane.des"})
    sim::MakeFile(kSystem + name);
  RemoveModules();
  EXPECT_FALSE(sim::Exists(kSystem + L"\\kvdrNT2.sys"));
  EXPECT_FALSE(sim::Exists(kSystem + L"\\kvdr9x.vxd"));
  EXPECT_FALSE(sim::Exists(kSystem + L"\\Corvane.des"));
}

TEST_F(SystemModulesTest, OnlyCorvanePresent) {
  sim::MakeFile(kSystem + L"\\Corvane.des");
  RemoveModules();
  EXPECT_FALSE(sim::Exists(kSystem + L"\\Corvane.des"));
}

TEST_F(SystemModulesTest, ReadOnlyAndHeldFilesStayAndTheOthersAreTried) {
  sim::MakeFile(kSystem + L"\\kvdrNT2.sys", FILE_ATTRIBUTE_READONLY);
  sim::MakeFile(kSystem + L"\\kvdr9x.vxd");
  sim::HoldOpen(kSystem + L"\\kvdr9x.vxd");
  sim::MakeFile(kSystem + L"\\Corvane.des");
  RemoveModules();
  EXPECT_TRUE(sim::Exists(kSystem + L"\\kvdrNT2.sys"));
  EXPECT_EQ(sim::Attributes(kSystem + L"\\kvdrNT2.sys"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(sim::Exists(kSystem + L"\\kvdr9x.vxd"));
  EXPECT_FALSE(sim::Exists(kSystem + L"\\Corvane.des"));
}

TEST_F(SystemModulesTest, UnobtainableDirectoryDeletesNothing) {
  sim::MakeFile(kSystem + L"\\Corvane.des");
  sim::FailCall("GetSystemDirectoryA", ERROR_ACCESS_DENIED, sim::kAlways);
  RemoveModules();
  EXPECT_TRUE(sim::CallsNamed("DeleteFileA").empty());
  EXPECT_TRUE(sim::Exists(kSystem + L"\\Corvane.des"));
}

TEST_F(SystemModulesTest, DirectoryTooLongForTheBufferIsSkippedPerFile) {
  // 248 characters leave room for "\kvdr9x.vxd" (11) but not for the others (12).
  const std::string longDirectory = "C:\\" + std::string(245, 'd');
  ASSERT_EQ(longDirectory.size(), 248u);
  sim::SetSystemDirectory(longDirectory);
  RemoveModules();
  EXPECT_EQ(sim::CallsNamed("DeleteFileA"),
            std::vector<std::string>{"DeleteFileA(" + longDirectory + "\\kvdr9x.vxd)"});

  sim::ClearCalls();
  sim::SetSystemDirectory("C:\\" + std::string(300, 'd'));
  RemoveModules();
  EXPECT_TRUE(sim::CallsNamed("DeleteFileA").empty());
}

TEST_F(SystemModulesTest, LongestDirectoryThatFitsEveryName) {
  const std::string directory = "C:\\" + std::string(244, 'd');
  ASSERT_EQ(directory.size(), 247u);
  sim::SetSystemDirectory(directory);
  RemoveModules();
  EXPECT_EQ(sim::CallsNamed("DeleteFileA").size(), 3u);
}

using SystemModulesFaultSweepTest = SimTest;

TEST_F(SystemModulesFaultSweepTest, EveryFaultPoint) {
  const int trials = Sweep(
      StageModules, RemoveModules,
      {"C:\\windows\\system32\\kvdrNT2.sys", "C:\\windows\\system32\\kvdr9x.vxd",
       "C:\\windows\\system32\\Corvane.des"},
      [&](const Trial& trial) {
        // The file whose directory or deletion failed stays, and is the one
        // failure told; a failed look beforehand costs nothing.
        const bool stays = trial.failedCall == "GetSystemDirectoryA" || trial.failedCall == "DeleteFileA";
        int left = 0;
        for (const wchar_t* name : {L"\\kvdrNT2.sys", L"\\kvdr9x.vxd", L"\\Corvane.des"}) {
          left += sim::Exists(std::wstring(L"C:\\windows\\system32") + name);
        }
        EXPECT_EQ(left, stays ? 1 : 0);
        EXPECT_EQ(Output().find("failed  module") != std::string::npos, stays);
      });
  std::printf("system modules: %d fault trials\n", trials);
}

}  // namespace

// --reboot-ok: a module in use is renamed aside and queued for deletion at the
// next restart under the path the system will use, the 32-bit system
// directory's real one; anything else stays as the run left it.
struct RestartCase {
  const char* name;
  std::function<void()> stage;
  int exitCode;
  std::vector<std::wstring> queued;
  bool originalNameStays;
};

class RestartTest : public SimTest, public ::testing::WithParamInterface<RestartCase> {
 protected:
  void Stage() override {
    sim::MakeDirectory(L"C:\\windows\\syswow64");
    sim::RedirectSystemDirectory(L"C:\\windows\\syswow64");
    sim::MakeFile(L"C:\\windows\\system32\\kvdrNT2.sys");  // the 64-bit one, never touched
    sim::MakeFile(L"C:\\windows\\syswow64\\kvdrNT2.sys");
  }
};

TEST_P(RestartTest, InUseModuleIsQueuedUnderItsRealPath) {
  GetParam().stage();
  sim::SetCommandLine(L"tvuninst.exe -s --reboot-ok");
  EXPECT_EQ(RunUninstall(), GetParam().exitCode);
  EXPECT_EQ(sim::RestartQueue(), GetParam().queued);
  EXPECT_TRUE(sim::Exists(L"C:\\windows\\system32\\kvdrNT2.sys"));
  EXPECT_EQ(sim::Exists(L"C:\\windows\\syswow64\\kvdrNT2.sys"), GetParam().originalNameStays);
  const bool pending =
      Output().find("pending module C:\\windows\\syswow64\\kvdrNT2.sys (deleted at restart as ") !=
      std::string::npos;
  EXPECT_EQ(pending, !GetParam().queued.empty());
}

const std::wstring kAside = L"C:\\windows\\syswow64\\kvdrNT2.sys.4242-0.deleted";

INSTANTIATE_TEST_SUITE_P(
    Cases, RestartTest,
    ::testing::Values(
        // A loaded driver: deletion refused, renaming allowed.
        RestartCase{
            "Loaded", [] { sim::FailCall("DeleteFileA", ERROR_ACCESS_DENIED); }, 3010, {kAside}, false},
        // Held without delete sharing: the rename is refused too, so the name stays.
        RestartCase{"Held",
                    [] { sim::HoldOpen(L"C:\\windows\\syswow64\\kvdrNT2.sys"); },
                    3010,
                    {L"C:\\windows\\syswow64\\kvdrNT2.sys"},
                    true},
        RestartCase{"AsideNameTaken",
                    [] {
                      sim::MakeFile(kAside);
                      sim::FailCall("DeleteFileA", ERROR_ACCESS_DENIED);
                    },
                    3010,
                    {L"C:\\windows\\syswow64\\kvdrNT2.sys.4242-1.deleted"},
                    false},
        // Read-only is no sign of use: never queued.
        RestartCase{
            "ReadOnly",
            [] { sim::SetAttributes(L"C:\\windows\\syswow64\\kvdrNT2.sys", FILE_ATTRIBUTE_READONLY); },
            1603,
            {},
            true},
        // Read-only decides before the refusal's reason does.
        RestartCase{"ReadOnlyAndHeld",
                    [] {
                      sim::SetAttributes(L"C:\\windows\\syswow64\\kvdrNT2.sys", FILE_ATTRIBUTE_READONLY);
                      sim::HoldOpen(L"C:\\windows\\syswow64\\kvdrNT2.sys");
                    },
                    1603,
                    {},
                    true},
        // Without the rights to queue, the module gets its name back.
        RestartCase{"QueueRefused",
                    [] {
                      sim::SetAdmin(false);
                      sim::FailCall("DeleteFileA", ERROR_ACCESS_DENIED);
                    },
                    1603,
                    {},
                    true},
        // A failure elsewhere outweighs the restart.
        RestartCase{"QueuedAndAFailure",
                    [] {
                      sim::HoldOpen(L"C:\\windows\\syswow64\\kvdrNT2.sys");
                      sim::MakeFile(L"C:\\windows\\syswow64\\Corvane.des", FILE_ATTRIBUTE_READONLY);
                    },
                    1603,
                    {L"C:\\windows\\syswow64\\kvdrNT2.sys"},
                    true},
        RestartCase{"RunningServiceAlone", [] { sim::InstallService("kvtlsvc", {true}); }, 3010, {}, false}),
    [](const ::testing::TestParamInfo<RestartCase>& info) { return std::string(info.param.name); });

TEST_F(RestartTest, WithoutTheOptionNothingIsQueued) {
  sim::HoldOpen(L"C:\\windows\\syswow64\\kvdrNT2.sys");
  sim::InstallService("kvtlsvc", {true});
  sim::SetCommandLine(L"tvuninst.exe -s");
  EXPECT_EQ(RunUninstall(), 1603);
  EXPECT_TRUE(sim::RestartQueue().empty());
}
