#include <pthread.h>

#include <functional>

#include "folder/directory_tree.h"
#include "folder/product_folder.h"
#include "sim_test.h"
#include "support/delete_at.h"

namespace {

// Records every visit as "full path|name" and stops at `stopAt`, if any.
struct Recorder {
  std::vector<std::wstring> visits;
  std::wstring stopAt;
  bool deleteShown = false;
};

bool Record(HANDLE parent, const ListedEntry& entry, const WidePath& fullPath, void* context) {
  const WidePath name = entry.name;
  Recorder* recorder = static_cast<Recorder*>(context);
  recorder->visits.push_back(fullPath + L"|" + name);
  if (recorder->deleteShown) DeleteDirectoryTree(parent, entry, fullPath);
  return name != recorder->stopAt;
}

class SearchTreeTest : public SimTest {
 protected:
  Recorder recorder;
  // The search says what it could not list in the run's record.
  bool Search(const std::wstring& root) {
    RunRecord record;
    WalkTally tally;
    tally.record = &record;
    return SearchDirectoryTree(&recorder, root, Record, &tally);
  }
};

TEST_F(SearchTreeTest, OnlyFilesOrEmptyMeansNoVisitAndFalse) {
  sim::MakeFile(L"C:\\Root\\a.txt");
  sim::MakeFile(L"C:\\Root\\b.txt");
  EXPECT_FALSE(Search(L"C:\\Root"));
  sim::MakeDirectory(L"C:\\EmptyDir");
  EXPECT_FALSE(Search(L"C:\\EmptyDir"));
  EXPECT_TRUE(recorder.visits.empty());
  EXPECT_EQ(Output(), "");
}

TEST_F(SearchTreeTest, EmptyDriveRootListsNothing) {
  sim::AddDrive(L'D');
  EXPECT_FALSE(Search(L"D:"));
  EXPECT_EQ(Output(), "");
}

TEST_F(SearchTreeTest, MissingRootPrintsTheError) {
  EXPECT_FALSE(Search(L"C:\\Missing"));
  EXPECT_EQ(Output(), "FindFirstFileW failed, error code: 2\n");
  EXPECT_TRUE(recorder.visits.empty());
}

TEST_F(SearchTreeTest, NestedDirectoriesOutermostFirstWithFullPaths) {
  sim::MakeDirectory(L"C:\\Root\\One\\Two\\Three");
  sim::MakeFile(L"C:\\Root\\One\\file.txt");
  EXPECT_FALSE(Search(L"C:\\Root"));
  const std::vector<std::wstring> expected = {L"C:\\Root\\One|One", L"C:\\Root\\One\\Two|Two",
                                              L"C:\\Root\\One\\Two\\Three|Three"};
  EXPECT_EQ(recorder.visits, expected);
}

TEST_F(SearchTreeTest, DepthFirstEachDirectoryBeforeItsContents) {
  sim::MakeDirectory(L"C:\\Root\\A\\A1");
  sim::MakeDirectory(L"C:\\Root\\A\\A2\\A21");
  sim::MakeDirectory(L"C:\\Root\\B");
  sim::MakeDirectory(L"C:\\Root\\.hidden");
  Search(L"C:\\Root");
  const std::vector<std::wstring> expected = {L"C:\\Root\\A|A",      L"C:\\Root\\A\\A1|A1",
                                              L"C:\\Root\\A\\A2|A2", L"C:\\Root\\A\\A2\\A21|A21",
                                              L"C:\\Root\\B|B",      L"C:\\Root\\.hidden|.hidden"};
  EXPECT_EQ(recorder.visits, expected);
}

TEST_F(SearchTreeTest, StopAtFirstDirectoryLooksNoFurther) {
  sim::MakeDirectory(L"C:\\Root\\First\\Inner");
  sim::MakeDirectory(L"C:\\Root\\Second");
  recorder.stopAt = L"First";
  EXPECT_TRUE(Search(L"C:\\Root"));
  EXPECT_EQ(recorder.visits, std::vector<std::wstring>{L"C:\\Root\\First|First"});
  EXPECT_EQ(Listings(), 1u) << "only up to the first directory";
}

TEST_F(SearchTreeTest, StopDeepInTheTreeEndsEveryLevel) {
  sim::MakeDirectory(L"C:\\Root\\A\\B\\Stop");
  sim::MakeDirectory(L"C:\\Root\\A\\B\\After");
  sim::MakeDirectory(L"C:\\Root\\A\\After");
  sim::MakeDirectory(L"C:\\Root\\After");
  recorder.stopAt = L"Stop";
  EXPECT_TRUE(Search(L"C:\\Root"));
  EXPECT_EQ(recorder.visits.back(), L"C:\\Root\\A\\B\\Stop|Stop");
  EXPECT_EQ(recorder.visits.size(), 3u);
}

TEST_F(SearchTreeTest, NullVisitorWalksEverythingAndReturnsFalse) {
  sim::MakeDirectory(L"C:\\Root\\A\\B");
  sim::MakeDirectory(L"C:\\Root\\C");
  EXPECT_FALSE(SearchDirectoryTree(nullptr, L"C:\\Root", nullptr));
  EXPECT_EQ(Listings(), 4u);
}

TEST_F(SearchTreeTest, VisitorDeletingWhatItWasShown) {
  sim::MakeFile(L"C:\\Root\\Gone\\x.txt");
  sim::MakeDirectory(L"C:\\Root\\Next");
  recorder.deleteShown = true;
  EXPECT_FALSE(Search(L"C:\\Root"));
  // Each descent finds its directory gone, and the search goes on.
  EXPECT_EQ(Output(), "FindFirstFileW failed, error code: 2\nFindFirstFileW failed, error code: 2\n");
  EXPECT_EQ(recorder.visits.back(), L"C:\\Root\\Next|Next");
  EXPECT_FALSE(sim::Exists(L"C:\\Root\\Gone"));
}

TEST_F(SearchTreeTest, BrokenListingPrintsAndTheParentGoesOn) {
  sim::MakeDirectory(L"C:\\Root\\Broken\\Unseen");
  sim::MakeDirectory(L"C:\\Root\\Broken\\Seen");
  sim::MakeDirectory(L"C:\\Root\\Later");
  sim::FailListingAfter(L"C:\\Root\\Broken", 2, ERROR_ACCESS_DENIED);
  sim::FailListingOpen(L"C:\\Root\\Later", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Search(L"C:\\Root"));
  EXPECT_EQ(Output(), "FindNextFileW failed, error code: 5\nFindFirstFileW failed, error code: 5\n");
  const std::vector<std::wstring> expected = {L"C:\\Root\\Broken|Broken", L"C:\\Root\\Later|Later"};
  EXPECT_EQ(recorder.visits, expected);
}

TEST_F(SearchTreeTest, TrailingBackslashIsJoinedUnchanged) {
  sim::MakeDirectory(L"C:\\Root\\A");
  Search(L"C:\\Root\\");
  EXPECT_EQ(recorder.visits, std::vector<std::wstring>{L"C:\\Root\\\\A|A"});
  EXPECT_EQ(sim::CallsNamed("CreateFileW")[0].rfind("CreateFileW(\\\\?\\C:\\Root, ", 0), 0u)
      << "opened absolute, in the long form, without the separator";
}

// One link kind a case: a Unix symbolic link as Wine shows it, a junction, a
// directory symbolic link.
class SearchLinkTest : public SearchTreeTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(SearchLinkTest, LinksAreShownButNeverEntered) {
  sim::MakeDirectory(L"C:\\Outside\\Telvarine");
  sim::MakeDirectory(L"C:\\Outside\\Inner");
  sim::MakeDirectoryLink(L"C:\\Root\\Link", L"C:\\Outside", GetParam());
  EXPECT_FALSE(Search(L"C:\\Root"));
  EXPECT_EQ(recorder.visits, std::vector<std::wstring>{L"C:\\Root\\Link|Link"});
  EXPECT_EQ(Listings(), 1u);
  EXPECT_TRUE(sim::Exists(L"C:\\Outside\\Telvarine"));
}

INSTANTIATE_TEST_SUITE_P(Tags, SearchLinkTest,
                         ::testing::Values(0ul, static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT),
                                           static_cast<DWORD>(IO_REPARSE_TAG_SYMLINK)));

// Each directory is entered by its name as listed, relative to its parent:
// names that path parsing would change ("data." beside the link "data") are
// shown and entered as themselves. Only a name with a separator is neither
// shown nor entered: it would lead the search elsewhere.
TEST_F(SearchTreeTest, NamesAsListedAndNoSeparators) {
  sim::MakeDirectory(L"C:\\Outside\\Telvarine");
  sim::MakeDirectory(L"C:\\Root\\Game");
  for (const wchar_t* name :
       {L"..\\Outside", L"..\\..\\Outside", L"data.", L".\\.", L"a.", L"up ", L"CON", L"x:y"})
    sim::MakeEntryNamed(L"C:\\Root\\Game", name, FILE_ATTRIBUTE_DIRECTORY);
  sim::MakeDirectoryLink(L"C:\\Root\\Game\\data", L"C:\\Outside", 0);
  sim::MakeDirectoryLink(L"C:\\Root\\Game\\a", L"C:\\Root\\Game", 0);
  sim::MakeDirectory(L"C:\\Root\\Game\\B");
  EXPECT_FALSE(Search(L"C:\\Root\\Game"));
  const std::vector<std::wstring> expected = {L"C:\\Root\\Game\\data.|data.", L"C:\\Root\\Game\\a.|a.",
                                              L"C:\\Root\\Game\\up |up ",     L"C:\\Root\\Game\\CON|CON",
                                              L"C:\\Root\\Game\\x:y|x:y",     L"C:\\Root\\Game\\data|data",
                                              L"C:\\Root\\Game\\a|a",         L"C:\\Root\\Game\\B|B"};
  EXPECT_EQ(recorder.visits, expected) << "nothing of C:\\Outside, nothing twice";
  EXPECT_EQ(Output(), "");
}

// A directory that cannot be opened as itself is reported as one that cannot
// be listed, and the search goes on.
TEST_F(SearchTreeTest, DirectoryThatCannotBeOpenedIsReportedLikeAListing) {
  sim::MakeDirectory(L"C:\\Root\\Locked\\Inner");
  sim::MakeDirectory(L"C:\\Root\\Next");
  // root: full path, open, information, listing; then Locked's open
  sim::FailNthCall(5, ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(Search(L"C:\\Root"));
  EXPECT_EQ(sim::Calls()[4].name, "NtOpenFile");
  EXPECT_EQ(Output(), "FindFirstFileW failed, error code: 32\n");
  const std::vector<std::wstring> expected = {L"C:\\Root\\Locked|Locked", L"C:\\Root\\Next|Next"};
  EXPECT_EQ(recorder.visits, expected);
}

TEST_F(SearchTreeTest, EveryListingClosedWhenStoppedDeep) {
  sim::MakeDirectory(L"C:\\Root\\A\\B\\C\\Stop");
  recorder.stopAt = L"Stop";
  EXPECT_TRUE(Search(L"C:\\Root"));
  EXPECT_EQ(sim::OpenHandles(sim::HandleKind::File), 0);
  EXPECT_EQ(sim::CallsNamed("CloseHandle").size(), 4u);
}

}  // namespace

// Trees far deeper than a recursive walk could take on a small stack.
namespace deep_tree {

// Runs `work` on a thread whose stack holds `bytes`.
void OnSmallStack(size_t bytes, const std::function<void()>& work) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, bytes);
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

std::wstring MakeDeepTree(const std::wstring& root, int depth) {
  std::wstring path = root;
  for (int level = 0; level < depth; ++level) {
    path += L"\\d";
    sim::MakeDirectory(path);
  }
  return path;
}

using DeepTreeTest = SimTest;

// A recursive walk keeps a listing record and strings in each frame, some
// 700 bytes a level: 2,500 levels would need about 1.7 MiB.
TEST_F(DeepTreeTest, BothWalksReachTheBottomOnA256KiBStack) {
  const std::wstring bottom = MakeDeepTree(L"C:\\Game", 2500);
  MakeDeepTree(bottom + L"\\Telvarine", 1000);
  sim::MakeDirectory(L"C:\\Game\\tools");
  sim::SetModuleFileName(L"C:\\Game\\tools\\tvuninst.exe");
  bool result = false;
  OnSmallStack(256 * 1024, [&] {
    RunRecord record;
    result = RemoveProductFolder(L"", record);
  });
  EXPECT_TRUE(result);
  EXPECT_EQ(Plain(Output()), "Found 'Telvarine', stopping recursion.\n");
  // Every level of the search was listed, and the folder, a thousand levels
  // deep in its turn, is gone: no path was built to act on, no limit applies.
  EXPECT_FALSE(sim::Exists(bottom + L"\\Telvarine"));
  EXPECT_TRUE(sim::Exists(bottom));
  EXPECT_EQ(Listings(), 2501u + 1001u);
}

TEST_F(DeepTreeTest, DeepSearchKeepsItsOrderAndClosesEveryListing) {
  const std::wstring bottom = MakeDeepTree(L"C:\\Root", 2000);
  sim::MakeDirectory(bottom + L"\\Last");
  sim::MakeDirectory(L"C:\\Root\\Second");
  std::vector<std::wstring> names;
  auto visit = [](HANDLE, const ListedEntry& entry, const WidePath&, void* context) {
    static_cast<std::vector<std::wstring>*>(context)->push_back(entry.name);
    return true;
  };
  OnSmallStack(256 * 1024, [&] { EXPECT_FALSE(SearchDirectoryTree(&names, L"C:\\Root", visit)); });
  ASSERT_EQ(names.size(), 2002u);
  EXPECT_EQ(names[1999], L"d");
  EXPECT_EQ(names[2000], L"Last");
  EXPECT_EQ(names[2001], L"Second");
  EXPECT_EQ(sim::OpenHandles(sim::HandleKind::File), 0);
}

}  // namespace deep_tree
