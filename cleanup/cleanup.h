// Removal of the product's services, registry keys and system-directory modules.
#pragma once

#include "platform/platform.h"

bool StopServiceByName(const char* serviceName);
bool DeleteServiceByName(const char* serviceName);

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

void CleanRegistry();

const int kSystemModuleCount = 3;
extern const char* const SystemModuleList[kSystemModuleCount];

void DeleteSystemModules();
