// The registry under the two hives the system touches. Names are matched
// without regard to case and kept in the case they were created with.
#include "state.h"

namespace sim {

static Key* Hive(HKEY hive) {
  if (hive == HKEY_CURRENT_USER) return &TheWorld().currentUser;
  if (hive == HKEY_LOCAL_MACHINE) return &TheWorld().localMachine;
  return nullptr;
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

// The key at `path` and, through `parent`, the key that holds it.
static Key* FindKey(HKEY hive, const std::string& path, Key** parent) {
  Key* key = Hive(hive);
  *parent = nullptr;
  for (const std::string& name : Components(path)) {
    if (!key) return nullptr;
    *parent = key;
    key = Child(key, name);
  }
  return key;
}

static void Detach(Key* parent, Key* key) {
  for (auto it = parent->children.begin(); it != parent->children.end(); ++it) {
    if (it->get() == key) {
      parent->children.erase(it);
      return;
    }
  }
}

// Deletes what it can below and including `key`; false when something stayed.
static bool DeleteTree(Key* parent, Key* key) {
  bool complete = true;
  while (!key->children.empty()) {
    Key* child = key->children.back().get();
    if (!DeleteTree(key, child)) {
      complete = false;
      break;
    }
  }
  if (!complete || key->isProtected) return false;
  Detach(parent, key);
  return true;
}

void RemoveKeyTree(HKEY hive, const std::string& path) {
  Key* parent = nullptr;
  Key* key = FindKey(hive, path, &parent);
  if (key && parent) Detach(parent, key);
}

void CreateKey(HKEY hive, const std::string& path) {
  Key* key = Hive(hive);
  for (const std::string& name : Components(path)) {
    Key* child = Child(key, name);
    if (!child) {
      key->children.push_back(std::make_unique<Key>());
      child = key->children.back().get();
      child->name = name;
    }
    key = child;
  }
}

void SetValue(HKEY hive, const std::string& path, const std::string& name, const std::string& data) {
  CreateKey(hive, path);
  Key* parent = nullptr;
  FindKey(hive, path, &parent)->values[name] = data;
}

bool KeyExists(HKEY hive, const std::string& path) {
  Key* parent = nullptr;
  return FindKey(hive, path, &parent) != nullptr;
}

void ProtectKey(HKEY hive, const std::string& path) {
  CreateKey(hive, path);
  Key* parent = nullptr;
  FindKey(hive, path, &parent)->isProtected = true;
}

static void Collect(const Key& key, const std::string& prefix, std::vector<std::string>& out) {
  for (const auto& child : key.children) {
    const std::string path = prefix + "\\" + child->name;
    out.push_back(path);
    Collect(*child, path, out);
  }
}

std::vector<std::string> AllKeys() {
  std::vector<std::string> keys;
  Collect(TheWorld().currentUser, "HKCU", keys);
  Collect(TheWorld().localMachine, "HKLM", keys);
  return keys;
}

static std::string HiveName(HKEY hive) {
  return hive == HKEY_CURRENT_USER ? "HKCU" : hive == HKEY_LOCAL_MACHINE ? "HKLM" : "?";
}

}  // namespace sim

// Like Windows, neither call sets the last error: the status is the result.
LSTATUS RegDeleteKeyA(HKEY hive, LPCSTR subKey) {
  sim::CallEntry call(
      "RegDeleteKeyA", [&] { return sim::HiveName(hive) + ", " + subKey; }, sim::CallEntry::ReturnsStatus);
  if (call.Failed()) return static_cast<LSTATUS>(call.Error());
  sim::Key* parent = nullptr;
  sim::Key* key = sim::FindKey(hive, subKey, &parent);
  if (!key || !parent) return ERROR_FILE_NOT_FOUND;
  if (!key->children.empty() || key->isProtected) return ERROR_ACCESS_DENIED;
  sim::Detach(parent, key);
  return ERROR_SUCCESS;
}

LSTATUS SHDeleteKeyA(HKEY hive, LPCSTR subKey) {
  sim::CallEntry call(
      "SHDeleteKeyA", [&] { return sim::HiveName(hive) + ", " + subKey; }, sim::CallEntry::ReturnsStatus);
  if (call.Failed()) return static_cast<LSTATUS>(call.Error());
  sim::Key* parent = nullptr;
  sim::Key* key = sim::FindKey(hive, subKey, &parent);
  if (!key || !parent) return ERROR_FILE_NOT_FOUND;
  return sim::DeleteTree(parent, key) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS RegOpenKeyExA(HKEY hive, LPCSTR subKey, DWORD, DWORD access, HKEY* key) {
  sim::CallEntry call(
      "RegOpenKeyExA", [&] { return sim::HiveName(hive) + ", " + subKey + ", " + sim::Hex(access); },
      sim::CallEntry::ReturnsStatus);
  if (call.Failed()) return static_cast<LSTATUS>(call.Error());
  sim::Key* parent = nullptr;
  if (!sim::FindKey(hive, subKey, &parent)) return ERROR_FILE_NOT_FOUND;
  const uintptr_t handle = sim::TheWorld().nextHandle++;
  sim::TheWorld().keyHandles[handle] = {hive, subKey};
  sim::CountOpen(sim::HandleKind::RegistryKey);
  *key = reinterpret_cast<HKEY>(handle);
  return ERROR_SUCCESS;
}

// Subkeys in the order they were made; the key is looked up again at each
// call, as an open key sees its subkeys come and go.
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameLength, DWORD*, LPSTR, DWORD*,
                      FILETIME*) {
  sim::CallEntry call(
      "RegEnumKeyExA", [&] { return std::to_string(index); }, sim::CallEntry::ReturnsStatus);
  if (call.Failed()) return static_cast<LSTATUS>(call.Error());
  auto it = sim::TheWorld().keyHandles.find(reinterpret_cast<uintptr_t>(key));
  if (it == sim::TheWorld().keyHandles.end()) return ERROR_INVALID_HANDLE;
  sim::Key* parent = nullptr;
  sim::Key* open = sim::FindKey(it->second.first, it->second.second, &parent);
  if (!open) return ERROR_INVALID_HANDLE;  // a deleted key
  if (index >= open->children.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& child = open->children[index]->name;
  if (child.size() + 1 > *nameLength) return ERROR_MORE_DATA;
  memcpy(name, child.c_str(), child.size() + 1);
  *nameLength = static_cast<DWORD>(child.size());
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
