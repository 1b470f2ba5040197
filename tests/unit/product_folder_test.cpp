#include "folder/product_folder.h"
#include <algorithm>
#include <random>

#include "app/uninstall.h"
#include "fault_sweep.h"
#include "sim_test.h"

namespace {

const std::string kFound = "Found 'Telvarine', stopping recursion.\n";
const std::string kNotFound = "Telvarine folder not found.\n";

class ProductFolderTest : public SimTest {
 protected:
  // A product folder outside every game: no case may touch it.
  void Stage() override { sim::MakeFile(L"C:\\Elsewhere\\Telvarine\\canary.txt"); }
  void Check() override {
    EXPECT_TRUE(sim::Exists(L"C:\\Elsewhere\\Telvarine\\canary.txt"));
    SimTest::Check();
  }
  bool Remove(const std::wstring& module, const std::wstring& installDir = L"") {
    sim::SetModuleFileName(module);
    record = RunRecord();
    return RemoveProductFolder(installDir, record);
  }
  RunRecord record;
  // The folder that the deletion opened first: the directory given, which is
  // held, and the name opened relative to it.
  static std::string FirstOpened() {
    const std::vector<std::string> held = sim::CallsNamed("CreateFileW");
    const std::vector<std::string> opens = sim::CallsNamed("NtOpenFile");
    if (held.empty() || opens.empty()) return "";
    std::string directory = held[0].substr(12, held[0].find(", 0x") - 12);
    if (directory.rfind("\\\\?\\", 0) == 0) directory.erase(0, 4);
    if (directory.back() != '\\') directory += '\\';
    return directory + opens[0].substr(11, opens[0].find(", 0x") - 11);
  }
};

TEST_F(ProductFolderTest, ToolsLayoutFindsTheFolderAnywhereBelowTheGame) {
  sim::MakeFile(L"C:\\Games\\Title\\Tools\\tvuninst.exe");
  sim::MakeFile(L"C:\\Games\\Title\\data\\TELVARINE\\Sub\\module.dll", FILE_ATTRIBUTE_READONLY);
  sim::MakeFile(L"C:\\Games\\Title\\data\\telvarine_old\\keep.txt");
  sim::MakeFile(L"C:\\Games\\Title\\Telvarine.txt");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\Tools\\tvuninst.exe", L"D:\\Other"));
  EXPECT_EQ(Plain(Output()), kFound);
  EXPECT_FALSE(sim::Exists(L"C:\\Games\\Title\\data\\TELVARINE"));
  EXPECT_TRUE(sim::Exists(L"C:\\Games\\Title\\data\\telvarine_old\\keep.txt"));
  EXPECT_TRUE(sim::Exists(L"C:\\Games\\Title\\Telvarine.txt"));
  EXPECT_TRUE(sim::Exists(L"C:\\Games\\Title\\Tools\\tvuninst.exe"));
  EXPECT_EQ(sim::CallsNamed("CreateFileW")[0].rfind("CreateFileW(\\\\?\\C:\\Games\\Title, ", 0), 0u);
}

TEST_F(ProductFolderTest, ToolsInAnyCaseButNotMytools) {
  for (const wchar_t* tools : {L"tools", L"TOOLS", L"ToOlS"}) {
    Restart();
    sim::MakeDirectory(L"C:\\Game\\Telvarine");
    EXPECT_TRUE(Remove(std::wstring(L"C:\\Game\\") + tools + L"\\tvuninst.exe"));
    EXPECT_FALSE(sim::Exists(L"C:\\Game\\Telvarine")) << sim::Narrow(tools);
  }
  Restart();
  sim::MakeDirectory(L"C:\\Game\\mytools\\Telvarine");
  EXPECT_TRUE(Remove(L"C:\\Game\\mytools\\tvuninst.exe"));
  EXPECT_TRUE(sim::Exists(L"C:\\Game\\mytools\\Telvarine"));
  EXPECT_EQ(Plain(Output()), "");
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
  EXPECT_EQ(Plain(Output()), kNotFound);
}

TEST_F(ProductFolderTest, UnlistableParentPrintsBothLines) {
  sim::MakeDirectory(L"C:\\Game\\tools");
  sim::FailListingOpen(L"C:\\Game", ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Remove(L"C:\\Game\\tools\\tvuninst.exe"));
  EXPECT_EQ(Plain(Output()), "FindFirstFileW failed, error code: 5\n" + kNotFound);
}

TEST_F(ProductFolderTest, BrokenListingDuringTheSearch) {
  sim::MakeDirectory(L"C:\\Game\\Data\\Inner");
  sim::FailListingAfter(L"C:\\Game\\Data", 2, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Remove(L"C:\\Game\\tools\\tvuninst.exe"));
  EXPECT_EQ(Plain(Output()), "FindNextFileW failed, error code: 5\n" + kNotFound);
}

// No game ships its tools directory at the root of a volume: the volume is not searched.
TEST_F(ProductFolderTest, ToolsInADriveRootSearchesNothing) {
  sim::AddDrive(L'E');
  sim::MakeDirectory(L"E:\\Deep\\Down\\Telvarine");
  sim::MakeDirectory(L"E:\\tools");
  EXPECT_TRUE(Remove(L"E:\\tools\\tvuninst.exe"));
  const std::vector<std::string> asked = sim::CallsNamed("GetFileInformationByHandleEx");
  const std::string listing =
      "GetFileInformationByHandleEx(" + std::to_string(FileIdBothDirectoryRestartInfo) + ")";
  EXPECT_EQ(std::count(asked.begin(), asked.end(), listing), 0) << "nothing is listed";
  EXPECT_TRUE(sim::Exists(L"E:\\Deep\\Down\\Telvarine"));
  EXPECT_EQ(Plain(Output()), "");
}

TEST_F(ProductFolderTest, OutsideToolsWithoutAllTouchesNothing) {
  sim::MakeDirectory(L"C:\\Game\\Telvarine");
  EXPECT_TRUE(Remove(L"C:\\Game\\tvuninst.exe"));
  EXPECT_TRUE(sim::Exists(L"C:\\Game\\Telvarine"));
  EXPECT_EQ(Plain(Output()), "");
  EXPECT_TRUE(Listings() == 0);
}

TEST_F(ProductFolderTest, DotMeansTheExecutableDirectoryInItsCase) {
  sim::MakeDirectory(L"C:\\Games\\Title\\Telvarine\\Sub");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", L"."));
  EXPECT_FALSE(sim::Exists(L"C:\\Games\\Title\\Telvarine"));
  EXPECT_EQ(FirstOpened(), "C:\\Games\\Title\\Telvarine");
  EXPECT_EQ(Plain(Output()), "");
}

TEST_F(ProductFolderTest, DotSlashMeansTheCurrentDirectory) {
  sim::MakeDirectory(L"C:\\Work\\Telvarine");
  sim::MakeDirectory(L"C:\\Games\\Title\\Telvarine");
  sim::SetCurrentDirectory(L"C:\\Work");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", L"./"));
  EXPECT_EQ(FirstOpened(), "C:\\Work\\Telvarine");
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
  EXPECT_EQ(Plain(Output()), "");
  ASSERT_EQ(record.entries.size(), 1u);
  EXPECT_EQ(record.entries[0].outcome, kFailed)
      << "a directory too long to look at is not known to be absent";
  EXPECT_EQ(record.entries[0].error, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(ProductFolderTest, TrailingBackslashIsDroppedWhereOpened) {
  sim::AddDrive(L'D');
  sim::MakeDirectory(L"D:\\Games\\Title\\Telvarine");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", L"D:\\Games\\Title\\"));
  EXPECT_EQ(FirstOpened(), "D:\\Games\\Title\\Telvarine");
  EXPECT_FALSE(sim::Exists(L"D:\\Games\\Title\\Telvarine"));
}

TEST_F(ProductFolderTest, GivenDirectoryIsNotSearched) {
  sim::AddDrive(L'D');
  sim::MakeDirectory(L"D:\\Games\\Title\\Sub\\Telvarine");
  EXPECT_TRUE(Remove(L"C:\\Games\\Title\\tvuninst.exe", L"D:\\Games\\Title"));
  EXPECT_TRUE(sim::Exists(L"D:\\Games\\Title\\Sub\\Telvarine"));
  EXPECT_EQ(Plain(Output()), "");
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
  RunRecord record;
  EXPECT_FALSE(RemoveProductFolder(L"C:\\Games\\Title", record));
  EXPECT_EQ(Plain(Output()), "Error: Failed to extract executable directory, path: tvuninst.exe\n");
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
  EXPECT_EQ(Plain(Output()), kFound);
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
    EXPECT_TRUE(Listings() == 0) << tag;
    EXPECT_EQ(sim::CallsNamed("CreateFileW").size(), 1u) << tag;
    Restart();
  }
}

TEST_F(ProductFolderTest, ReparsePointNamedTelvarineIsRemovedAsALink) {
  sim::MakeFile(L"C:\\Canary\\file.txt");
  sim::MakeDirectoryLink(L"C:\\Game\\Telvarine", L"C:\\Canary", IO_REPARSE_TAG_MOUNT_POINT);
  EXPECT_TRUE(Remove(L"C:\\Game\\tools\\tvuninst.exe"));
  EXPECT_FALSE(sim::Exists(L"C:\\Game\\Telvarine"));
  EXPECT_TRUE(sim::Exists(L"C:\\Canary\\file.txt"));
}

using ProductFolderFaultSweepTest = SimTest;

void CheckFolderResult(bool result, const Trial& trial, bool toolsLayout) {
  const std::string output = Plain(Output());
  if (trial.failedCall == "GetModuleFileNameW") {
    EXPECT_FALSE(result);
    EXPECT_EQ(output, "Error: GetModuleFileNameW call failed, error code: 5\n");
    return;
  }
  EXPECT_TRUE(result);
  if (!toolsLayout) {
    EXPECT_EQ(output, "");
    return;
  }
  // Every line is one the search or its visitor documents.
  size_t start = 0;
  while (start < output.size()) {
    const size_t end = output.find('\n', start);
    const std::string line = output.substr(start, end - start);
    EXPECT_TRUE(line == "Found 'Telvarine', stopping recursion." || line == "Telvarine folder not found." ||
                line == "FindFirstFileW failed, error code: 5" ||
                line == "FindNextFileW failed, error code: 5")
        << line;
    start = end + 1;
  }
  if (trial.failedCall.empty()) {
    EXPECT_FALSE(sim::Exists(L"C:\\Game\\data\\Telvarine"));
  }
}

TEST_F(ProductFolderFaultSweepTest, BothLayouts) {
  int trials = 0;
  for (bool toolsLayout : {true, false}) {
    bool result = false;
    auto step = [&] {
      sim::SetModuleFileName(toolsLayout ? L"C:\\Game\\tools\\tvuninst.exe" : L"C:\\Bin\\tvuninst.exe");
      RunRecord record;
      result = RemoveProductFolder(L"C:\\Game\\data", record);
    };
    trials += Sweep(StageGame, step, {"C:\\Game\\data\\Telvarine"},
                    [&](const Trial& trial) { CheckFolderResult(result, trial, toolsLayout); });
  }
  std::printf("product folder: %d fault trials\n", trials);
}

// Letters beyond ASCII, in both layouts, through the whole run.
class NonAsciiTest : public SimTest {
 protected:
  int Run(const std::wstring& arguments) {
    sim::SetCommandLine(L"\"C:\\Bin\\tvuninst.exe\" " + arguments);
    sim::SetModuleFileName(L"C:\\Bin\\tvuninst.exe");
    return RunUninstall();
  }
};

TEST_F(NonAsciiTest, NonAsciiPaths) {
  sim::MakeFile(L"C:\\Spiele\\\u00DCbung\\Telvarine\\x.dat");
  sim::MakeFile(L"C:\\\u0418\u0433\u0440\u044B\\\u0422\u0435\u0441\u0442\\data\\TELVARINE\\y.dat");
  EXPECT_EQ(Run(L"-s -a C:\\Spiele\\\u00DCbung"), 0);
  EXPECT_FALSE(sim::Exists(L"C:\\Spiele\\\u00DCbung\\Telvarine"));

  sim::MakeDirectory(L"C:\\\u0418\u0433\u0440\u044B\\\u0422\u0435\u0441\u0442\\tools");
  sim::SetModuleFileName(L"C:\\\u0418\u0433\u0440\u044B\\\u0422\u0435\u0441\u0442\\tools\\tvuninst.exe");
  RunRecord record;
  EXPECT_TRUE(RemoveProductFolder(L"", record));
  EXPECT_FALSE(sim::Exists(L"C:\\\u0418\u0433\u0440\u044B\\\u0422\u0435\u0441\u0442\\data\\TELVARINE"));
}

}  // namespace

// Thousands of seeded random game trees, removed in both layouts. An
// independent model of each tree predicts which folder is selected and
// whether it can go; the simulation must agree, and nothing else may change.
namespace {

using ProductFolderSwapTest = SimTest;

// The search holds every directory from its root down to the one it lists,
// and the directory given with -a is held, while the folder goes: whatever the
// moment of the swap, the search never walks outside, and no Telvarine folder
// out there is found.
TEST_F(ProductFolderSwapTest, NoSwapPointLeadsTheSearchOrTheGivenDirectoryOutside) {
  const std::wstring game = L"C:\\Game";
  struct Layout {
    std::wstring module;
    std::wstring installDir;
    std::vector<std::wstring> targets;
  };
  const Layout layouts[] = {
      {game + L"\\tools\\tvuninst.exe",
       L"",
       {game, game + L"\\aaa", game + L"\\data", game + L"\\data\\Telvarine",
        game + L"\\data\\Telvarine\\A"}},
      {L"C:\\Bin\\tvuninst.exe",
       game + L"\\data",
       {game + L"\\data", game + L"\\data\\Telvarine", game + L"\\data\\Telvarine\\A"}},
  };
  auto stage = [&] {
    sim::MakeFile(L"C:\\Outside\\keep.dat");
    sim::MakeFile(L"C:\\Outside\\Telvarine\\canary.dat");
    sim::MakeFile(game + L"\\aaa\\x.dat");  // listed before data
    sim::MakeFile(game + L"\\data\\Telvarine\\a.dat");
    sim::MakeFile(game + L"\\data\\Telvarine\\A\\one.dat");
    sim::MakeDirectory(game + L"\\tools");
  };
  auto run = [](const Layout& layout) {
    sim::SetModuleFileName(layout.module);
    RunRecord record;
    RemoveProductFolder(layout.installDir, record);
  };
  for (const Layout& layout : layouts) {
    sim::Reset();
    stage();
    run(layout);
    ASSERT_FALSE(sim::Exists(game + L"\\data\\Telvarine")) << "without a swap the folder goes";
    const size_t calls = sim::Calls().size();
    int done = 0;
    int refused = 0;
    for (const std::wstring& target : layout.targets) {
      for (DWORD tag :
           {static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT), static_cast<DWORD>(IO_REPARSE_TAG_SYMLINK)}) {
        for (size_t ordinal = 1; ordinal <= calls + 1; ++ordinal) {
          sim::Reset();
          stage();
          sim::SwapForLinkAt(ordinal, target, L"C:\\Outside", tag);
          run(layout);
          const std::string trial = sim::Narrow(target) + " swapped at call " + std::to_string(ordinal);
          EXPECT_TRUE(sim::Exists(L"C:\\Outside\\Telvarine\\canary.dat")) << trial;
          EXPECT_TRUE(sim::Exists(L"C:\\Outside\\keep.dat")) << trial;
          EXPECT_EQ(sim::OpenHandlesTotal(), 0) << trial;
          done += sim::LastSwap() == sim::SwapResult::Done;
          refused += sim::LastSwap() == sim::SwapResult::Refused;
        }
      }
    }
    EXPECT_GT(done, 0);
    EXPECT_GT(refused, 0);
    std::printf("%s: %zu calls, %d swapped in, %d refused by a held handle\n",
                layout.installDir.empty() ? "tools layout" : "given directory", calls, done, refused);
  }
}

}  // namespace

namespace random_tree {

const std::wstring kGame = L"C:\\G\\Game";
const std::wstring kOutside = L"C:\\Outside";

struct Model {
  std::wstring name;
  bool directory = false;
  bool link = false;
  DWORD tag = 0;
  bool held = false;
  std::vector<Model> children;  // in creation order
};

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towupper(c));
  return text;
}

bool IsProductName(const std::wstring& name) {
  std::wstring lowered = name;
  for (wchar_t& c : lowered) c = static_cast<wchar_t>(towlower(c));
  return lowered == L"telvarine";
}

// The names the generator uses that are no one entry of their directory.
bool IsOneName(const std::wstring& name) {
  return name.find_first_of(L"\\/") == std::wstring::npos;
}

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  bool Chance(int percent) { return Pick(100) < percent; }

  // Some names path parsing would change (a trailing dot or space, a device),
  // listed as they are: both walks use them as listed. One holds a separator,
  // which neither walk may use.
  std::wstring Name() {
    static const wchar_t* names[] = {
        L"Telvarine", L"telvarine", L"TELVARINE", L"TelVarine",          L"telvarine_old", L"Telvarine.txt",
        L".hidden",   L"dots..",    L"..x",       L"\u00DCbung",         L"\u00C4rger",    L"data",
        L"bin",       L"a",         L"Tools",     L"\u0436\u0443\u043A", L"x.dat",         L"Telvarin",
        L"..\\up",    L"nul.txt",   L"trail "};
    if (Chance(4)) return std::wstring(100 + Pick(120), L"lmn"[Pick(3)]);
    return names[Pick(sizeof names / sizeof names[0])];
  }

  // Fills the directory at `path` (already made) and its model.
  void Fill(const std::wstring& path, Model& directory, int depth, std::vector<std::wstring>& inside) {
    const int count = Pick(depth == 0 ? 6 : 5);
    for (int i = 0; i < count; ++i) {
      Model child;
      child.name = Name();
      const bool taken = std::any_of(directory.children.begin(), directory.children.end(),
                                     [&](const Model& m) { return Upper(m.name) == Upper(child.name); });
      if (taken) continue;
      const std::wstring childPath = path + L"\\" + child.name;
      const int kind = Pick(100);
      if (!IsOneName(child.name) || child.name.back() == L'.' || child.name.back() == L' ' ||
          child.name == L"nul.txt") {
        child.directory = kind >= 50;
        sim::MakeEntryNamed(path, child.name,
                            child.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
      } else if (kind < 50 || depth >= 5) {
        static const DWORD attributes[] = {FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_READONLY,
                                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
                                           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN};
        sim::MakeFile(childPath, attributes[Pick(4)]);
        child.held = Chance(3);
        if (child.held) sim::HoldOpen(childPath);
      } else if (kind < 85) {
        child.directory = true;
        sim::MakeDirectory(childPath);
        inside.push_back(childPath);
        Fill(childPath, child, depth + 1, inside);
      } else {
        static const DWORD tags[] = {IO_REPARSE_TAG_MOUNT_POINT, IO_REPARSE_TAG_SYMLINK, 0};
        child.directory = true;
        child.link = true;
        child.tag = tags[Pick(3)];
        const std::wstring target =
            Chance(50) || inside.empty() ? kOutside + L"\\Dir" : inside[Pick(inside.size())];
        sim::MakeDirectoryLink(childPath, target, child.tag);
      }
      directory.children.push_back(child);
    }
  }

 private:
  std::mt19937 rng_;
};

std::vector<const Model*> InListingOrder(const Model& directory, sim::ListingOrder order) {
  std::vector<const Model*> children;
  for (const Model& child : directory.children) children.push_back(&child);
  if (order == sim::ListingOrder::Reversed) std::reverse(children.begin(), children.end());
  if (order == sim::ListingOrder::Sorted) {
    std::stable_sort(children.begin(), children.end(),
                     [](const Model* a, const Model* b) { return Upper(a->name) < Upper(b->name); });
  }
  return children;
}

// The first directory named Telvarine, depth first in listing order, links
// shown but not entered; with its full path.
const Model* FindFirst(const Model& directory, const std::wstring& path, sim::ListingOrder order,
                       std::wstring* found) {
  for (const Model* child : InListingOrder(directory, order)) {
    if (!child->directory || !IsOneName(child->name)) continue;
    const std::wstring childPath = path + L"\\" + child->name;
    if (IsProductName(child->name)) {
      *found = childPath;
      return child;
    }
    if (child->link) continue;
    if (const Model* deeper = FindFirst(*child, childPath, order, found)) return deeper;
  }
  return nullptr;
}

// Whether the deletion can remove the directory entirely, whatever its depth.
bool Removable(const Model& directory) {
  if (directory.link) return IsReparseTagNameSurrogate(directory.tag);
  for (const Model& child : directory.children) {
    if (!IsOneName(child.name)) return false;
    if (child.directory ? !Removable(child) : child.held) return false;
  }
  return true;
}

std::vector<std::string> StateOutside(const std::wstring& folder) {
  std::vector<std::string> kept;
  const std::string prefix = sim::Narrow(folder);
  for (const std::string& line : WholeState()) {
    const bool below = !folder.empty() && line.rfind(prefix, 0) == 0 &&
                       (line[prefix.size()] == '\\' || line[prefix.size()] == ' ');
    if (!below) kept.push_back(line);
  }
  return kept;
}

using RandomTreeTest = SimTest;

TEST_F(RandomTreeTest, OnlyTheSelectedFolderChanges) {
  const unsigned firstSeed = 20261207;
  const int treesPerLayout = 1500;
  int removed = 0, kept = 0, absent = 0;
  for (bool toolsLayout : {true, false}) {
    for (unsigned seed = firstSeed; seed < firstSeed + treesPerLayout; ++seed) {
      SCOPED_TRACE("seed " + std::to_string(seed) + (toolsLayout ? " tools layout" : " given directory"));
      sim::Reset();
      Generator generate(seed);
      const sim::ListingOrder order = static_cast<sim::ListingOrder>(generate.Pick(3));
      sim::SetListingOrder(order);
      sim::MakeFile(kOutside + L"\\keep.txt");
      sim::MakeFile(kOutside + L"\\Dir\\inner.txt");
      sim::MakeDirectory(kOutside + L"\\Empty");
      sim::MakeDirectory(kGame);
      Model game;
      std::vector<std::wstring> inside;
      generate.Fill(kGame, game, 0, inside);

      std::wstring installDir;
      std::wstring expectedPath;
      const Model* expected = nullptr;
      if (toolsLayout) {
        sim::MakeDirectory(kGame + L"\\tools");
        if (std::none_of(game.children.begin(), game.children.end(),
                         [](const Model& m) { return Upper(m.name) == L"TOOLS"; })) {
          Model tools;
          tools.name = L"tools";
          tools.directory = true;
          game.children.push_back(tools);
        }
        sim::SetModuleFileName(kGame + L"\\tools\\tvuninst.exe");
        expected = FindFirst(game, kGame, order, &expectedPath);
      } else {
        sim::SetModuleFileName(L"C:\\G\\Bin\\tvuninst.exe");
        installDir = kGame;
        for (const Model& child : game.children) {
          if (Upper(child.name) == L"TELVARINE") {
            expected = &child;
            expectedPath = kGame + L"\\" + child.name;
          }
        }
        if (expected && !expected->directory) expected = nullptr;  // a file of that name is left alone
      }
      const bool removable = expected && Removable(*expected);
      const std::vector<std::string> before = StateOutside(expectedPath);

      RunRecord record;
      ASSERT_TRUE(RemoveProductFolder(installDir, record));

      EXPECT_EQ(StateOutside(expectedPath), before);
      EXPECT_EQ(sim::OpenHandlesTotal(), 0);
      if (expected) {
        EXPECT_EQ(sim::Exists(expectedPath), !removable) << sim::Narrow(expectedPath);
        (removable ? removed : kept) += 1;
      } else {
        ++absent;
      }
      const std::string printed = toolsLayout ? (expected ? "Found 'Telvarine', stopping recursion.\n"
                                                          : "Telvarine folder not found.\n")
                                              : "";
      EXPECT_EQ(Plain(Output()), printed);
      if (HasFailure()) return;
    }
  }
  std::printf("random trees: %d removed, %d kept for what could not go, %d without a folder\n", removed, kept,
              absent);
  EXPECT_GT(removed, 0);
  EXPECT_GT(kept, 0);
  EXPECT_GT(absent, 0);
}

}  // namespace random_tree
