// Command lines and paths at the edges: the longest line Windows passes,
// quotes inside arguments, letters beyond ASCII.
#include "app/uninstall.h"
#include "folder/product_folder.h"
#include "sim_test.h"

namespace {

class EdgeInputTest : public SimTest {
 protected:
  int Run(const std::wstring& arguments) {
    sim::SetCommandLine(L"\"C:\\Bin\\tvuninst.exe\" " + arguments);
    sim::SetModuleFileName(L"C:\\Bin\\tvuninst.exe");
    return RunUninstall();
  }
};

TEST_F(EdgeInputTest, LongestCommandLine) {
  sim::MakeDirectory(L"C:\\Game\\Telvarine");
  // 32,767 characters is the most a command line can hold.
  const std::wstring value(32767 - 40, L'x');
  EXPECT_EQ(Run(L"-s -a " + value), kExitDone);
  EXPECT_TRUE(sim::Exists(L"C:\\Game\\Telvarine"));
  EXPECT_EQ(Output(), "");
  EXPECT_EQ(Run(std::wstring(32767 - 30, L'y')), kExitRejectedCommandLine);
}

TEST_F(EdgeInputTest, QuotesInsideArguments) {
  sim::MakeDirectory(L"C:\\Odd\"Name\\Telvarine");
  EXPECT_EQ(Run(L"-s -a \"C:\\Odd\\\"Name\""), kExitDone);
  EXPECT_FALSE(sim::Exists(L"C:\\Odd\"Name\\Telvarine"));
  EXPECT_EQ(Run(L"-s \"-a\" \"\" \"\"\"\""), kExitRejectedCommandLine)
      << "an argument of one quote is unknown";
}

TEST_F(EdgeInputTest, NonAsciiPaths) {
  sim::MakeFile(L"C:\\Spiele\\\u00DCbung\\Telvarine\\x.dat");
  sim::MakeFile(L"C:\\\u0418\u0433\u0440\u044B\\\u0422\u0435\u0441\u0442\\data\\TELVARINE\\y.dat");
  EXPECT_EQ(Run(L"-s -a C:\\Spiele\\\u00DCbung"), kExitDone);
  EXPECT_FALSE(sim::Exists(L"C:\\Spiele\\\u00DCbung\\Telvarine"));

  sim::MakeDirectory(L"C:\\\u0418\u0433\u0440\u044B\\\u0422\u0435\u0441\u0442\\tools");
  sim::SetModuleFileName(L"C:\\\u0418\u0433\u0440\u044B\\\u0422\u0435\u0441\u0442\\tools\\tvuninst.exe");
  UninstallOptions options;
  EXPECT_TRUE(RemoveProductFolder(options));
  EXPECT_FALSE(sim::Exists(L"C:\\\u0418\u0433\u0440\u044B\\\u0422\u0435\u0441\u0442\\data\\TELVARINE"));
}

TEST_F(EdgeInputTest, EmptyArgumentsEverywhere) {
  EXPECT_EQ(Run(L"\"\""), kExitRejectedCommandLine);
  EXPECT_EQ(Run(L"-s -a \"\""), kExitDone);
  EXPECT_EQ(Run(L"-s -a \"\" \"\""), kExitRejectedCommandLine);
}

}  // namespace
