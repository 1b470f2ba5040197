// Thousands of seeded random game trees, removed in both layouts. An
// independent model of each tree predicts which folder is selected and
// whether it can go; the simulation must agree, and nothing else may change.
#include <algorithm>
#include <random>

#include "folder/product_folder.h"
#include "sim_test.h"

namespace {

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

// The unsafe names the generator uses, told apart without the product's check.
bool IsPlain(const std::wstring& name) {
  return name != L"dots.." && name != L"..\\up" && name != L"nul.txt" && name != L"trail ";
}

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  bool Chance(int percent) { return Pick(100) < percent; }

  // Some names cannot be joined to a path safely: a separator, a trailing dot,
  // a device. They are listed as they are, and neither walk may use them.
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
      if (!IsPlain(child.name)) {
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
    if (!child->directory || !IsPlain(child->name)) continue;
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

// Whether the deletion can remove the directory at `path` entirely.
bool Removable(const Model& directory, size_t pathLength) {
  if (directory.link) return IsReparseTagNameSurrogate(directory.tag);
  if (pathLength + 4 >= MAX_PATH) return false;
  for (const Model& child : directory.children) {
    const size_t childLength = pathLength + 1 + child.name.size();
    if (childLength >= MAX_PATH || !IsPlain(child.name)) return false;
    if (child.directory ? !Removable(child, childLength) : child.held) return false;
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

      UninstallOptions options;
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
        options.installDir = kGame;
        for (const Model& child : game.children) {
          if (Upper(child.name) == L"TELVARINE") {
            expected = &child;
            expectedPath = kGame + L"\\" + child.name;
          }
        }
        if (expected && !expected->directory) expected = nullptr;  // a file of that name is left alone
      }
      const bool removable = expected && Removable(*expected, expectedPath.size());
      const std::vector<std::string> before = StateOutside(expectedPath);

      ASSERT_TRUE(RemoveProductFolder(options));

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
      EXPECT_EQ(Output(), printed);
      if (HasFailure()) return;
    }
  }
  std::printf("random trees: %d removed, %d kept for what could not go, %d without a folder\n", removed, kept,
              absent);
  EXPECT_GT(removed, 0);
  EXPECT_GT(kept, 0);
  EXPECT_GT(absent, 0);
}

}  // namespace
