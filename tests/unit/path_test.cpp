#include "folder/wide_path.h"
#include "sim_test.h"

namespace {

class PathTest : public SimTest {
 protected:
  WidePath failure;  // the line the folder step prints when the directory is unknown
};

TEST_F(PathTest, ExecutableDirectoryDropsTheLastSeparator) {
  struct Case {
    const wchar_t* module;
    const wchar_t* directory;
  };
  const Case cases[] = {
      {L"C:\\Games\\Title\\tools\\tvuninst.exe", L"C:\\Games\\Title\\tools"},
      {L"C:\\tvuninst.exe", L"C:"},
      {L"C:/Games/Title/tvuninst.exe", L"C:/Games/Title"},
      {L"C:\\Games/mixed\\tvuninst.exe", L"C:\\Games/mixed"},
      {L"\\\\server\\share\\tvuninst.exe", L"\\\\server\\share"},
  };
  for (const Case& c : cases) {
    sim::SetModuleFileName(c.module);
    WidePath directory = L"unchanged";
    EXPECT_TRUE(FindExecutableDirectory(directory, &failure)) << sim::Narrow(c.module);
    EXPECT_EQ(directory, c.directory);
  }
  EXPECT_EQ(Output(), "");
}

TEST_F(PathTest, ModuleNameWithoutSeparator) {
  sim::SetModuleFileName(L"tvuninst.exe");
  WidePath directory = L"unchanged";
  EXPECT_FALSE(FindExecutableDirectory(directory, &failure));
  EXPECT_EQ(directory, L"unchanged");
  EXPECT_EQ(sim::Narrow(failure), "Error: Failed to extract executable directory, path: tvuninst.exe");
}

// Found by fuzzing: a name with a zero inside was kept whole, while the calls
// it was handed read only up to the zero, and the search went round forever.
TEST_F(PathTest, ModuleNameEndsAtItsFirstZero) {
  sim::SetModuleFileName(std::wstring(L"C:\0\\tools\\tvuninst.exe", 22));
  WidePath directory = L"unchanged";
  EXPECT_FALSE(FindExecutableDirectory(directory, &failure));
  EXPECT_EQ(sim::Narrow(failure), "Error: Failed to extract executable directory, path: C:");
}

TEST_F(PathTest, ModuleNameCallFails) {
  sim::FailCall("GetModuleFileNameW", ERROR_ACCESS_DENIED);
  WidePath directory = L"unchanged";
  EXPECT_FALSE(FindExecutableDirectory(directory, &failure));
  EXPECT_EQ(directory, L"unchanged");
  EXPECT_EQ(sim::Narrow(failure), "Error: GetModuleFileNameW call failed, error code: 5");
}

// A cut name is never used, terminated (Windows) or not (Wine).
TEST_F(PathTest, ModuleNameOfBufferSizeOrMoreIsAFailure) {
  for (size_t length : {260u, 261u, 400u}) {
    for (bool terminated : {false, true}) {
      Restart();
      sim::SetModuleNameTerminatedWhenCut(terminated);
      std::wstring module = L"C:\\" + std::wstring(length - 16, L'x') + L"\\tvuninst.exe";
      ASSERT_EQ(module.size(), length);
      sim::SetModuleFileName(module);
      WidePath directory;
      EXPECT_FALSE(FindExecutableDirectory(directory, &failure)) << length;
      EXPECT_EQ(sim::Narrow(failure), "Error: GetModuleFileNameW call failed, error code: 122");
    }
  }
  Restart();
  sim::SetModuleFileName(L"C:\\" + std::wstring(243, L'x') + L"\\tvuninst.exe");  // 259 characters
  WidePath directory;
  EXPECT_TRUE(FindExecutableDirectory(directory, &failure));
  EXPECT_EQ(directory.size(), 246u);
}

// The host's towlower gives the Windows runtime's answers for these letters:
// tests/data/platform_codes.txt holds them, asked of both.
TEST_F(PathTest, SameTextIgnoresTheCaseOfAsciiLettersOnly) {
  EXPECT_TRUE(SameText(L"C:\\SPIELE\\\u00DCBUNG\\Tools", L"c:\\spiele\\\u00DCbung\\tools"));
  EXPECT_FALSE(SameText(L"\u00DC", L"\u00FC"));
  EXPECT_FALSE(SameText(L"\u0416", L"\u0436"));
  EXPECT_FALSE(SameText(L"tool", L"tools"));
}

TEST_F(PathTest, EndsWith) {
  const WidePath tools = L"\\tools";
  EXPECT_TRUE(EndsWith(L"c:\\games\\tools", tools));
  EXPECT_TRUE(EndsWith(L"\\tools", tools));
  EXPECT_TRUE(EndsWith(L"C:\\Games\\TOOLS", tools));
  EXPECT_FALSE(EndsWith(L"c:\\gametools", tools));
  EXPECT_FALSE(EndsWith(L"tools", tools));
  EXPECT_FALSE(EndsWith(L"c:\\games\\tools\\", tools));
  EXPECT_FALSE(EndsWith(L"anything", L""));
  EXPECT_FALSE(EndsWith(L"", L""));
}

}  // namespace
