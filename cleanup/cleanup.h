// Removal of the product's services, registry keys and system-directory modules.
#pragma once

#include "platform/platform.h"

// Both return false with the failing call's error as the last error.
bool StopServiceByName(const char* serviceName);
bool DeleteServiceByName(const char* serviceName);
// The service's current state; false when it cannot be asked (1060: not installed).
bool QueryServiceState(const char* serviceName, DWORD* state);

enum RegistryDeleteMethod {
  KeyOnly,  // RegDeleteKeyA: the key alone, only when it has no subkeys
  KeyTree,  // SHDeleteKeyA: the key with everything below it
};

struct RegistryCleanupEntry {
  HKEY hive;
  const char* keyPath;
  RegistryDeleteMethod method;
};

const int kRegistryCleanupCount = 38;
extern const RegistryCleanupEntry RegistryCleanupList[kRegistryCleanupCount];

// `statuses`, when given, receives each row's result.
void CleanRegistry(LSTATUS* statuses = nullptr);
// Whether the key is there, asked in the view the deletion uses: 0 when it
// is, ERROR_FILE_NOT_FOUND when it is not, anything else when it is not known.
LSTATUS RegistryKeyStatus(HKEY hive, const char* keyPath);
// True when the key holds at least one subkey and the list names none of them:
// what is left belongs to something else.
bool HoldsOnlyUnlistedSubkeys(HKEY hive, const char* keyPath);
// True when a real run would leave the key in place: it, or a key below it
// that the list names, holds a subkey that the list does not name and no
// whole-tree row covers.
bool WouldHoldUnlistedSubkeys(HKEY hive, const char* keyPath);
// The rows of the list that name the same key, case aside.
bool SameRegistryKey(const RegistryCleanupEntry& a, const RegistryCleanupEntry& b);

const int kSystemModuleCount = 3;
extern const char* const SystemModuleList[kSystemModuleCount];

// The module's path in the system directory; false when the path does not fit
// its buffer, which must hold MAX_PATH characters.
bool SystemModulePath(const char* suffix, char* path);
// Renames the module aside and queues it for deletion at the next restart; true
// when queued, `queued` then holding the path the system will delete. On
// failure the module has its name back, unless `aside` still holds the name
// it was left under; the last error says why. Both buffers hold MAX_PATH.
bool QueueModuleForRestart(const char* path, char* aside, wchar_t* queued);
