// The simulated file system: one model behind the narrow and wide calls.
#include <algorithm>

#include "state.h"

namespace sim {

static Node* Require(const std::wstring& path) {
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

// Only an open with data or delete access takes part in sharing.
static bool TakesPartInSharing(DWORD access) {
  return (access & (0x1 | 0x2 | 0x4 | 0x20 | DELETE | GENERIC_READ | 0x40000000ul)) != 0;
}

// Whether a handle of this or another process keeps the entry from being
// deleted, renamed or replaced.
static bool DeleteBlocked(const Node* node) {
  if (node->heldOpen) return true;
  for (const auto& entry : TheWorld().fileHandles) {
    const FileHandle& handle = entry.second;
    if (handle.node == node && TakesPartInSharing(handle.access) && !(handle.share & FILE_SHARE_DELETE)) {
      return true;
    }
  }
  return false;
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

void PerformSwap() {
  Swap& swap = TheWorld().swap;
  Node* node = Resolve(swap.path).node;
  if (!node || DeleteBlocked(node)) {
    swap.result = SwapResult::Refused;
    return;
  }
  const std::wstring name = node->name;
  RenameChild(node, name + L"~moved");
  auto link = std::make_unique<Node>();
  link->name = name;
  link->attributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  link->reparseTag = swap.tag;
  link->linkTarget = swap.target;
  AddChild(node->parent, std::move(link));
  swap.result = SwapResult::Done;
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

void SetAttributes(const std::wstring& path, DWORD attributes) {
  Require(path)->attributes = attributes;
}

void HoldOpen(const std::wstring& path) {
  Require(path)->heldOpen = true;
}

void RefuseRemoval(const std::wstring& path) {
  Require(path)->refuseRemoval = true;
}

void MakeCaseSensitive(const std::wstring& path) {
  Require(path)->caseSensitive = true;
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
  Node* node = Require(directory);
  node->failOpen = true;
  node->failOpenError = error;
}

void FailListingAfter(const std::wstring& directory, size_t after, DWORD error) {
  Node* node = Require(directory);
  node->failAfter = after;
  node->failAfterError = error;
}

static WIN32_FIND_DATAW RecordOf(const Node& node, const std::wstring& name) {
  WIN32_FIND_DATAW record = WIN32_FIND_DATAW();
  record.dwFileAttributes = node.attributes;
  if (node.IsLink()) record.dwReserved0 = node.reparseTag;
  wcsncpy(record.cFileName, name.c_str(), MAX_PATH - 1);
  return record;
}

static bool Matches(const wchar_t* pattern, const wchar_t* name) {
  if (wcscmp(pattern, L"*.*") == 0) return true;  // Win32 matches names without a dot too
  if (*pattern == L'\0') return *name == L'\0';
  if (*pattern == L'*') return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
  if (*name == L'\0') return false;
  if (*pattern != L'?' && towupper(*pattern) != towupper(*name)) return false;
  return Matches(pattern + 1, name + 1);
}

static std::vector<Node*> Ordered(Node* directory) {
  std::vector<Node*> nodes;
  for (auto& child : directory->children) {
    if (child) nodes.push_back(child.get());
  }
  const ListingOrder order = TheWorld().listingOrder;
  if (order == ListingOrder::Reversed) std::reverse(nodes.begin(), nodes.end());
  if (order == ListingOrder::Sorted) {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const Node* a, const Node* b) { return UpperName(a->name) < UpperName(b->name); });
  }
  return nodes;
}

// The records that a listing of `pattern` delivers, or an error.
static bool List(const std::wstring& pattern, Listing* listing, DWORD* error) {
  const size_t cut = pattern.find_last_of(L"\\/");
  const std::wstring last = cut == std::wstring::npos ? pattern : pattern.substr(cut + 1);
  if (last.find_first_of(L"*?") == std::wstring::npos) {
    // No wildcard: the entry itself, which a trailing separator does not name.
    if (last.empty()) {
      *error = ERROR_FILE_NOT_FOUND;
      return false;
    }
    Lookup found = Resolve(pattern);
    if (!found.node || !found.node->parent) {
      *error = found.node ? ERROR_FILE_NOT_FOUND : found.error;
      return false;
    }
    listing->records.push_back(RecordOf(*found.node, found.node->name));
    return true;
  }
  const std::wstring directoryPath = cut == std::wstring::npos ? L"." : pattern.substr(0, cut + 1);
  Node* directory = Resolve(directoryPath).node;
  if (directory) directory = ResolveThroughLink(directory);
  if (!directory || !directory->IsDirectory()) {
    *error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  if (directory->failOpen) {
    *error = directory->failOpenError;
    return false;
  }
  if (directory->parent) {  // a drive root has no dot entries
    if (Matches(last.c_str(), L".")) listing->records.push_back(RecordOf(*directory, L"."));
    if (Matches(last.c_str(), L"..")) listing->records.push_back(RecordOf(*directory->parent, L".."));
  }
  for (Node* child : Ordered(directory)) {
    if (Matches(last.c_str(), child->name.c_str())) listing->records.push_back(RecordOf(*child, child->name));
  }
  if (listing->records.empty()) {
    *error = ERROR_FILE_NOT_FOUND;
    return false;
  }
  listing->failAfter = directory->failAfter;
  listing->failAfterError = directory->failAfterError;
  return true;
}

static BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

static BOOL DeleteFileAt(const std::wstring& path) {
  Lookup found = Resolve(path);
  if (!found.node) return Fail(found.error);
  Node* node = found.node;
  if (!node->parent || node->IsDirectory()) return Fail(ERROR_ACCESS_DENIED);
  if (DeleteBlocked(node)) return Fail(ERROR_SHARING_VIOLATION);
  if (node->attributes & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
  RemoveChild(node);
  return TRUE;
}

}  // namespace sim

using sim::Enter;
using sim::Fail;
using sim::Narrow;
using sim::TheWorld;

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("GetSystemDirectoryA", std::to_string(size), &error)) {
    SetLastError(error);
    return 0;
  }
  const std::string& directory = TheWorld().systemDirectory;
  if (directory.size() + 1 > size) return static_cast<UINT>(directory.size() + 1);
  memcpy(buffer, directory.c_str(), directory.size() + 1);
  return static_cast<UINT>(directory.size());
}

BOOL DeleteFileA(LPCSTR path) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("DeleteFileA", path, &error)) return Fail(error);
  return sim::DeleteFileAt(sim::Widen(path));
}

BOOL DeleteFileW(LPCWSTR path) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("DeleteFileW", Narrow(path), &error)) return Fail(error);
  return sim::DeleteFileAt(path);
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("SetFileAttributesW", Narrow(path) + ", " + sim::Hex(attributes), &error)) return Fail(error);
  sim::Lookup found = sim::Resolve(path);
  if (!found.node) return Fail(found.error);
  const DWORD kept = found.node->attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  DWORD given = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY);
  found.node->attributes = kept | given;
  if (found.node->attributes == 0) found.node->attributes = FILE_ATTRIBUTE_NORMAL;
  return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR path) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("RemoveDirectoryW", Narrow(path), &error)) return Fail(error);
  sim::Lookup found = sim::Resolve(path);
  if (!found.node) return Fail(found.error);
  sim::Node* node = found.node;
  if (!node->IsDirectory()) return Fail(ERROR_DIRECTORY);
  if (node->IsLink() && !IsReparseTagNameSurrogate(node->reparseTag)) {
    // As Wine does with a Unix symbolic link: the call reaches the target.
    node = sim::ResolveThroughLink(node);
    if (!node) return Fail(ERROR_PATH_NOT_FOUND);
  }
  if (!node->parent) return Fail(ERROR_ACCESS_DENIED);
  if (DeleteBlocked(node)) return Fail(ERROR_SHARING_VIOLATION);
  if (node->refuseRemoval) return Fail(ERROR_ACCESS_DENIED);
  if (!node->IsLink() && ChildCount(node) != 0) return Fail(ERROR_DIR_NOT_EMPTY);
  sim::RemoveChild(node);
  return TRUE;
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW record) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("FindFirstFileW", Narrow(pattern), &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  sim::Listing listing;
  if (!sim::List(pattern, &listing, &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  *record = listing.records[0];
  listing.next = 1;
  const uintptr_t handle = TheWorld().nextHandle++;
  TheWorld().listings[handle] = listing;
  sim::CountOpen("find");
  return reinterpret_cast<HANDLE>(handle);
}

BOOL FindNextFileW(HANDLE handle, LPWIN32_FIND_DATAW record) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("FindNextFileW", "", &error)) return Fail(error);
  auto it = TheWorld().listings.find(reinterpret_cast<uintptr_t>(handle));
  if (it == TheWorld().listings.end()) return Fail(ERROR_INVALID_HANDLE);
  sim::Listing& listing = it->second;
  if (listing.next >= listing.failAfter) return Fail(listing.failAfterError);
  if (listing.next >= listing.records.size()) return Fail(ERROR_NO_MORE_FILES);
  *record = listing.records[listing.next++];
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  const bool injected = Enter("FindClose", "", &error);
  auto it = TheWorld().listings.find(reinterpret_cast<uintptr_t>(handle));
  if (it == TheWorld().listings.end()) return Fail(ERROR_INVALID_HANDLE);
  TheWorld().listings.erase(it);
  sim::CountClose("find");
  return injected ? Fail(error) : TRUE;
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  const std::string args =
      Narrow(path) + ", " + sim::Hex(access) + ", " + sim::Hex(share) + ", " + sim::Hex(flags);
  if (Enter("CreateFileW", args, &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  sim::Lookup found = sim::Resolve(path);
  sim::Node* node = found.node;
  // Wine opens a Unix symbolic link (tag 0) as its target even when asked not to follow it.
  if (node && node->IsLink() && (!(flags & FILE_FLAG_OPEN_REPARSE_POINT) || node->reparseTag == 0))
    node = sim::ResolveThroughLink(node);
  DWORD refusal = 0;
  if (disposition != OPEN_EXISTING) {
    refusal = ERROR_INVALID_PARAMETER;  // the simulation opens, it does not create
  } else if (!node) {
    refusal = found.node ? ERROR_PATH_NOT_FOUND : found.error;
  } else if (node->IsDirectory() && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) {
    refusal = ERROR_ACCESS_DENIED;
  } else if ((access & DELETE) && sim::DeleteBlocked(node)) {
    refusal = ERROR_SHARING_VIOLATION;
  } else if (sim::TakesPartInSharing(access) && !(share & FILE_SHARE_DELETE)) {
    for (const auto& entry : TheWorld().fileHandles) {
      if (entry.second.node == node && (entry.second.access & DELETE)) refusal = ERROR_SHARING_VIOLATION;
    }
  }
  if (refusal) {
    SetLastError(refusal);
    return INVALID_HANDLE_VALUE;
  }
  const uintptr_t handle = TheWorld().nextHandle++;
  TheWorld().fileHandles[handle] = {node, access, share};
  sim::CountOpen("file");
  return reinterpret_cast<HANDLE>(handle);
}

BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD size) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  if (Enter("GetFileInformationByHandleEx", std::to_string(infoClass), &error)) return Fail(error);
  auto it = TheWorld().fileHandles.find(reinterpret_cast<uintptr_t>(file));
  if (it == TheWorld().fileHandles.end()) return Fail(ERROR_INVALID_HANDLE);
  if (infoClass != FileAttributeTagInfo || size < sizeof(FILE_ATTRIBUTE_TAG_INFO))
    return Fail(ERROR_INVALID_PARAMETER);
  FILE_ATTRIBUTE_TAG_INFO* tagInfo = static_cast<FILE_ATTRIBUTE_TAG_INFO*>(info);
  tagInfo->FileAttributes = it->second.node->attributes;
  tagInfo->ReparseTag = it->second.node->IsLink() ? it->second.node->reparseTag : 0;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  sim::PlatformCall inPlatform;
  DWORD error = 0;
  const bool injected = Enter("CloseHandle", "", &error);
  auto it = TheWorld().fileHandles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == TheWorld().fileHandles.end()) return Fail(ERROR_INVALID_HANDLE);
  TheWorld().fileHandles.erase(it);
  sim::CountClose("file");
  return injected ? Fail(error) : TRUE;
}
