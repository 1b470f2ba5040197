// Trees far deeper than a recursive walk could take on a small stack.
#include <pthread.h>

#include <functional>

#include "folder/product_folder.h"
#include "sim_test.h"

namespace {

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
TEST_F(DeepTreeTest, SearchReachesTheBottomOnA256KiBStack) {
  const std::wstring bottom = MakeDeepTree(L"C:\\Game", 2500);
  sim::MakeDirectory(bottom + L"\\Telvarine");
  sim::MakeDirectory(L"C:\\Game\\tools");
  sim::SetModuleFileName(L"C:\\Game\\tools\\tvuninst.exe");
  bool result = false;
  OnSmallStack(256 * 1024, [&] {
    UninstallOptions options;
    result = RemoveProductFolder(options);
  });
  EXPECT_TRUE(result);
  EXPECT_EQ(Output(), "Found 'Telvarine', stopping recursion.\n");
  // Far too long a path for the deletion's buffers: it is left, untouched,
  // without a call; every level of the search was listed.
  EXPECT_TRUE(sim::Exists(bottom + L"\\Telvarine"));
  EXPECT_EQ(sim::CallsNamed("FindFirstFileW").size(), 2501u);
}

TEST_F(DeepTreeTest, DeepSearchKeepsItsOrderAndClosesEveryListing) {
  const std::wstring bottom = MakeDeepTree(L"C:\\Root", 2000);
  sim::MakeDirectory(bottom + L"\\Last");
  sim::MakeDirectory(L"C:\\Root\\Second");
  std::vector<std::wstring> names;
  auto visit = [](const WidePath&, const WidePath& name, void* context) {
    static_cast<std::vector<std::wstring>*>(context)->push_back(name);
    return true;
  };
  OnSmallStack(256 * 1024, [&] { EXPECT_FALSE(SearchDirectoryTree(&names, L"C:\\Root", visit)); });
  ASSERT_EQ(names.size(), 2002u);
  EXPECT_EQ(names[1999], L"d");
  EXPECT_EQ(names[2000], L"Last");
  EXPECT_EQ(names[2001], L"Second");
  EXPECT_EQ(sim::OpenHandles("find"), 0);
}

}  // namespace
