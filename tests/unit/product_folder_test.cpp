#include "folder/product_folder.h"

#include "sim_test.h"

namespace {

const std::string kFound = "Found 'Telvarine', stopping recursion.\n";
const std::string kNotFound = "Telvarine folder not found.\n";

class ProductFolderTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::MakeFile(L"C:\\Elsewhere\\Telvarine\\canary.txt");
  }
  void TearDown() override {
    EXPECT_TRUE(sim::Exists(L"C:\\Elsewhere\\Telvarine\\canary.txt"));
    SimTest::TearDown();
  }
  bool Remove(const std::wstring& module, const std::wstring& installDir = L"") {
    sim::SetModuleFileName(module);
    options.installDir = installDir;
    return RemoveProductFolder(options);
  }
  // The folder that the deletion opened first (after the directory given, which is held).
  static std::string FirstOpened() {
    const std::vector<std::string> opens = sim::CallsNamed("CreateFileW");
    return opens.size() < 2 ? "" : opens[1].substr(12, opens[1].find(", 0x") - 12);
  }
  UninstallOptions options;
};

TEST_F(ProductFolderTest, ToolsLayoutFindsTheFolderAnywhereBelowTheGame) {
  sim::MakeFile(L"C:\\Games\\Title\\Tools\\tvuninst.exe");
  sim::MakeFile(L"C:\\Games\\Title\\data\\TELVARINE\\Sub\\module.dll", FILE_ATTRIBUTE_READONLY);
  sim::MakeFile(L"C:\\Games\\Title\\data\\telvarine_old\\keep.txt");
  sim::MakeFile(L"C:\\Games\\Title\\Telvarine.txt");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\Tools\\tvuninst.exe", L"D:\\Other"));
  EXPECT_EQ(Output(), kFound);
  EXPECT_FALSE(sim::Exists(L"C:\\Games\\Title\\data\\TELVARINE"));
  EXPECT_TRUE(sim::Exists(L"C:\\Games\\Title\\data\\telvarine_old\\keep.txt"));
  EXPECT_TRUE(sim::Exists(L"C:\\Games\\Title\\Telvarine.txt"));
  EXPECT_TRUE(sim::Exists(L"C:\\Games\\Title\\Tools\\tvuninst.exe"));
  EXPECT_EQ(options.installDir, L"C:\\Games\\Title") << "-a is overwritten and keeps the case given";
  EXPECT_EQ(sim::CallsNamed("FindFirstFileW")[0], "FindFirstFileW(C:\\Games\\Title\\*)");
}

TEST_F(ProductFolderTest, ToolsInAnyCaseButNotMytools) {
  for (const wchar_t* tools : {L"tools", L"TOOLS", L"ToOlS"}) {
    sim::Reset();
    sim::MakeDirectory(L"C:\\Game\\Telvarine");
    EXPECT_TRUE(Remove(std::wstring(L"C:\\Game\\") + tools + L"\\tvuninst.exe"));
    EXPECT_FALSE(sim::Exists(L"C:\\Game\\Telvarine")) << sim::Narrow(tools);
  }
  sim::Reset();
  sim::MakeFile(L"C:\\Elsewhere\\Telvarine\\canary.txt");
  sim::MakeDirectory(L"C:\\Game\\mytools\\Telvarine");
  EXPECT_TRUE(Remove(L"C:\\Game\\mytools\\tvuninst.exe"));
  EXPECT_TRUE(sim::Exists(L"C:\\Game\\mytools\\Telvarine"));
  EXPECT_EQ(Output(), "");
}

TEST_F(ProductFolderTest, OnlyTheFirstMatchInListingOrderGoes) {
  sim::MakeDirectory(L"C:\\Game\\A\\Telvarine");
  sim::MakeDirectory(L"C:\\Game\\B\\telvarine");
  EXPECT_TRUE(Remove(L"C:\\Game\\tools\\tvuninst.exe"));
  EXPECT_FALSE(sim::Exists(L"C:\\Game\\A\\Telvarine"));
  EXPECT_TRUE(sim::Exists(L"C:\\Game\\B\\telvarine"));

  sim::MakeDirectory(L"C:\\Game\\A\\Telvarine");
  sim::SetListingOrder(sim::ListingOrder::Reversed);
  EXPECT_TRUE(Remove(L"C:\\Game\\tools\\tvuninst.exe"));
  EXPECT_TRUE(sim::Exists(L"C:\\Game\\A\\Telvarine"));
  EXPECT_FALSE(sim::Exists(L"C:\\Game\\B\\telvarine"));
}

TEST_F(ProductFolderTest, ToolsLayoutWithoutMatchSaysNotFound) {
  sim::MakeDirectory(L"C:\\Game\\Data\\telvarine2");
  EXPECT_TRUE(Remove(L"C:\\Game\\tools\\tvuninst.exe"));
  EXPECT_EQ(Output(), kNotFound);
}

TEST_F(ProductFolderTest, UnlistableParentPrintsBothLines) {
  sim::MakeDirectory(L"C:\\Game\\tools");
  sim::FailListingOpen(L"C:\\Game", ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Remove(L"C:\\Game\\tools\\tvuninst.exe"));
  EXPECT_EQ(Output(), "FindFirstFileW failed, error code: 5\n" + kNotFound);
}

TEST_F(ProductFolderTest, BrokenListingDuringTheSearch) {
  sim::MakeDirectory(L"C:\\Game\\Data\\Inner");
  sim::FailListingAfter(L"C:\\Game\\Data", 2, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Remove(L"C:\\Game\\tools\\tvuninst.exe"));
  EXPECT_EQ(Output(), "FindNextFileW failed, error code: 5\n" + kNotFound);
}

TEST_F(ProductFolderTest, ToolsInADriveRootSearchesTheDrive) {
  sim::AddDrive(L'E');
  sim::MakeDirectory(L"E:\\tools");
  sim::MakeDirectory(L"E:\\Deep\\Down\\Telvarine");
  EXPECT_TRUE(Remove(L"E:\\tools\\tvuninst.exe"));
  EXPECT_EQ(sim::CallsNamed("FindFirstFileW")[0], "FindFirstFileW(E:\\*)");
  EXPECT_FALSE(sim::Exists(L"E:\\Deep\\Down\\Telvarine"));
  EXPECT_EQ(Output(), kFound);
}

TEST_F(ProductFolderTest, OutsideToolsWithoutAllTouchesNothing) {
  sim::MakeDirectory(L"C:\\Game\\Telvarine");
  EXPECT_TRUE(Remove(L"C:\\Game\\tvuninst.exe"));
  EXPECT_TRUE(sim::Exists(L"C:\\Game\\Telvarine"));
  EXPECT_EQ(Output(), "");
  EXPECT_TRUE(sim::CallsNamed("FindFirstFileW").empty());
}

TEST_F(ProductFolderTest, DotMeansTheExecutableDirectoryInItsCase) {
  sim::MakeDirectory(L"C:\\Games\\Title\\Telvarine\\Sub");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", L"."));
  EXPECT_FALSE(sim::Exists(L"C:\\Games\\Title\\Telvarine"));
  EXPECT_EQ(FirstOpened(), "C:\\Games\\Title\\Telvarine");
  EXPECT_EQ(Output(), "");
}

TEST_F(ProductFolderTest, DotSlashMeansTheCurrentDirectory) {
  sim::MakeDirectory(L"C:\\Work\\Telvarine");
  sim::MakeDirectory(L"C:\\Games\\Title\\Telvarine");
  sim::SetCurrentDirectory(L"C:\\Work");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", L"./"));
  EXPECT_EQ(FirstOpened(), "./\\Telvarine");
  EXPECT_FALSE(sim::Exists(L"C:\\Work\\Telvarine"));
  EXPECT_TRUE(sim::Exists(L"C:\\Games\\Title\\Telvarine"));
}

TEST_F(ProductFolderTest, RelativeDirectoryIsResolvedAgainstTheCurrentOne) {
  sim::MakeDirectory(L"C:\\Work\\Game\\Telvarine");
  sim::SetCurrentDirectory(L"C:\\Work");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", L"Game"));
  EXPECT_FALSE(sim::Exists(L"C:\\Work\\Game\\Telvarine"));
}

TEST_F(ProductFolderTest, OneCharacterOrEmptyRemovesNothing) {
  sim::MakeDirectory(L"C:\\Telvarine");
  sim::SetCurrentDirectory(L"C:\\");
  for (const wchar_t* value : {L"", L"C", L"\\", L"/"}) {
    EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", value));
    EXPECT_TRUE(sim::Exists(L"C:\\Telvarine")) << sim::Narrow(value);
  }
  EXPECT_TRUE(sim::Calls().size() == 4u) << "only the module name was asked for";
}

TEST_F(ProductFolderTest, ExecutableInADriveRoot) {
  sim::MakeDirectory(L"C:\\Telvarine\\Sub");
  EXPECT_TRUE(Remove(L"C:\\tvuninst.exe", L"."));
  EXPECT_EQ(FirstOpened(), "C:\\Telvarine");
  EXPECT_FALSE(sim::Exists(L"C:\\Telvarine"));
}

TEST_F(ProductFolderTest, NameLongerThanAnyFileSystemAllows) {
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", L"C:\\" + std::wstring(300, L'n')));
  EXPECT_EQ(Output(), "");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(ProductFolderTest, TrailingBackslashDoublesTheSeparator) {
  sim::AddDrive(L'D');
  sim::MakeDirectory(L"D:\\Games\\Title\\Telvarine");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", L"D:\\Games\\Title\\"));
  EXPECT_EQ(FirstOpened(), "D:\\Games\\Title\\\\Telvarine");
  EXPECT_FALSE(sim::Exists(L"D:\\Games\\Title\\Telvarine"));
}

TEST_F(ProductFolderTest, GivenDirectoryIsNotSearched) {
  sim::AddDrive(L'D');
  sim::MakeDirectory(L"D:\\Games\\Title\\Sub\\Telvarine");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", L"D:\\Games\\Title"));
  EXPECT_TRUE(sim::Exists(L"D:\\Games\\Title\\Sub\\Telvarine"));
  EXPECT_EQ(Output(), "");
}

// Where names differ only in case, the path given is the one removed.
TEST_F(ProductFolderTest, CaseSensitiveDirectoriesGetThePathInItsOwnCase) {
  sim::MakeDirectory(L"C:\\Games\\Title");
  sim::MakeCaseSensitive(L"C:\\Games");
  sim::MakeDirectory(L"C:\\Games\\title\\Telvarine");  // another game, lower-case
  sim::MakeDirectory(L"C:\\Games\\Title\\Telvarine");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", L"."));
  EXPECT_FALSE(sim::Exists(L"C:\\Games\\Title\\Telvarine"));
  EXPECT_TRUE(sim::Exists(L"C:\\Games\\title\\Telvarine"));

  sim::MakeDirectory(L"C:\\Games\\Title\\Data\\TELVARINE");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\Tools\\tvuninst.exe"));
  EXPECT_FALSE(sim::Exists(L"C:\\Games\\Title\\Data\\TELVARINE"));
  EXPECT_TRUE(sim::Exists(L"C:\\Games\\title\\Telvarine"));
}

TEST_F(ProductFolderTest, ExecutableDirectoryFailures) {
  sim::MakeDirectory(L"C:\\Games\\Title\\Telvarine");
  sim::SetModuleFileName(L"tvuninst.exe");
  options.installDir = L"C:\\Games\\Title";
  EXPECT_FALSE(RemoveProductFolder(options));
  EXPECT_EQ(Output(), "Error: Failed to extract executable directory, path: tvuninst.exe\n");
  EXPECT_TRUE(sim::Exists(L"C:\\Games\\Title\\Telvarine"));
}

TEST_F(ProductFolderTest, LinksInTheToolsLayoutAreNeverEntered) {
  sim::MakeFile(L"C:\\Canary\\file.txt");
  sim::MakeDirectory(L"C:\\EmptyCanary");
  sim::MakeDirectoryLink(L"C:\\Game\\A\\ToElsewhere", L"C:\\Elsewhere", IO_REPARSE_TAG_MOUNT_POINT);
  sim::MakeDirectoryLink(L"C:\\Game\\Telvarine\\ToCanary", L"C:\\Canary", 0);
  sim::MakeDirectoryLink(L"C:\\Game\\Telvarine\\ToEmpty", L"C:\\EmptyCanary", 0);
  sim::MakeDirectoryLink(L"C:\\Game\\Telvarine\\Junction", L"C:\\Canary", IO_REPARSE_TAG_MOUNT_POINT);
  EXPECT_TRUE(Remove(L"C:\\Game\\tools\\tvuninst.exe"));
  EXPECT_EQ(Output(), kFound);
  EXPECT_TRUE(sim::Exists(L"C:\\Canary\\file.txt"));
  EXPECT_TRUE(sim::Exists(L"C:\\EmptyCanary"));
  EXPECT_TRUE(sim::Exists(L"C:\\Game\\Telvarine")) << "a link that cannot be removed keeps its folder";
}

// The directory given is held as itself while its folder goes: a link there
// is not followed.
TEST_F(ProductFolderTest, GivenDirectoryThatIsALinkIsNotFollowed) {
  for (DWORD tag :
       {static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT), static_cast<DWORD>(IO_REPARSE_TAG_SYMLINK)}) {
    sim::MakeDirectoryLink(L"C:\\Games\\Link", L"C:\\Elsewhere", tag);
    EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", L"C:\\Games\\Link"));
    EXPECT_TRUE(sim::CallsNamed("FindFirstFileW").empty()) << tag;
    EXPECT_EQ(sim::CallsNamed("CreateFileW").size(), 1u) << tag;
    sim::Reset();
    sim::MakeFile(L"C:\\Elsewhere\\Telvarine\\canary.txt");
  }
}

TEST_F(ProductFolderTest, ReparsePointNamedTelvarineIsRemovedAsALink) {
  sim::MakeFile(L"C:\\Canary\\file.txt");
  sim::MakeDirectoryLink(L"C:\\Game\\Telvarine", L"C:\\Canary", IO_REPARSE_TAG_MOUNT_POINT);
  EXPECT_TRUE(Remove(L"C:\\Game\\tools\\tvuninst.exe"));
  EXPECT_FALSE(sim::Exists(L"C:\\Game\\Telvarine"));
  EXPECT_TRUE(sim::Exists(L"C:\\Canary\\file.txt"));
}

}  // namespace
