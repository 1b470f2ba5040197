// The system cleanup steps: the product's services, registry keys and
// system-directory modules. Each step asks what is there before it acts, and
// judges every target through one set of rules: a real run from what is
// there after it acted, a preview from what would be there.
#pragma once

#include <string>
#include <vector>

#include "product.h"
#include "record/run_record.h"

// ---- Services ----

// Both return false with the failing call's error as the last error.
bool StopServiceByName(const char* serviceName);
bool DeleteServiceByName(const char* serviceName);
// The service's current state; false when it cannot be asked (1060: not installed).
bool QueryServiceState(const char* serviceName, DWORD* state);
// Whether the service is already marked for deletion: the service manager
// tells only by refusing a configuration change with 1072. False, with the
// last error, when that cannot be asked.
bool IsServiceMarked(const char* serviceName, bool* marked);

// What was asked of one service before the step, and what the step did.
struct ServiceTrace {
  const char* name;
  DWORD error;        // 0: installed; 1060: not installed; anything else: not known
  DWORD state;        // when installed
  bool markedBefore;  // marked for deletion before this run
  bool marked;        // this run's deletion request was accepted
  DWORD markError;    // why it was not
};

void NoteServices(ServiceTrace (&traces)[kProductServiceCount]);
// Stops the driver and marks every service for deletion.
void RemoveServices(ServiceTrace (&traces)[kProductServiceCount]);
// One line per service: judged after the folder step, when a driver asked
// to stop has had time to go; a preview judges what the step would leave.
void ReportServices(RunRecord& record, const ServiceTrace (&traces)[kProductServiceCount]);
// The services whose keys go with them during the step: a preview's registry
// step must not count them as kept.
std::vector<std::string> ServicesGoneAtOnce(const ServiceTrace (&traces)[kProductServiceCount]);

// ---- Registry ----

// What the step asked of one row's key, and what the row did.
struct KeyTrace {
  LSTATUS before;   // 0: there; ERROR_FILE_NOT_FOUND: not there; anything else: not known
  bool belowLink;   // a key above it is a link: nothing below the link was opened
  LSTATUS result;   // the row's deletion (a preview: its opens), 0 when it succeeded
  bool link;        // the row's key was a link, deleted as itself
  WidePath stayed;  // a whole-tree row: the first key that stayed (a preview: whose open was refused)
};

// Runs the list: each row's key deleted as itself (a whole-tree row bottom-up),
// nothing below a link opened. A preview makes the same opens and deletes nothing.
void CleanRegistry(KeyTrace (&traces)[kRegistryCleanupCount], bool preview);
// The key and everything below it, deleted bottom-up (a preview makes every
// open and deletes nothing); 0, or the first refusal, with `stayed` naming its
// key. `link`: the key itself was a link, deleted as itself.
LSTATUS DeleteRegistryTree(HKEY hive, const WidePath& keyPath, bool preview, WidePath* stayed, bool* link);
// Whether the key is there, asked through the opens the deletion makes: 0 when
// it is, ERROR_FILE_NOT_FOUND when it is not (or lies below a link, then
// `belowLink`), anything else when it is not known.
LSTATUS RegistryKeyStatus(HKEY hive, const WidePath& keyPath, bool* belowLink);
// The full paths of the key's subkeys, reached as RegistryKeyStatus reaches
// it; a link holds none. 0, or the error that kept them from being listed whole.
LSTATUS ListRegistrySubkeys(HKEY hive, const WidePath& keyPath, std::vector<WidePath>* subkeys);
// Whether `keyPath` is `top` or lies below it, case aside.
bool IsRegistryKeyAtOrBelow(const WidePath& keyPath, const WidePath& top);
// The rows of the list that name the same key, case aside.
bool SameRegistryKey(const RegistryCleanupEntry& a, const RegistryCleanupEntry& b);

// What each row's key is before anything is removed (the service step already
// takes the keys of the services it deletes).
void NoteRegistryKeys(KeyTrace (&traces)[kRegistryCleanupCount]);
// Runs the list (a preview only opens) and adds one line per key. A preview
// counts the keys of `servicesGone` as gone with their services.
void RemoveRegistryKeys(RunRecord& record, KeyTrace (&traces)[kRegistryCleanupCount],
                        const std::vector<std::string>& servicesGone);

// ---- System modules ----

// The module's path in the system directory; false when the path does not fit
// its buffer, which must hold MAX_PATH characters.
bool SystemModulePath(const char* suffix, char* path);
// Whether the file at the final path `file` is one of the modules.
bool IsSystemModule(const WidePath& file);
// Deletes each module (a preview only asks) and adds one line per module.
// With `rebootOk`, a module in use is queued for deletion at the next restart.
void RemoveSystemModules(RunRecord& record, bool rebootOk);
// Renames the module aside and queues it for deletion at the next restart; true
// when queued, `queued` then holding the path the system will delete. On
// failure the module has its name back, unless `aside` still holds the name
// it was left under; the last error says why. Both buffers hold MAX_PATH.
bool QueueModuleForRestart(const char* path, char* aside, wchar_t* queued);
