// Win32 path handling of the simulated file system: drives, separators of
// both kinds, doubled separators, "." and "..", relative paths, links.
#include <algorithm>

#include "state.h"

namespace sim {

static bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

static wchar_t UpperUnit(wchar_t c) {
  return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool SameName(const Node& directory, const std::wstring& a, const std::wstring& b) {
  if (directory.caseSensitive) return a == b;
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (towupper(a[i]) != towupper(b[i])) return false;
  }
  return true;
}

std::wstring UpperName(const std::wstring& name) {
  std::wstring upper = name;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
  return upper;
}

// Directories can hold a great many entries: names are found through an index.
Node* ChildNamed(Node* directory, const std::wstring& name) {
  auto range = directory->byUpperName.equal_range(UpperName(name));
  for (auto it = range.first; it != range.second; ++it) {
    if (SameName(*directory, it->second->name, name)) return it->second;
  }
  return nullptr;
}

void AddChild(Node* parent, std::unique_ptr<Node> child) {
  if (child->id == 0) child->id = TheWorld().nextId++;
  child->parent = parent;
  child->slot = parent->children.size();
  parent->byUpperName.emplace(UpperName(child->name), child.get());
  parent->children.push_back(std::move(child));
}

static void Unindex(Node* child) {
  auto range = child->parent->byUpperName.equal_range(UpperName(child->name));
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second == child) {
      child->parent->byUpperName.erase(it);
      return;
    }
  }
}

void RemoveChild(Node* child) {
  Node* parent = child->parent;
  Unindex(child);
  TheWorld().removed.push_back(std::move(parent->children[child->slot]));
  ++parent->holes;
  if (parent->holes > 64 && parent->holes * 2 > parent->children.size()) {
    std::vector<std::unique_ptr<Node>> live;
    for (auto& node : parent->children) {
      if (!node) continue;
      node->slot = live.size();
      live.push_back(std::move(node));
    }
    parent->children = std::move(live);
    parent->holes = 0;
  }
}

void RenameChild(Node* child, const std::wstring& name) {
  Unindex(child);
  child->name = name;
  child->parent->byUpperName.emplace(UpperName(name), child);
}

size_t ChildCount(const Node* directory) {
  return directory->children.size() - directory->holes;
}

bool Parse(const std::wstring& path, wchar_t* drive, std::vector<std::wstring>* parts) {
  World& w = TheWorld();
  parts->clear();
  std::wstring rest = path;
  const wchar_t currentDrive = UpperUnit(w.currentDirectory[0]);
  // "\\?\C:\..." is handed on as it is: backslashes separate, nothing else is parsed.
  if (path.compare(0, 4, L"\\\\?\\") == 0 && path.size() >= 7 && path[5] == L':' && path[6] == L'\\') {
    *drive = UpperUnit(path[4]);
    std::wstring part;
    for (wchar_t c : path.substr(7) + L"\\") {
      if (c != L'\\') {
        part += c;
      } else if (!part.empty()) {
        parts->push_back(part);
        part.clear();
      }
    }
    return true;
  }
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return false;
  bool fromRoot = false;
  if (path.size() >= 2 && path[1] == L':' && iswalpha(path[0])) {
    *drive = UpperUnit(path[0]);
    rest = path.substr(2);
    fromRoot = !rest.empty() && IsSeparator(rest[0]);
    if (!fromRoot && *drive != currentDrive) fromRoot = true;  // that drive's root
  } else {
    *drive = currentDrive;
    fromRoot = !rest.empty() && IsSeparator(rest[0]);
  }
  std::wstring joined = fromRoot ? rest : w.currentDirectory.substr(2) + L"\\" + rest;
  std::wstring part;
  for (wchar_t c : joined + L"\\") {
    if (!IsSeparator(c)) {
      part += c;
      continue;
    }
    // Trailing dots and spaces are dropped from a name, as Win32 parsing does.
    if (part != L"." && part != L"..") {
      while (!part.empty() && (part.back() == L'.' || part.back() == L' ')) part.pop_back();
    }
    if (part == L"..") {
      if (!parts->empty()) parts->pop_back();
    } else if (!part.empty() && part != L".") {
      parts->push_back(part);
    }
    part.clear();
  }
  return true;
}

static Node* FollowLink(Node* node, int depth);

Lookup ResolveFrom(const std::wstring& path, int depth) {
  Lookup result;
  wchar_t drive = 0;
  std::vector<std::wstring> parts;
  World& w = TheWorld();
  if (path.empty() || !Parse(path, &drive, &parts) || !w.drives.count(drive) || depth > 32) {
    result.error = ERROR_PATH_NOT_FOUND;
    return result;
  }
  for (const std::wstring& part : parts) {
    if (part.size() > 255) {  // longer than any file system's name
      result.error = ERROR_FILENAME_EXCED_RANGE;
      return result;
    }
  }
  Node* node = w.drives[drive].get();
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i + 1 == parts.size()) {
      result.parent = node;
      result.lastName = parts[i];
      result.node = ChildNamed(node, parts[i]);
      if (!result.node) result.error = ERROR_FILE_NOT_FOUND;
      return result;
    }
    Node* next = ChildNamed(node, parts[i]);
    if (next && next->IsLink()) next = FollowLink(next, depth);
    if (!next || !next->IsDirectory()) {
      result.error = ERROR_PATH_NOT_FOUND;
      return result;
    }
    node = next;
  }
  result.node = node;  // a drive root or the current directory's drive root
  return result;
}

static Node* FollowLink(Node* node, int depth) {
  if (node->linkTarget.empty()) return nullptr;
  return ResolveFrom(node->linkTarget, depth + 1).node;
}

// WOW64: a 32-bit process that names the system directory reaches the
// directory it is redirected to. Tests look at the disk as it is.
Lookup Resolve(const std::wstring& path) {
  const World& w = TheWorld();
  const std::wstring system = Widen(w.systemDirectory);
  if (!w.systemRedirect.empty() && PlatformCallDepth() > 0 && path.size() >= system.size() &&
      UpperName(path.substr(0, system.size())) == UpperName(system) &&
      (path.size() == system.size() || path[system.size()] == L'\\' || path[system.size()] == L'/')) {
    return ResolveFrom(w.systemRedirect + path.substr(system.size()), 0);
  }
  return ResolveFrom(path, 0);
}

Node* ResolveThroughLink(Node* node) {
  return node->IsLink() ? FollowLink(node, 0) : node;
}

std::wstring FullPath(const Node* node) {
  if (!node->parent) return node->name;
  return FullPath(node->parent) + L"\\" + node->name;
}

}  // namespace sim
