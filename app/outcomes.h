// The run's steps, each with what the platform says before and after it, so
// that every target gets the outcome it really had.
#pragma once

#include "app/options.h"
#include "cleanup/cleanup.h"
#include "folder/directory_tree.h"
#include "platform/platform.h"

const int kProductServiceCount = 3;

// What the service step saw of one service; judged after the folder step,
// when a driver asked to stop has had time to go.
struct ServiceTrace {
  const char* name;
  bool installedBefore;
  bool marked;  // the deletion request was accepted
  DWORD error;  // why it was not
};

void RemoveServices(ServiceTrace (&traces)[kProductServiceCount]);
void ReportServices(const ServiceTrace (&traces)[kProductServiceCount]);
// Which keys of the list are there before anything is removed: the service
// step already takes the keys of the services it deletes.
void NoteRegistryKeys(bool (&before)[kRegistryCleanupCount]);
// The registry rows, one line per key once the whole list has run.
void RemoveRegistryKeys(const bool (&before)[kRegistryCleanupCount]);
// With `rebootOk`, a module in use is queued for deletion at the next restart.
void RemoveSystemModules(bool rebootOk);
void ReportProductFolder(const WalkTally& tally);

// A preview: the same questions, each target told what a real run would do.
void PreviewServices();
void PreviewRegistryKeys();
void PreviewSystemModules();
void ReportProductFolderPreview(const WalkTally& tally);
