#include "product.h"

const char* const ProductServices[kProductServiceCount] = {"kvdrNT2", "kvtlsvc", "brenserv"};
const char ProductDriverService[] = "kvdrNT2";

// Children come before their parents wherever a key is deleted KeyOnly. The
// vendor path is spelled two ways; registry names ignore case.
// clang-format off
const RegistryCleanupEntry RegistryCleanupList[kRegistryCleanupCount] = {
    {HKEY_CURRENT_USER,   "Software\\MirelNetwork\\kVelnoraTelvarine\\TelvarineError",    KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine",         KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane",           KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine\\Dranwick",          KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine\\Ostermere",         KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine\\Ravelin",           KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine",                    KeyOnly},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork\\kVelnoraTelvarine",                    KeyTree},
    {HKEY_CURRENT_USER,   "Software\\MIRELNetwork",                                       KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine",         KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane",           KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine\\Dranwick",          KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine\\Ostermere",         KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine\\Ravelin",           KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine",                    KeyOnly},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork\\kVelnoraTelvarine",                    KeyTree},
    {HKEY_LOCAL_MACHINE,  "Software\\MIRELNetwork",                                       KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\KVDRNT2\\Security",       KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\KVDRNT2\\Enum",           KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\KVDRNT2",                 KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\brenserv\\Security",      KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\brenserv\\Enum",          KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\brenserv",                KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Security",       KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Enum",           KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc",                 KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc",                 KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\dump_qelrmx",             KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\TVKernel",                KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Services\\TVKernel64",              KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\ControlSet002\\Services\\kvtlsvc",                     KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\ControlSet002\\Services\\dump_qelrmx",                 KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\ControlSet002\\Services\\TVKernel",                    KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\ControlSet002\\Services\\TVKernel64",                  KeyTree},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0000", KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV",       KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC\\0000",  KeyOnly},
    {HKEY_LOCAL_MACHINE,  "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC",        KeyOnly},
};
// clang-format on
const char* const RegistrySystemKeys[kRegistrySystemKeyCount] = {
    "Software",
    "SYSTEM\\CurrentControlSet\\Services",
    "SYSTEM\\ControlSet002\\Services",
    "SYSTEM\\CurrentControlSet\\Enum\\Root",
};
const char ServiceKeyPrefix[] = "SYSTEM\\CurrentControlSet\\Services\\";

const char* const SystemModuleList[kSystemModuleCount] = {
    "\\kvdrNT2.sys",
    "\\kvdr9x.vxd",
    "\\Corvane.des",
};

const wchar_t ProductFolderName[] = L"Telvarine";
