// The two tree walks over a directory tree: the deletion and the search.
#pragma once

#include <vector>

#include "folder/directory_listing.h"
#include "folder/handle_ops.h"
#include "folder/wide_path.h"
#include "platform/platform.h"
#include "record/run_record.h"

// Shown each sub-directory of a search, with the held directory that lists it
// and its listed entry; returns false to stop the whole search. All three are
// valid only for the duration of the call.
typedef bool (*DirectoryVisitor)(HANDLE parent, const ListedEntry& entry, const WidePath& fullPath,
                                 void* context);

// What a walk did, counted as it went: no extra platform call is made to fill it.
// The deletion allocates nothing for an entry that gets no line of its own.
struct WalkTally {
  WidePath folder;                  // the product folder, set by whoever hands it to the deletion
  bool found = false;               // that folder was there when the deletion began
  unsigned long files = 0;          // files removed
  unsigned long directories = 0;    // directories removed, links removed as links included
  const wchar_t* reason = nullptr;  // why the first entry that stayed did; null while none did
  WidePath firstFailure;            // that entry
  DWORD error = 0;                  // the platform's error for it; 0 when the platform gave none
  DWORD searchError = 0;            // the first open or listing of the search that failed
  std::vector<WidePath> skipped;    // directories the search did not enter: links and unsafe names
  // A preview walks and counts as the deletion would, and changes nothing.
  bool preview = false;
  std::vector<WidePath> linksRemovable;  // preview: links the deletion would remove as links
  std::vector<WidePath> linksLeft;       // preview: links the deletion would leave in place
  RunRecord* record = nullptr;           // where the search's own lines go; none: they are not said
  const WidePath* keep = nullptr;        // a file the folder found must not hold (the log)
  // Milliseconds the run may still pause for entries that another program
  // holds: one budget for the whole run, so that held files cannot stretch it.
  DWORD retryLeft = 2000;
  DispositionMemory disposition;  // how entries are deleted on the folder's volume
};

// Records the first entry that stayed; false, for the caller to return.
bool NoteStayed(WalkTally* tally, const WidePath& path, const wchar_t* reason, DWORD error);
// Removes the directory `self`, as the held directory `parent` lists it, with
// everything below it; `path` only names it in lines. True when it is gone.
bool DeleteDirectoryTree(HANDLE parent, const ListedEntry& self, const WidePath& path,
                         WalkTally* tally = nullptr);
// The entry `name` as the held `directory` lists it: the name in that case
// if listed, else the first listed in another case. False with the error (2
// when it is not listed).
bool FindListed(HANDLE directory, const wchar_t* name, ListedEntry* entry, DWORD* error);
// Shows each sub-directory below `root` to `visitor`, depth first; true when a
// visitor stopped the search.
bool SearchDirectoryTree(void* context, const WidePath& root, DirectoryVisitor visitor,
                         WalkTally* tally = nullptr);
