// What belongs to the product: its services, its registry keys, its
// system-directory modules and the name of its folder in a game. Each target
// tvuninst looks for is named here, once; what lies below one (the folder's
// contents, a whole-tree row's subkeys) is found by the walks.
#pragma once

#include "platform/platform.h"

const int kProductServiceCount = 3;
// In the order they are marked for deletion.
extern const char* const ProductServices[kProductServiceCount];
// The kernel driver's service, asked to stop before it is marked.
extern const char ProductDriverService[];

enum RegistryDeleteMethod {
  KeyOnly,  // the key alone, only when it has no subkeys
  KeyTree,  // the key with everything below it
};

struct RegistryCleanupEntry {
  HKEY hive;
  const char* keyPath;
  RegistryDeleteMethod method;
};

const int kRegistryCleanupCount = 38;
extern const RegistryCleanupEntry RegistryCleanupList[kRegistryCleanupCount];
// The system's keys that the rows lie below, in either hive: opened by path as
// the platform resolves them. Every key below them is the product's.
const int kRegistrySystemKeyCount = 4;
extern const char* const RegistrySystemKeys[kRegistrySystemKeyCount];
// Where a service's own key lives: deleting the service takes it.
extern const char ServiceKeyPrefix[];

const int kSystemModuleCount = 3;
// Each name after the backslash that joins it to the system directory.
extern const char* const SystemModuleList[kSystemModuleCount];

// The product folder inside a game installation, any letter case.
extern const wchar_t ProductFolderName[];
