// The registry under the two hives the system touches. Names are matched
// without regard to case and kept in the case they were created with. A link
// is followed wherever a path passes through it, and as the last name unless
// it is opened as itself; a name opened relative to a link's own handle is
// looked up in the link's target, as Wine does.
#include "state.h"

namespace sim {

static Key* Hive(HKEY hive) {
  if (hive == HKEY_CURRENT_USER) return &TheWorld().currentUser;
  if (hive == HKEY_LOCAL_MACHINE) return &TheWorld().localMachine;
  return nullptr;
}

static std::string HiveName(HKEY hive) {
  return hive == HKEY_CURRENT_USER ? "HKCU" : hive == HKEY_LOCAL_MACHINE ? "HKLM" : "?";
}

static std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path + "\\") {
    if (c != '\\') {
      part += c;
    } else if (!part.empty()) {
      parts.push_back(part);
      part.clear();
    }
  }
  return parts;
}

static Key* Child(Key* key, const std::string& name) {
  for (auto& child : key->children) {
    if (Upper(child->name) == Upper(name)) return child.get();
  }
  return nullptr;
}

static Key* Walk(Key* start, const std::string& path, bool openLink, int depth = 0);

// The key a link leads to; a chain of links ends after a few steps, as Windows' does.
static Key* Follow(Key* key, int depth) {
  if (!key || !key->IsLink()) return key;
  if (depth > 8) return nullptr;
  return Walk(Hive(key->linkHive), key->linkTarget, false, depth + 1);
}

static Key* Walk(Key* start, const std::string& path, bool openLink, int depth) {
  Key* key = start;
  for (const std::string& name : Components(path)) {
    key = Follow(key, depth);
    if (!key) return nullptr;
    key = Child(key, name);
    if (!key) return nullptr;
  }
  return openLink ? key : Follow(key, depth);
}

// Staging: the literal tree, links not followed.
static Key* Literal(HKEY hive, const std::string& path) {
  Key* key = Hive(hive);
  for (const std::string& name : Components(path)) {
    if (!key) return nullptr;
    key = Child(key, name);
  }
  return key;
}

static void Detach(Key* key) {
  Key* parent = key->parent;
  for (auto it = parent->children.begin(); it != parent->children.end(); ++it) {
    if (it->get() == key) {
      TheWorld().removedKeys.push_back(std::move(*it));
      parent->children.erase(it);
      key->parent = nullptr;
      return;
    }
  }
}

void RemoveKeyTree(HKEY hive, const std::string& path) {
  Key* key = Literal(hive, path);
  if (key && key->parent) Detach(key);
}

void CreateKey(HKEY hive, const std::string& path) {
  Key* key = Hive(hive);
  for (const std::string& name : Components(path)) {
    Key* child = Child(key, name);
    if (!child) {
      key->children.push_back(std::make_unique<Key>());
      child = key->children.back().get();
      child->name = name;
      child->parent = key;
    }
    key = child;
  }
}

void SetValue(HKEY hive, const std::string& path, const std::string& name, const std::string& data) {
  CreateKey(hive, path);
  Literal(hive, path)->values[name] = data;
}

bool KeyExists(HKEY hive, const std::string& path) {
  return Literal(hive, path) != nullptr;
}

void ProtectKey(HKEY hive, const std::string& path, DWORD denied) {
  CreateKey(hive, path);
  Literal(hive, path)->denied = denied;
}

void MakeKeyLink(HKEY hive, const std::string& path, HKEY targetHive, const std::string& target) {
  CreateKey(hive, path);
  Key* link = Literal(hive, path);
  link->linkHive = targetHive;
  link->linkTarget = target;
}

static void Collect(const Key& key, const std::string& prefix, std::vector<std::string>& out) {
  for (const auto& child : key.children) {
    const std::string path = prefix + "\\" + child->name;
    out.push_back(child->IsLink() ? path + " -> " + HiveName(child->linkHive) + "\\" + child->linkTarget
                                  : path);
    Collect(*child, path, out);
  }
}

std::vector<std::string> AllKeys() {
  std::vector<std::string> keys;
  Collect(TheWorld().currentUser, "HKCU", keys);
  Collect(TheWorld().localMachine, "HKLM", keys);
  return keys;
}

// An open key's handle; null for an unknown one.
static KeyHandle* Opened(HKEY key) {
  auto it = TheWorld().keyHandles.find(reinterpret_cast<uintptr_t>(key));
  return it == TheWorld().keyHandles.end() ? nullptr : &it->second;
}

static std::string BaseName(HKEY base) {
  const KeyHandle* handle = Opened(base);
  return handle ? handle->path : HiveName(base);
}

// As NTSTATUS_FROM_WIN32 forms it: the status that maps back to `error`.
static NTSTATUS StatusOf(DWORD error) {
  return static_cast<NTSTATUS>(0xC0070000ul | (error & 0xFFFF));
}

}  // namespace sim

LSTATUS RegOpenKeyExW(HKEY base, LPCWSTR subKey, DWORD options, DWORD access, HKEY* opened) {
  const std::string path = sim::Narrow(subKey ? subKey : L"");
  sim::CallEntry call(
      "RegOpenKeyExW",
      [&] { return sim::BaseName(base) + ", " + path + ", " + sim::Hex(options) + ", " + sim::Hex(access); },
      sim::CallEntry::ReturnsStatus);
  if (call.Failed()) return static_cast<LSTATUS>(call.Error());
  sim::Key* start = sim::Hive(base);
  if (const sim::KeyHandle* handle = sim::Opened(base)) start = handle->key;
  if (!start) return ERROR_INVALID_HANDLE;
  if (start != sim::Hive(base) && !start->parent) return ERROR_KEY_DELETED;
  sim::Key* key = sim::Walk(start, path, (options & REG_OPTION_OPEN_LINK) != 0);
  if (!key) return ERROR_FILE_NOT_FOUND;
  if (key->denied & access) return ERROR_ACCESS_DENIED;
  const uintptr_t handle = sim::TheWorld().nextHandle++;
  sim::TheWorld().keyHandles[handle] = {key, sim::BaseName(base) + (path.empty() ? "" : "\\" + path), access};
  sim::CountOpen(sim::HandleKind::RegistryKey);
  *opened = reinterpret_cast<HKEY>(handle);
  return ERROR_SUCCESS;
}

// Subkeys in the order they were made, as an open key sees them come and go.
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD*, LPWSTR, DWORD*,
                      FILETIME*) {
  sim::CallEntry call(
      "RegEnumKeyExW", [&] { return std::to_string(index); }, sim::CallEntry::ReturnsStatus);
  if (call.Failed()) return static_cast<LSTATUS>(call.Error());
  const sim::KeyHandle* handle = sim::Opened(key);
  if (!handle) return ERROR_INVALID_HANDLE;
  if (!(handle->access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  if (!handle->key->parent) return ERROR_KEY_DELETED;
  if (index >= handle->key->children.size()) return ERROR_NO_MORE_ITEMS;
  const std::wstring child = sim::Widen(handle->key->children[index]->name);
  if (child.size() + 1 > *nameLength) return ERROR_MORE_DATA;
  wmemcpy(name, child.c_str(), child.size() + 1);
  *nameLength = static_cast<DWORD>(child.size());
  return ERROR_SUCCESS;
}

// A link's SymbolicLinkValue is REG_LINK, its target's path in UTF-16 without
// a terminator; any other value is a string.
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, DWORD*, DWORD* type, unsigned char* data, DWORD* size) {
  const std::string value = sim::Narrow(name);
  sim::CallEntry call("RegQueryValueExW", value.c_str(), sim::CallEntry::ReturnsStatus);
  if (call.Failed()) return static_cast<LSTATUS>(call.Error());
  const sim::KeyHandle* handle = sim::Opened(key);
  if (!handle) return ERROR_INVALID_HANDLE;
  if (!(handle->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (!handle->key->parent) return ERROR_KEY_DELETED;
  const sim::Key& open = *handle->key;
  std::wstring text;
  DWORD kind = REG_SZ;
  if (open.IsLink() && sim::Upper(value) == "SYMBOLICLINKVALUE") {
    text =
        sim::Widen("\\Registry\\" + std::string(open.linkHive == HKEY_CURRENT_USER ? "User\\" : "Machine\\") +
                   open.linkTarget);
    kind = REG_LINK;
  } else {
    auto it = open.values.find(value);
    if (it == open.values.end()) return ERROR_FILE_NOT_FOUND;
    text = sim::Widen(it->second) + L'\0';
  }
  const DWORD bytes = static_cast<DWORD>(text.size() * 2);
  if (type) *type = kind;
  if (data && size && *size < bytes) {
    *size = bytes;
    return ERROR_MORE_DATA;
  }
  for (size_t i = 0; data && i < text.size(); ++i) {
    data[2 * i] = static_cast<unsigned char>(text[i] & 0xFF);
    data[2 * i + 1] = static_cast<unsigned char>((text[i] >> 8) & 0xFF);
  }
  if (size) *size = bytes;
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  sim::CallEntry call("RegCloseKey", "", sim::CallEntry::ReturnsStatus);
  auto it = sim::TheWorld().keyHandles.find(reinterpret_cast<uintptr_t>(key));
  if (it == sim::TheWorld().keyHandles.end()) return ERROR_INVALID_HANDLE;
  sim::TheWorld().keyHandles.erase(it);
  sim::CountClose(sim::HandleKind::RegistryKey);
  return call.Failed() ? static_cast<LSTATUS>(call.Error()) : ERROR_SUCCESS;
}

// The key the handle was opened on, whatever it is: a link opened as itself
// goes alone; a key that still has subkeys is refused (measured: 0xC0000022).
NTSTATUS NtDeleteKey(HANDLE key) {
  const sim::KeyHandle* handle = sim::Opened(static_cast<HKEY>(key));
  sim::CallEntry call(
      "NtDeleteKey", [&] { return handle ? handle->path : std::string("?"); }, sim::CallEntry::ReturnsStatus);
  if (call.Failed()) return sim::StatusOf(call.Error());
  if (!handle) return static_cast<NTSTATUS>(0xC0000008ul);                     // STATUS_INVALID_HANDLE
  if (!(handle->access & DELETE)) return static_cast<NTSTATUS>(0xC0000022ul);  // STATUS_ACCESS_DENIED
  if (!handle->key->parent) return static_cast<NTSTATUS>(0xC000017Cul);        // STATUS_KEY_DELETED
  if (!handle->key->children.empty()) return static_cast<NTSTATUS>(0xC0000022ul);
  sim::Detach(handle->key);
  return STATUS_SUCCESS;
}
