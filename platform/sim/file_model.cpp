// The simulated file system's rules, shared by its calls: sharing, listings,
// deletion, and the swap that another process makes.
#include <algorithm>

#include "state.h"

namespace sim {

bool TakesPartInSharing(DWORD access) {
  const DWORD data =
      FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_EXECUTE | GENERIC_READ | GENERIC_WRITE;
  return (access & (data | DELETE)) != 0;
}

bool DeleteBlocked(const Node* node) {
  if (node->heldOpen) return true;
  for (const auto& entry : TheWorld().fileHandles) {
    const FileHandle& handle = entry.second;
    if (handle.node == node && TakesPartInSharing(handle.access) && !(handle.share & FILE_SHARE_DELETE)) {
      return true;
    }
  }
  return false;
}

bool SharingRefused(const Node* node, DWORD access, DWORD share) {
  if ((access & DELETE) && DeleteBlocked(node)) return true;
  if (!TakesPartInSharing(access) || (share & FILE_SHARE_DELETE)) return false;
  for (const auto& entry : TheWorld().fileHandles) {
    if (entry.second.node == node && (entry.second.access & DELETE)) return true;
  }
  return false;
}

HANDLE AddFileHandle(Node* node, DWORD access, DWORD share) {
  const uintptr_t handle = TheWorld().nextHandle++;
  TheWorld().fileHandles[handle] = {node, access, share, 0, false, Listing()};
  CountOpen(HandleKind::File);
  return reinterpret_cast<HANDLE>(handle);
}

// Another process's hold keeps the name until it ends, unless the name went
// with POSIX semantics.
static bool Listed(const Node* node) {
  return node->parent && node->parent->children[node->slot].get() == node;
}

void LastHandleClosed(Node* node) {
  if (!node->deletePending || !Listed(node)) return;
  if (!node->posixDelete) {
    if (node->sharedHoldUntil > TheWorld().paused) return;
    for (const auto& entry : TheWorld().fileHandles) {
      if (entry.second.node == node) return;
    }
  }
  RemoveChild(node);
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

static WIN32_FIND_DATAW RecordOf(const Node& node, const std::wstring& name) {
  WIN32_FIND_DATAW record = WIN32_FIND_DATAW();
  record.dwFileAttributes = node.attributes;
  if (node.IsLink()) record.dwReserved0 = node.reparseTag;
  wcsncpy(record.cFileName, name.c_str(), MAX_PATH - 1);
  return record;
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

void ListDirectory(Node* directory, Listing* listing) {
  if (directory->parent) {  // a drive root has no dot entries
    listing->records.push_back(RecordOf(*directory, L"."));
    listing->records.push_back(RecordOf(*directory->parent, L".."));
  }
  for (Node* child : Ordered(directory)) listing->records.push_back(RecordOf(*child, child->name));
  listing->failAfter = directory->failAfter;
  listing->failAfterError = directory->failAfterError;
}

void EndHolds(DWORD milliseconds) {
  World& w = TheWorld();
  w.paused += milliseconds;
  for (Node* node : w.sharedHolds) {
    if (node->sharedHoldUntil == 0 || node->sharedHoldUntil > w.paused) continue;
    node->sharedHoldUntil = 0;
    LastHandleClosed(node);
  }
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

BOOL DeleteFileAt(const std::wstring& path) {
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
