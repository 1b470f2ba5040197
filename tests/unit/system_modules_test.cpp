#include "cleanup/cleanup.h"
#include "fault_sweep.h"
#include "sim_test.h"

namespace {

const std::wstring kSystem = L"C:\\windows\\system32";

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
  DeleteSystemModules();
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
  DeleteSystemModules();
  EXPECT_FALSE(sim::Exists(kSystem + L"\\kvdrNT2.sys"));
  EXPECT_FALSE(sim::Exists(kSystem + L"\\kvdr9x.vxd"));
  EXPECT_FALSE(sim::Exists(kSystem + L"\\Corvane.des"));
}

TEST_F(SystemModulesTest, OnlyCorvanePresent) {
  sim::MakeFile(kSystem + L"\\Corvane.des");
  DeleteSystemModules();
  EXPECT_FALSE(sim::Exists(kSystem + L"\\Corvane.des"));
}

TEST_F(SystemModulesTest, ReadOnlyAndHeldFilesStayAndTheOthersAreTried) {
  sim::MakeFile(kSystem + L"\\kvdrNT2.sys", FILE_ATTRIBUTE_READONLY);
  sim::MakeFile(kSystem + L"\\kvdr9x.vxd");
  sim::HoldOpen(kSystem + L"\\kvdr9x.vxd");
  sim::MakeFile(kSystem + L"\\Corvane.des");
  DeleteSystemModules();
  EXPECT_TRUE(sim::Exists(kSystem + L"\\kvdrNT2.sys"));
  EXPECT_EQ(sim::Attributes(kSystem + L"\\kvdrNT2.sys"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(sim::Exists(kSystem + L"\\kvdr9x.vxd"));
  EXPECT_FALSE(sim::Exists(kSystem + L"\\Corvane.des"));
}

TEST_F(SystemModulesTest, UnobtainableDirectoryDeletesNothing) {
  sim::MakeFile(kSystem + L"\\Corvane.des");
  sim::FailCall("GetSystemDirectoryA", ERROR_ACCESS_DENIED, sim::kAlways);
  DeleteSystemModules();
  EXPECT_TRUE(sim::CallsNamed("DeleteFileA").empty());
  EXPECT_TRUE(sim::Exists(kSystem + L"\\Corvane.des"));
}

TEST_F(SystemModulesTest, DirectoryTooLongForTheBufferIsSkippedPerFile) {
  // 248 characters leave room for "\kvdr9x.vxd" (11) but not for the others (12).
  const std::string longDirectory = "C:\\" + std::string(245, 'd');
  ASSERT_EQ(longDirectory.size(), 248u);
  sim::SetSystemDirectory(longDirectory);
  DeleteSystemModules();
  EXPECT_EQ(sim::CallsNamed("DeleteFileA"),
            std::vector<std::string>{"DeleteFileA(" + longDirectory + "\\kvdr9x.vxd)"});

  sim::ClearCalls();
  sim::SetSystemDirectory("C:\\" + std::string(300, 'd'));
  DeleteSystemModules();
  EXPECT_TRUE(sim::CallsNamed("DeleteFileA").empty());
}

TEST_F(SystemModulesTest, LongestDirectoryThatFitsEveryName) {
  const std::string directory = "C:\\" + std::string(244, 'd');
  ASSERT_EQ(directory.size(), 247u);
  sim::SetSystemDirectory(directory);
  DeleteSystemModules();
  EXPECT_EQ(sim::CallsNamed("DeleteFileA").size(), 3u);
}

using SystemModulesFaultSweepTest = SimTest;

TEST_F(SystemModulesFaultSweepTest, EveryFaultPoint) {
  const int trials =
      Sweep(StageModules, DeleteSystemModules,
            {"C:\\windows\\system32\\kvdrNT2.sys", "C:\\windows\\system32\\kvdr9x.vxd",
             "C:\\windows\\system32\\Corvane.des"},
            [&](const Trial& trial) {
              // The file whose query or deletion failed stays; the others go.
              int left = 0;
              for (const wchar_t* name : {L"\\kvdrNT2.sys", L"\\kvdr9x.vxd", L"\\Corvane.des"}) {
                left += sim::Exists(std::wstring(L"C:\\windows\\system32") + name);
              }
              EXPECT_EQ(left, trial.failedCall.empty() ? 0 : 1);
            });
  std::printf("system modules: %d fault trials\n", trials);
}

}  // namespace
