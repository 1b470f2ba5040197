// Where the product folder of a game installation is, and its removal.
#pragma once

#include "folder/directory_tree.h"
#include "record/run_record.h"

// Finds the folder (below the game directory when tvuninst runs from a tools
// directory, otherwise directly inside `installDir`, "." standing for the
// executable's own directory), removes it, or in a preview counts what would
// go, and adds the folder's judgement to the record. False only when the
// executable directory cannot be determined; the folder is then failed.
// A folder found to hold the run's log is not deleted.
bool RemoveProductFolder(const WidePath& installDir, RunRecord& record);
// Whether the folder holds the file at the final path `file`: asked of the
// folder itself, so that short names, ".." and links cannot hide it.
bool FolderHolds(const WidePath& folder, const WidePath& file);
// The folder that -a names, when -a decides where it is: empty in the tools
// layout, without -a, or when the executable directory is unknown.
WidePath GivenProductFolder(const WidePath& installDir);
// The search's visitor; `tally` is the WalkTally of the deletion.
bool ProductFolderVisitor(HANDLE parent, const ListedEntry& entry, const WidePath& fullPath, void* tally);
// The folder's word from what the walks found, in both modes.
Judgement JudgeProductFolder(const WalkTally& tally);
