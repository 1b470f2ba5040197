#include "cleanup/cleanup.h"

// Children come before their parents wherever a key is deleted KeyOnly. The
// vendor path is spelled two ways; registry names ignore case.
const RegistryCleanupEntry RegistryCleanupList[kRegistryCleanupCount] = {
    {HKEY_CURRENT_USER, "Software\\MirelNetwork\\kVelnoraTelvarine\\TelvarineError", RegistryDeleteMethod::KeyOnly},
    {HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine", RegistryDeleteMethod::KeyOnly},
    {HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane", RegistryDeleteMethod::KeyOnly},
    {HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Dranwick", RegistryDeleteMethod::KeyOnly},
    {HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Ostermere", RegistryDeleteMethod::KeyOnly},
    {HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Ravelin", RegistryDeleteMethod::KeyOnly},
    {HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine", RegistryDeleteMethod::KeyOnly},
    {HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine", RegistryDeleteMethod::KeyTree},
    {HKEY_CURRENT_USER, "Software\\MIRELNetwork", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Dranwick", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Ostermere", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Ravelin", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\kVelnoraTelvarine", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\kVelnoraTelvarine", RegistryDeleteMethod::KeyTree},
    {HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KVDRNT2\\Security", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KVDRNT2\\Enum", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KVDRNT2", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\brenserv\\Security", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\brenserv\\Enum", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\brenserv", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Security", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Enum", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc", RegistryDeleteMethod::KeyTree},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\dump_qelrmx", RegistryDeleteMethod::KeyTree},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TVKernel", RegistryDeleteMethod::KeyTree},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TVKernel64", RegistryDeleteMethod::KeyTree},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Services\\kvtlsvc", RegistryDeleteMethod::KeyTree},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Services\\dump_qelrmx", RegistryDeleteMethod::KeyTree},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Services\\TVKernel", RegistryDeleteMethod::KeyTree},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Services\\TVKernel64", RegistryDeleteMethod::KeyTree},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0000", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC\\0000", RegistryDeleteMethod::KeyOnly},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC", RegistryDeleteMethod::KeyOnly},
};

void CleanRegistry() {
  for (const RegistryCleanupEntry& entry : RegistryCleanupList) {
    if (entry.method == RegistryDeleteMethod::KeyOnly) {
      RegDeleteKeyA(entry.hive, entry.keyPath);
    } else {
      SHDeleteKeyA(entry.hive, entry.keyPath);
    }
  }
}
