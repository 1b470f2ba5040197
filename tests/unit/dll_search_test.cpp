#include "app/uninstall.h"
#include "sim_test.h"

namespace {

using DllSearchTest = SimTest;

TEST_F(DllSearchTest, RestrictedToTheSystemDirectoryBeforeAnythingElse) {
  sim::SetCommandLine(L"tvuninst.exe -h");
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), kExitDone);
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
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), kExitDone);
  EXPECT_TRUE(sim::CallsNamed("SetDefaultDllDirectories").empty());
  EXPECT_EQ(sim::DebugStrings().back(), "Uninstallation completed.");
}

}  // namespace
