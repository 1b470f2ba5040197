// A folder of 100,000 entries goes in one pass, without a hang.
#include "folder/product_folder.h"
#include "sim_test.h"

namespace {

using WideTreeTest = SimTest;

TEST_F(WideTreeTest, HundredThousandEntries) {
  const std::wstring folder = L"C:\\Game\\Telvarine";
  for (int i = 0; i < 99000; ++i) sim::MakeFile(folder + L"\\f" + std::to_wstring(i) + L".dat");
  for (int i = 0; i < 1000; ++i) sim::MakeFile(folder + L"\\d" + std::to_wstring(i) + L"\\x.dat");
  sim::MakeFile(L"C:\\Game\\game.exe");
  sim::SetModuleFileName(L"C:\\Bin\\tvuninst.exe");
  UninstallOptions options;
  options.installDir = L"C:\\Game";
  EXPECT_TRUE(RemoveProductFolder(options));
  EXPECT_FALSE(sim::Exists(folder));
  EXPECT_TRUE(sim::Exists(L"C:\\Game\\game.exe"));
  EXPECT_EQ(sim::CallsNamed("DeleteFileW").size(), 100000u);
}

}  // namespace
