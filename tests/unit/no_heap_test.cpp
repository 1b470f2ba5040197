// The recursive deletion works in fixed buffers on each level: it allocates
// no heap memory of its own, whatever the tree.
#include <cstdlib>
#include <functional>
#include <new>

#include "folder/directory_tree.h"
#include "sim_test.h"

namespace {
bool counting = false;
size_t systemAllocations = 0;
}  // namespace

// Allocations made outside every simulated platform call are the system's.
void* operator new(size_t size) {
  if (counting && sim::PlatformCallDepth() == 0) ++systemAllocations;
  void* block = std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  return block;
}

void operator delete(void* block) noexcept {
  std::free(block);
}

#include "support/other_new_forms.h"

void operator delete(void* block, size_t) noexcept {
  std::free(block);
}

namespace {

using NoHeapTest = SimTest;

size_t CountSystemAllocations(const std::function<void()>& work) {
  systemAllocations = 0;
  counting = true;
  work();
  counting = false;
  return systemAllocations;
}

TEST_F(NoHeapTest, DeletionAllocatesNothing) {
  const std::wstring folder = L"C:\\Game\\Telvarine";
  for (int d = 0; d < 20; ++d) {
    sim::MakeFile(folder + L"\\Dir" + std::to_wstring(d) + L"\\Sub\\f.dat", FILE_ATTRIBUTE_READONLY);
    sim::MakeFile(folder + L"\\Dir" + std::to_wstring(d) + L"\\g.dat");
  }
  sim::MakeDirectoryLink(folder + L"\\Link", L"C:\\Game", IO_REPARSE_TAG_MOUNT_POINT);
  bool deleted = false;
  EXPECT_EQ(CountSystemAllocations([&] { deleted = DeleteDirectoryTree(folder.c_str()); }), 0u);
  EXPECT_TRUE(deleted);
}

// The counter does see the system's allocations: the search's strings are some.
TEST_F(NoHeapTest, SearchAllocationsAreCounted) {
  sim::MakeDirectory(L"C:\\Game\\A\\B");
  EXPECT_GT(CountSystemAllocations([] { SearchDirectoryTree(nullptr, L"C:\\Game", nullptr); }), 0u);
}

}  // namespace
