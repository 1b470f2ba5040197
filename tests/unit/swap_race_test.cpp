// Another process swaps a directory of the folder for a link while the folder
// is being deleted. Whatever the moment, nothing outside the folder is touched.
#include "folder/product_folder.h"
#include "sim_test.h"

namespace {

const std::wstring kFolder = L"C:\\Games\\Title\\Telvarine";
const std::wstring kOutside = L"C:\\Windows\\System";

void Stage() {
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
  Stage();
  ASSERT_TRUE(DeleteDirectoryTree(kFolder.c_str()));
  const size_t calls = sim::Calls().size();

  const std::wstring targets[] = {kFolder, kFolder + L"\\A", kFolder + L"\\B", kFolder + L"\\B\\C",
                                  kFolder + L"\\D"};
  // Only Windows' own links: a Unix symbolic link is made from Linux, by a
  // process that Windows sharing does not stop and whose link a handle does
  // not show, as the README says.
  const DWORD tags[] = {static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT),
                        static_cast<DWORD>(IO_REPARSE_TAG_SYMLINK)};
  int done = 0;
  int refused = 0;
  for (const std::wstring& target : targets) {
    for (DWORD tag : tags) {
      for (size_t ordinal = 1; ordinal <= calls + 1; ++ordinal) {
        sim::Reset();
        Stage();
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

// The search holds every directory from its root down to the one it lists,
// and the directory given with -a is held, while the folder goes: whatever the
// moment of the swap, the search never walks outside, and no Telvarine folder
// out there is found.
TEST_F(SwapRaceTest, NoSwapPointLeadsTheSearchOrTheGivenDirectoryOutside) {
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
    UninstallOptions options;
    options.installDir = layout.installDir;
    RemoveProductFolder(options);
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

// A directory that is held open by the deletion cannot be taken away.
TEST_F(SwapRaceTest, HeldDirectoryCannotBeSwapped) {
  Stage();
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
  Stage();
  DeleteDirectoryTree(kFolder.c_str());
  size_t descent = 0;  // the ordinal of the call that opens A
  while (descent < sim::Calls().size() &&
         sim::Calls()[descent].args.rfind(sim::Narrow(kFolder) + "\\A,", 0) != 0) {
    ++descent;
  }
  ASSERT_EQ(sim::Calls()[descent].name, "CreateFileW");

  sim::Reset();
  Stage();
  sim::SwapForLinkAt(descent + 1, kFolder + L"\\A", kOutside, IO_REPARSE_TAG_MOUNT_POINT);
  EXPECT_FALSE(DeleteDirectoryTree(kFolder.c_str())) << "the renamed directory came after the listing";
  EXPECT_EQ(sim::LastSwap(), sim::SwapResult::Done);
  EXPECT_TRUE(OutsideIntact());
  EXPECT_FALSE(sim::Exists(kFolder + L"\\A")) << "the link itself is removed";
  EXPECT_TRUE(sim::Exists(kFolder + L"\\A~moved\\one.dat"));
  EXPECT_TRUE(sim::CallsNamed("RemoveDirectoryW").size() >= 1u);
}

TEST_F(SwapRaceTest, OpenThatFailsStopsTheDeletion) {
  Stage();
  sim::FailCall("CreateFileW", ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(DeleteDirectoryTree(kFolder.c_str()));
  EXPECT_TRUE(sim::Exists(kFolder + L"\\a.dat"));
  sim::FailCall("GetFileInformationByHandleEx", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteDirectoryTree(kFolder.c_str()));
  EXPECT_TRUE(sim::Exists(kFolder + L"\\a.dat"));
}

TEST_F(SwapRaceTest, DirectoryHeldWithoutDeleteSharingByAnotherProcess) {
  Stage();
  sim::HoldOpen(kFolder + L"\\B\\C");
  EXPECT_FALSE(DeleteDirectoryTree(kFolder.c_str()));
  EXPECT_FALSE(sim::Exists(kFolder + L"\\B\\C\\three.dat")) << "its contents can go";
  EXPECT_TRUE(sim::Exists(kFolder + L"\\B\\C"));
  EXPECT_TRUE(sim::Exists(kFolder + L"\\z.dat"));
}

}  // namespace
