// The staging surface of the simulated file system, for tests.
#include "state.h"

namespace sim {

// The entry a test names: staging something missing is the test's own fault, and ends it.
static Node* ExistingNode(const std::wstring& path) {
  Node* node = Resolve(path).node;
  if (!node) {
    fprintf(stderr, "sim: no such entry: %s\n", Narrow(path).c_str());
    abort();
  }
  return node;
}

// Creates the entry at `path` with its missing parent directories.
static Node* Create(const std::wstring& path, DWORD attributes) {
  Lookup found = Resolve(path);
  if (found.node) return found.node;
  size_t cut = path.find_last_of(L"\\/");
  if (!found.parent) {
    if (cut == std::wstring::npos) abort();
    Create(path.substr(0, cut), FILE_ATTRIBUTE_DIRECTORY);
    found = Resolve(path);
  }
  Node* parent = found.parent ? ResolveThroughLink(found.parent) : nullptr;
  if (!parent) {
    fprintf(stderr, "sim: cannot create %s (error %lu)\n", Narrow(path).c_str(), found.error);
    abort();
  }
  auto created = std::make_unique<Node>();
  Node* node = created.get();
  node->name = found.lastName;
  node->attributes = attributes;
  AddChild(parent, std::move(created));
  return node;
}

void SwapForLinkAt(size_t ordinal, const std::wstring& path, const std::wstring& target, DWORD tag) {
  Swap& swap = TheWorld().swap;
  swap = Swap();
  swap.ordinal = ordinal;
  swap.path = path;
  swap.target = target;
  swap.tag = tag;
}

SwapResult LastSwap() {
  return TheWorld().swap.result;
}

void ResetFiles() {
  World& w = TheWorld();
  w.drives.clear();
  AddDrive(L'C');
  w.currentDirectory = L"C:\\";
  SetSystemDirectory("C:\\windows\\system32");
}

void SetListingOrder(ListingOrder order) {
  TheWorld().listingOrder = order;
}

void AddDrive(wchar_t letter) {
  auto root = std::make_unique<Node>();
  root->name = std::wstring(1, static_cast<wchar_t>(towupper(letter))) + L":";
  root->id = TheWorld().nextId++;
  TheWorld().drives[static_cast<wchar_t>(towupper(letter))] = std::move(root);
}

void MakeDirectory(const std::wstring& path) {
  Create(path, FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFile(const std::wstring& path, DWORD attributes, DWORD tag) {
  Node* node = Create(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  if (tag) node->attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  node->reparseTag = tag;
}

void MakeEntryNamed(const std::wstring& directory, const std::wstring& name, DWORD attributes) {
  auto entry = std::make_unique<Node>();
  entry->name = name;
  entry->attributes = attributes;
  AddChild(Create(directory, FILE_ATTRIBUTE_DIRECTORY), std::move(entry));
}

void MakeDirectoryLink(const std::wstring& path, const std::wstring& target, DWORD tag) {
  Node* node = Create(path, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  node->reparseTag = tag;
  node->linkTarget = target;
}

void RedirectSystemDirectory(const std::wstring& directory) {
  TheWorld().systemRedirect = directory;
}

const std::vector<std::wstring>& RestartQueue() {
  return TheWorld().restartQueue;
}

std::string FileContent(const std::wstring& path) {
  return ExistingNode(path)->content;
}

void SetLinkCount(const std::wstring& path, DWORD links) {
  ExistingNode(path)->links = links;
}

void SetAttributes(const std::wstring& path, DWORD attributes) {
  ExistingNode(path)->attributes = attributes;
}

void HoldOpen(const std::wstring& path) {
  ExistingNode(path)->heldOpen = true;
}

void HoldWithDeleteSharing(const std::wstring& path, DWORD until) {
  Node* node = ExistingNode(path);
  node->sharedHoldUntil = until;
  TheWorld().sharedHolds.push_back(node);
}

void SetFileType(const std::wstring& path, DWORD type) {
  ExistingNode(path)->fileType = type;
}

void RefuseRemoval(const std::wstring& path) {
  ExistingNode(path)->refuseRemoval = true;
}

void MakeCaseSensitive(const std::wstring& path) {
  ExistingNode(path)->caseSensitive = true;
}

void SetCurrentDirectory(const std::wstring& path) {
  TheWorld().currentDirectory = path;
}

void SetSystemDirectory(const std::string& path) {
  TheWorld().systemDirectory = path;
  // A directory the file system could not hold is only reported, never made.
  const std::wstring directory = Widen(path);
  if (directory.find(L':') == 1 && Resolve(directory).error != ERROR_FILENAME_EXCED_RANGE)
    MakeDirectory(directory);
}

void SetDispositionSupport(DispositionSupport support) {
  TheWorld().dispositionEx = support;
}

DWORD Paused() {
  return TheWorld().paused;
}

bool Exists(const std::wstring& path) {
  return Resolve(path).node != nullptr;
}

DWORD Attributes(const std::wstring& path) {
  Node* node = Resolve(path).node;
  return node ? node->attributes : INVALID_FILE_ATTRIBUTES;
}

static void Collect(const Node& node, const std::wstring& prefix, std::vector<std::wstring>& out) {
  for (const auto& child : node.children) {
    if (!child) continue;
    const std::wstring path = prefix + L"\\" + child->name;
    out.push_back(child->IsDirectory() ? path + L"\\" : path);
    Collect(*child, path, out);
  }
}

std::vector<std::wstring> AllEntries() {
  std::vector<std::wstring> entries;
  for (const auto& drive : TheWorld().drives) Collect(*drive.second, drive.second->name, entries);
  return entries;
}

void FailListingOpen(const std::wstring& directory, DWORD error) {
  Node* node = ExistingNode(directory);
  node->failOpen = true;
  node->failOpenError = error;
}

void FailListingAfter(const std::wstring& directory, size_t after, DWORD error) {
  Node* node = ExistingNode(directory);
  node->failAfter = after;
  node->failAfterError = error;
}

}  // namespace sim
