#include <algorithm>

#include "folder/directory_tree.h"
#include "folder/product_folder.h"
#include "sim_test.h"

namespace {

const std::wstring kRoot = L"C:\\Games\\Title\\Telvarine";

class DeleteTreeTest : public SimTest {
 protected:
  // Canaries beside and outside the folder must survive every test.
  void Stage() override {
    sim::MakeFile(L"C:\\Games\\Title\\game.exe");
    sim::MakeFile(L"C:\\Outside\\keep.txt");
    sim::MakeDirectory(L"C:\\Empty");
  }
  void Check() override {
    EXPECT_TRUE(sim::Exists(L"C:\\Games\\Title\\game.exe"));
    EXPECT_TRUE(sim::Exists(L"C:\\Outside\\keep.txt"));
    EXPECT_TRUE(sim::Exists(L"C:\\Empty"));
    EXPECT_EQ(Output(), "") << "the deletion prints nothing";
    SimTest::Check();
  }
  static std::vector<std::wstring> Remaining() {
    std::vector<std::wstring> left;
    for (const std::wstring& entry : sim::AllEntries()) {
      if (entry.rfind(kRoot, 0) == 0) left.push_back(entry);
    }
    return left;
  }
};

TEST_F(DeleteTreeTest, NullEmptyAndMissingPathsTouchNothing) {
  EXPECT_FALSE(DeleteDirectoryTree(nullptr));
  EXPECT_FALSE(DeleteDirectoryTree(L""));
  EXPECT_TRUE(sim::Calls().empty());
  EXPECT_FALSE(DeleteDirectoryTree(L"C:\\Games\\Missing"));
  EXPECT_FALSE(DeleteDirectoryTree(L"C:\\NoParent\\Missing"));
  EXPECT_TRUE(sim::CallsNamed("RemoveDirectoryW").empty()) << "a missing path is not an empty directory";
}

TEST_F(DeleteTreeTest, EmptyDirectoryIsRemoved) {
  sim::MakeDirectory(kRoot);
  EXPECT_TRUE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_FALSE(sim::Exists(kRoot));
}

TEST_F(DeleteTreeTest, NestedTreeGoesDeepestFirst) {
  sim::MakeFile(kRoot + L"\\a.dat");
  sim::MakeFile(kRoot + L"\\Sub\\b.dat");
  sim::MakeFile(kRoot + L"\\Sub\\Deeper\\c.dat");
  sim::MakeDirectory(kRoot + L"\\Sub\\Empty");
  sim::MakeFile(kRoot + L"\\z.dat");
  EXPECT_TRUE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_FALSE(sim::Exists(kRoot));
  const std::vector<std::string> removed = sim::CallsNamed("RemoveDirectoryW");
  const std::vector<std::string> expected = {"RemoveDirectoryW(C:\\Games\\Title\\Telvarine\\Sub\\Deeper)",
                                             "RemoveDirectoryW(C:\\Games\\Title\\Telvarine\\Sub\\Empty)",
                                             "RemoveDirectoryW(C:\\Games\\Title\\Telvarine\\Sub)",
                                             "RemoveDirectoryW(C:\\Games\\Title\\Telvarine)"};
  EXPECT_EQ(removed, expected);
}

TEST_F(DeleteTreeTest, ReadOnlyHiddenAndSystemFilesAreReset) {
  sim::MakeFile(kRoot + L"\\ro.dat", FILE_ATTRIBUTE_READONLY);
  sim::MakeFile(kRoot + L"\\Sub\\hidden.dat", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  sim::MakeFile(kRoot + L"\\sys.dat", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
  sim::SetAttributes(kRoot + L"\\Sub", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_FALSE(sim::Exists(kRoot));
  for (const std::string& call : sim::CallsNamed("SetFileAttributesW")) {
    EXPECT_NE(call.find(".dat, 0x80"), std::string::npos)
        << "only files get their attributes reset: " << call;
  }
}

TEST_F(DeleteTreeTest, ReadOnlyDirectoryThatRefusesRemovalStopsTheDeletion) {
  sim::MakeFile(kRoot + L"\\Locked\\inner.dat");
  sim::SetAttributes(kRoot + L"\\Locked", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
  sim::RefuseRemoval(kRoot + L"\\Locked");
  sim::MakeFile(kRoot + L"\\later.dat");
  EXPECT_FALSE(DeleteDirectoryTree(kRoot.c_str()));
  const std::vector<std::wstring> expected = {kRoot + L"\\", kRoot + L"\\Locked\\", kRoot + L"\\later.dat"};
  EXPECT_EQ(Remaining(), expected);
  EXPECT_EQ(sim::Attributes(kRoot + L"\\Locked"),
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

// Everything handled before the held file is gone; it, everything after it
// and every enclosing directory remain.
TEST_F(DeleteTreeTest, HeldFileLeavesExactlyTheRemainder) {
  sim::MakeFile(kRoot + L"\\first.dat");
  sim::MakeFile(kRoot + L"\\A\\done.dat");
  sim::MakeFile(kRoot + L"\\B\\before.dat");
  sim::MakeFile(kRoot + L"\\B\\held.dat");
  sim::MakeFile(kRoot + L"\\B\\after.dat");
  sim::MakeFile(kRoot + L"\\C\\later.dat");
  sim::MakeFile(kRoot + L"\\last.dat");
  sim::HoldOpen(kRoot + L"\\B\\held.dat");
  EXPECT_FALSE(DeleteDirectoryTree(kRoot.c_str()));
  const std::vector<std::wstring> expected = {
      kRoot + L"\\",    kRoot + L"\\B\\",          kRoot + L"\\B\\held.dat", kRoot + L"\\B\\after.dat",
      kRoot + L"\\C\\", kRoot + L"\\C\\later.dat", kRoot + L"\\last.dat"};
  EXPECT_EQ(Remaining(), expected);
}

TEST_F(DeleteTreeTest, TrailingBackslashIsDoubled) {
  sim::MakeFile(kRoot + L"\\x.dat");
  const std::wstring given = kRoot + L"\\";
  EXPECT_TRUE(DeleteDirectoryTree(given.c_str()));
  EXPECT_FALSE(sim::Exists(kRoot));
  EXPECT_EQ(sim::CallsNamed("DeleteFileW"),
            std::vector<std::string>{"DeleteFileW(C:\\Games\\Title\\Telvarine\\\\x.dat)"});
}

TEST_F(DeleteTreeTest, ListingErrorsLeaveTheDirectory) {
  sim::MakeFile(kRoot + L"\\a.dat");
  sim::MakeFile(kRoot + L"\\b.dat");
  sim::FailListingAfter(kRoot, 3, ERROR_ACCESS_DENIED);  // ".", "..", a.dat
  EXPECT_FALSE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_TRUE(sim::Exists(kRoot + L"\\b.dat"));

  sim::FailListingOpen(kRoot, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_TRUE(sim::Exists(kRoot + L"\\b.dat"));

  // Only a listing with no entries at all (2) means an empty directory; an
  // empty one whose listing is refused otherwise stays.
  const std::wstring refused = L"C:\\Games\\Title\\Refused";
  sim::MakeDirectory(refused);
  sim::FailListingOpen(refused, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteDirectoryTree(refused.c_str()));
  EXPECT_TRUE(sim::Exists(refused));
  const std::wstring nothingListed = L"C:\\Games\\Title\\NothingListed";
  sim::MakeDirectory(nothingListed);
  sim::FailListingOpen(nothingListed, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(DeleteDirectoryTree(nothingListed.c_str()));
  EXPECT_FALSE(sim::Exists(nothingListed));
}

TEST_F(DeleteTreeTest, AFileIsNotADirectory) {
  sim::MakeFile(kRoot);
  EXPECT_FALSE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_TRUE(sim::Exists(kRoot));
}

// Links are never entered. A junction or directory symbolic link is removed
// as itself; a link of any other tag stops the deletion.
TEST_F(DeleteTreeTest, JunctionsAndSymbolicLinksAreRemovedNotEntered) {
  for (DWORD tag :
       {static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT), static_cast<DWORD>(IO_REPARSE_TAG_SYMLINK)}) {
    sim::MakeFile(kRoot + L"\\a.dat");
    sim::MakeDirectoryLink(kRoot + L"\\ToOutside", L"C:\\Outside", tag);
    sim::MakeDirectoryLink(kRoot + L"\\ToEmpty", L"C:\\Empty", tag);
    EXPECT_TRUE(DeleteDirectoryTree(kRoot.c_str()));
    EXPECT_FALSE(sim::Exists(kRoot));
  }
  for (const std::string& call : sim::CallsNamed("FindFirstFileW")) {
    EXPECT_EQ(call.find("ToOutside\\*"), std::string::npos) << call;
  }
}

TEST_F(DeleteTreeTest, UnixSymbolicLinkAsWineShowsItIsLeftAlone) {
  sim::MakeFile(kRoot + L"\\a.dat");
  sim::MakeDirectoryLink(kRoot + L"\\ToEmpty", L"C:\\Empty", 0);
  sim::MakeDirectoryLink(kRoot + L"\\ToOutside", L"C:\\Outside", 0);
  EXPECT_FALSE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_TRUE(sim::Exists(kRoot + L"\\ToEmpty"));
  EXPECT_TRUE(sim::CallsNamed("RemoveDirectoryW").empty()) << "RemoveDirectoryW would hit the empty target";
}

TEST_F(DeleteTreeTest, FolderThatIsItselfALink) {
  sim::MakeDirectory(L"C:\\Games\\Title");
  sim::MakeDirectoryLink(kRoot, L"C:\\Outside", IO_REPARSE_TAG_MOUNT_POINT);
  EXPECT_TRUE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_FALSE(sim::Exists(kRoot));

  sim::MakeDirectoryLink(kRoot, L"C:\\Empty", 0);
  EXPECT_FALSE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_TRUE(sim::Exists(kRoot));
}

// Only a link skips the attribute reset, which would reach its target; any
// other file, reparse point or not, is reset and deleted.
TEST_F(DeleteTreeTest, OnlyFileLinksSkipTheAttributeReset) {
  struct Case {
    DWORD tag;
    DWORD attributes;
    bool reset;
    bool deleted;
  };
  const Case cases[] = {
      {IO_REPARSE_TAG_SYMLINK, FILE_ATTRIBUTE_ARCHIVE, false, true},
      {IO_REPARSE_TAG_SYMLINK, FILE_ATTRIBUTE_READONLY, false, false},  // refused, and left as it is
      {0x80000013ul, FILE_ATTRIBUTE_READONLY, true, true},              // a deduplicated file
      {0x9000001Aul, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, true, true},  // a cloud placeholder
      {0, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM, true, true},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    const Case& c = cases[i];
    const std::wstring folder = kRoot + L"\\" + std::to_wstring(i);
    sim::MakeFile(folder + L"\\file.dat", c.attributes, c.tag);
    sim::ClearCalls();
    EXPECT_EQ(DeleteDirectoryTree(folder.c_str()), c.deleted) << i;
    EXPECT_EQ(sim::CallsNamed("SetFileAttributesW").size(), c.reset ? 1u : 0u) << i;
    EXPECT_EQ(sim::Exists(folder + L"\\file.dat"), !c.deleted) << i;
  }
}

// A listed name is used only when it is one plain component: joined to the
// path, any other would name something else ("..\\x" the folder's sibling,
// "data." the link "data", ".\\." the folder itself) or a device.
struct UnsafeName {
  const wchar_t* name;
  DWORD attributes;
};

void PrintTo(const UnsafeName& unsafe, std::ostream* out) {
  *out << sim::Narrow(unsafe.name);
}

class UnsafeNameTest : public DeleteTreeTest, public ::testing::WithParamInterface<UnsafeName> {};

TEST_P(UnsafeNameTest, DeletionStopsThereAndNothingOutsideIsTouched) {
  sim::MakeFile(L"C:\\Games\\Title\\keep.txt");
  sim::MakeFile(L"C:\\Games\\Title\\victim\\precious.txt");
  sim::MakeFile(kRoot + L"\\a.dat");
  sim::MakeEntryNamed(kRoot, GetParam().name, GetParam().attributes);
  sim::MakeDirectoryLink(kRoot + L"\\data", L"C:\\Outside", 0);  // the twin of "data."
  EXPECT_FALSE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_TRUE(sim::Exists(L"C:\\Games\\Title\\keep.txt"));
  EXPECT_TRUE(sim::Exists(L"C:\\Games\\Title\\victim\\precious.txt"));
  const std::wstring entry = kRoot + L"\\" + GetParam().name;
  const std::vector<std::wstring> left = Remaining();
  EXPECT_NE(
      std::find_if(left.begin(), left.end(), [&](const std::wstring& e) { return e.rfind(entry, 0) == 0; }),
      left.end());
}

INSTANTIATE_TEST_SUITE_P(
    Names, UnsafeNameTest,
    ::testing::Values(
        UnsafeName{L"..\\keep.txt", FILE_ATTRIBUTE_ARCHIVE},
        UnsafeName{L"..\\victim", FILE_ATTRIBUTE_DIRECTORY},
        UnsafeName{L"../victim", FILE_ATTRIBUTE_DIRECTORY}, UnsafeName{L"data.", FILE_ATTRIBUTE_DIRECTORY},
        UnsafeName{L"data ", FILE_ATTRIBUTE_DIRECTORY}, UnsafeName{L"...", FILE_ATTRIBUTE_DIRECTORY},
        UnsafeName{L".\\.", FILE_ATTRIBUTE_DIRECTORY}, UnsafeName{L"a:b", FILE_ATTRIBUTE_ARCHIVE},
        UnsafeName{L"a*", FILE_ATTRIBUTE_ARCHIVE}, UnsafeName{L"a?", FILE_ATTRIBUTE_ARCHIVE},
        UnsafeName{L"a\"b", FILE_ATTRIBUTE_ARCHIVE}, UnsafeName{L"a<b", FILE_ATTRIBUTE_ARCHIVE},
        UnsafeName{L"a>b", FILE_ATTRIBUTE_ARCHIVE}, UnsafeName{L"a|b", FILE_ATTRIBUTE_ARCHIVE},
        UnsafeName{L"CON", FILE_ATTRIBUTE_ARCHIVE}, UnsafeName{L"nul.txt", FILE_ATTRIBUTE_ARCHIVE},
        UnsafeName{L"Aux .log", FILE_ATTRIBUTE_ARCHIVE}, UnsafeName{L"com1", FILE_ATTRIBUTE_DIRECTORY},
        UnsafeName{L"LPT9.dat", FILE_ATTRIBUTE_ARCHIVE}, UnsafeName{L"PRN", FILE_ATTRIBUTE_DIRECTORY},
        UnsafeName{L"COM\u00B9", FILE_ATTRIBUTE_ARCHIVE}));

// Names near the unsafe ones are plain, and go.
TEST_F(DeleteTreeTest, NamesNearTheUnsafeOnesAreDeleted) {
  for (const wchar_t* name :
       {L"..x", L".hidden", L"a.b", L" lead", L"CONSOLE", L"com10", L"nul_", L"COMA", L"LPT"})
    sim::MakeEntryNamed(kRoot, name, FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_FALSE(sim::Exists(kRoot));
}

// No text is ever cut to fit a buffer: a cut path can name another file.
TEST_F(DeleteTreeTest, PathsTooLongForTheBuffersStopWithoutCutting) {
  // A path and name of 258 characters together still fit.
  const std::wstring deep = kRoot + L"\\" + std::wstring(200, L'd');
  const size_t nameFits = 258 - deep.size();
  sim::MakeFile(deep + L"\\" + std::wstring(nameFits, L'f'));
  EXPECT_TRUE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_FALSE(sim::Exists(kRoot));

  sim::ClearCalls();
  sim::MakeFile(deep + L"\\" + std::wstring(nameFits + 1, L'f'));
  sim::MakeFile(kRoot + L"\\after.dat");
  EXPECT_FALSE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_TRUE(sim::Exists(deep + L"\\" + std::wstring(nameFits + 1, L'f')));
  EXPECT_TRUE(sim::Exists(kRoot + L"\\after.dat"));
  for (const char* name : {"FindFirstFileW", "DeleteFileW", "RemoveDirectoryW"}) {
    for (const std::string& call : sim::CallsNamed(name))
      EXPECT_LT(call.size() - strlen(name) - 2, 260u) << call;
  }

  // The longest directory path that can be listed has 255 characters: with
  // "\\*.*" and the terminator its pattern fills the buffer exactly.
  const std::wstring longest = kRoot + L"\\" + std::wstring(255 - kRoot.size() - 1, L'g');
  ASSERT_EQ(longest.size(), 255u);
  sim::MakeFile(longest + L"\\x");
  EXPECT_TRUE(DeleteDirectoryTree(longest.c_str()));
  EXPECT_FALSE(sim::Exists(longest));
  const std::wstring oneMore = longest + L"h";
  sim::MakeDirectory(oneMore);
  EXPECT_FALSE(DeleteDirectoryTree(oneMore.c_str()));
  EXPECT_TRUE(sim::Exists(oneMore));

  // A directory of more than 255 characters cannot be listed.
  const std::wstring tooDeep = kRoot + L"\\" + std::wstring(256 - kRoot.size(), L'e');
  ASSERT_EQ(tooDeep.size(), 257u);
  sim::MakeDirectory(tooDeep);
  EXPECT_FALSE(DeleteDirectoryTree(tooDeep.c_str()));
  EXPECT_TRUE(sim::Exists(tooDeep));
}

TEST_F(DeleteTreeTest, EveryListingIsClosedOnEveryPath) {
  sim::MakeFile(kRoot + L"\\A\\B\\C\\held.dat");
  sim::HoldOpen(kRoot + L"\\A\\B\\C\\held.dat");
  EXPECT_FALSE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_EQ(sim::OpenHandles(sim::HandleKind::Listing), 0);
  EXPECT_EQ(sim::CallsNamed("FindFirstFileW").size(), sim::CallsNamed("FindClose").size());
}

TEST_F(DeleteTreeTest, ListingOrderDecidesWhatGoesBeforeAFailure) {
  sim::SetListingOrder(sim::ListingOrder::Reversed);
  sim::MakeFile(kRoot + L"\\a.dat");
  sim::MakeFile(kRoot + L"\\held.dat");
  sim::MakeFile(kRoot + L"\\z.dat");
  sim::HoldOpen(kRoot + L"\\held.dat");
  EXPECT_FALSE(DeleteDirectoryTree(kRoot.c_str()));
  EXPECT_FALSE(sim::Exists(kRoot + L"\\z.dat"));
  EXPECT_TRUE(sim::Exists(kRoot + L"\\a.dat"));
}

// A folder of 100,000 entries goes in one pass, without a hang.
using WideTreeTest = SimTest;

TEST_F(WideTreeTest, HundredThousandEntries) {
  const std::wstring folder = L"C:\\Game\\Telvarine";
  for (int i = 0; i < 99000; ++i) sim::MakeFile(folder + L"\\f" + std::to_wstring(i) + L".dat");
  for (int i = 0; i < 1000; ++i) sim::MakeFile(folder + L"\\d" + std::to_wstring(i) + L"\\x.dat");
  sim::MakeFile(L"C:\\Game\\game.exe");
  sim::SetModuleFileName(L"C:\\Bin\\tvuninst.exe");
  RunRecord record;
  EXPECT_TRUE(RemoveProductFolder(L"C:\\Game", record));
  EXPECT_FALSE(sim::Exists(folder));
  EXPECT_TRUE(sim::Exists(L"C:\\Game\\game.exe"));
  EXPECT_EQ(sim::CallsNamed("DeleteFileW").size(), 100000u);
}

}  // namespace

// Another process swaps a directory of the folder for a link while the folder
// is being deleted. Whatever the moment, nothing outside the folder is touched.
namespace swap_race {

const std::wstring kFolder = L"C:\\Games\\Title\\Telvarine";
const std::wstring kOutside = L"C:\\Windows\\System";

void StageFolder() {
  sim::MakeFile(kOutside + L"\\canary.dll");
  sim::MakeFile(kOutside + L"\\Drivers\\canary.sys");
  sim::MakeDirectory(kOutside + L"\\Empty");
  sim::MakeFile(kFolder + L"\\a.dat");
  sim::MakeFile(kFolder + L"\\A\\one.dat");
  sim::MakeFile(kFolder + L"\\A\\two.dat");
  sim::MakeFile(kFolder + L"\\B\\C\\three.dat");
  sim::MakeFile(kFolder + L"\\B\\four.dat");
  sim::MakeDirectory(kFolder + L"\\D");
  sim::MakeFile(kFolder + L"\\z.dat");
}

bool OutsideIntact() {
  return sim::Exists(kOutside + L"\\canary.dll") && sim::Exists(kOutside + L"\\Drivers\\canary.sys") &&
         sim::Exists(kOutside + L"\\Empty");
}

using SwapRaceTest = SimTest;

TEST_F(SwapRaceTest, NoSwapPointReachesOutsideTheFolder) {
  StageFolder();
  ASSERT_TRUE(DeleteDirectoryTree(kFolder.c_str()));
  const size_t calls = sim::Calls().size();

  const std::wstring targets[] = {kFolder, kFolder + L"\\A", kFolder + L"\\B", kFolder + L"\\B\\C",
                                  kFolder + L"\\D"};
  // Only Windows' own links: a Unix symbolic link is made from Linux, by a
  // process that Windows sharing does not stop and whose link a handle does
  // not show, as docs/reference.md says.
  const DWORD tags[] = {static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT),
                        static_cast<DWORD>(IO_REPARSE_TAG_SYMLINK)};
  int done = 0;
  int refused = 0;
  for (const std::wstring& target : targets) {
    for (DWORD tag : tags) {
      for (size_t ordinal = 1; ordinal <= calls + 1; ++ordinal) {
        sim::Reset();
        StageFolder();
        sim::SwapForLinkAt(ordinal, target, kOutside, tag);
        DeleteDirectoryTree(kFolder.c_str());
        EXPECT_TRUE(OutsideIntact()) << sim::Narrow(target) << " swapped at call " << ordinal << " tag "
                                     << tag;
        EXPECT_EQ(sim::OpenHandlesTotal(), 0) << sim::Narrow(target) << " at call " << ordinal;
        done += sim::LastSwap() == sim::SwapResult::Done;
        refused += sim::LastSwap() == sim::SwapResult::Refused;
      }
    }
  }
  // Both outcomes happen: swaps before a directory is held succeed, and are
  // seen; swaps while it is held are refused by the sharing.
  EXPECT_GT(done, 0);
  EXPECT_GT(refused, 0);
  std::printf("swap points: %d swapped in, %d refused by the held handle\n", done, refused);
}

// A directory that is held open by the deletion cannot be taken away.
TEST_F(SwapRaceTest, HeldDirectoryCannotBeSwapped) {
  StageFolder();
  // The first calls: the folder's own record (open, close), then its handle.
  sim::SwapForLinkAt(4, kFolder, kOutside, IO_REPARSE_TAG_MOUNT_POINT);
  EXPECT_TRUE(DeleteDirectoryTree(kFolder.c_str()));
  EXPECT_EQ(sim::CallNames()[2], "CreateFileW");
  EXPECT_EQ(sim::LastSwap(), sim::SwapResult::Refused);
  EXPECT_FALSE(sim::Exists(kFolder));
}

// Swapped in between the listing and the descent: the handle shows the link,
// which is removed as a link.
TEST_F(SwapRaceTest, LinkSwappedInAfterTheListingIsNotEntered) {
  StageFolder();
  DeleteDirectoryTree(kFolder.c_str());
  size_t descent = 0;  // the ordinal of the call that opens A
  while (descent < sim::Calls().size() &&
         sim::Calls()[descent].args.rfind(sim::Narrow(kFolder) + "\\A,", 0) != 0) {
    ++descent;
  }
  ASSERT_EQ(sim::Calls()[descent].name, "CreateFileW");

  Restart();
  StageFolder();
  sim::SwapForLinkAt(descent + 1, kFolder + L"\\A", kOutside, IO_REPARSE_TAG_MOUNT_POINT);
  EXPECT_FALSE(DeleteDirectoryTree(kFolder.c_str())) << "the renamed directory came after the listing";
  EXPECT_EQ(sim::LastSwap(), sim::SwapResult::Done);
  EXPECT_TRUE(OutsideIntact());
  EXPECT_FALSE(sim::Exists(kFolder + L"\\A")) << "the link itself is removed";
  EXPECT_TRUE(sim::Exists(kFolder + L"\\A~moved\\one.dat"));
  EXPECT_TRUE(sim::CallsNamed("RemoveDirectoryW").size() >= 1u);
}

TEST_F(SwapRaceTest, OpenThatFailsStopsTheDeletion) {
  StageFolder();
  sim::FailCall("CreateFileW", ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(DeleteDirectoryTree(kFolder.c_str()));
  EXPECT_TRUE(sim::Exists(kFolder + L"\\a.dat"));
  sim::FailCall("GetFileInformationByHandleEx", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteDirectoryTree(kFolder.c_str()));
  EXPECT_TRUE(sim::Exists(kFolder + L"\\a.dat"));
}

TEST_F(SwapRaceTest, DirectoryHeldWithoutDeleteSharingByAnotherProcess) {
  StageFolder();
  sim::HoldOpen(kFolder + L"\\B\\C");
  EXPECT_FALSE(DeleteDirectoryTree(kFolder.c_str()));
  EXPECT_FALSE(sim::Exists(kFolder + L"\\B\\C\\three.dat")) << "its contents can go";
  EXPECT_TRUE(sim::Exists(kFolder + L"\\B\\C"));
  EXPECT_TRUE(sim::Exists(kFolder + L"\\z.dat"));
}

}  // namespace swap_race
