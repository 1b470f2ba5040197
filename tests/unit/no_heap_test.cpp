// The deletion holds one handle and one listing buffer a level: it allocates
// for its levels, never for an entry that gets no line of its own.
#include <cstdlib>
#include <functional>
#include <new>

#include "folder/directory_tree.h"
#include "folder/walk_checks.h"
#include "sim_test.h"
#include "support/delete_at.h"

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

// The allocations of deleting a folder of `directories` directories, each
// with a read-only file two levels down and a file of its own, and a link.
size_t DeletionAllocations(int directories) {
  sim::Reset();
  const std::wstring folder = L"C:\\Game\\Telvarine";
  for (int d = 0; d < directories; ++d) {
    sim::MakeFile(folder + L"\\Dir" + std::to_wstring(d) + L"\\Sub\\f.dat", FILE_ATTRIBUTE_READONLY);
    sim::MakeFile(folder + L"\\Dir" + std::to_wstring(d) + L"\\g.dat");
  }
  sim::MakeDirectoryLink(folder + L"\\Link", L"C:\\Game", IO_REPARSE_TAG_MOUNT_POINT);
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE game = OpenAsItself(L"C:\\Game", &self);
  ListedEntry entry;
  DWORD error = 0;
  EXPECT_TRUE(FindListed(game, L"Telvarine", &entry, &error));
  const WidePath path = folder;
  bool deleted = false;
  const size_t allocations =
      CountSystemAllocations([&] { deleted = DeleteDirectoryTree(game, entry, path); });
  CloseHandle(game);
  EXPECT_TRUE(deleted);
  EXPECT_FALSE(sim::Exists(folder));
  return allocations;
}

TEST_F(NoHeapTest, DeletionAllocatesForItsLevelsOnly) {
  const size_t few = DeletionAllocations(20);
  EXPECT_EQ(DeletionAllocations(400), few) << "twenty times the entries, the same depth";
  EXPECT_LE(few, 1u) << "one array of levels";
}

// The counter does see the system's allocations: the search's strings are some.
TEST_F(NoHeapTest, SearchAllocationsAreCounted) {
  sim::MakeDirectory(L"C:\\Game\\A\\B");
  EXPECT_GT(CountSystemAllocations([] { SearchDirectoryTree(nullptr, L"C:\\Game", nullptr); }), 0u);
}

}  // namespace
