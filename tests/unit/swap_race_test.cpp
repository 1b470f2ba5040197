// Another process swaps a directory of the folder for a link while the folder
// is being deleted. Whatever the moment, nothing outside the folder is touched.
#include "folder/wide_path.h"
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
  const DWORD tags[] = {static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT),
                        static_cast<DWORD>(IO_REPARSE_TAG_SYMLINK), 0};
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
