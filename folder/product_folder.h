// Where the product folder of a game installation is, and its removal.
#pragma once

#include "folder/directory_tree.h"
#include "record/run_record.h"

// Finds the folder (below the game directory when tvuninst runs from a tools
// directory, otherwise directly inside `installDir`, "." standing for the
// executable's own directory), removes it, or in a preview counts what would
// go, and adds the folder's judgement to the record. False only when the
// executable directory cannot be determined; the folder is then failed.
bool RemoveProductFolder(const WidePath& installDir, RunRecord& record);
// The search's visitor; `tally` is the WalkTally of the deletion.
bool ProductFolderVisitor(const WidePath& fullPath, const WidePath& name, void* tally);
// The folder's word from what the walks found, in both modes.
Judgement JudgeProductFolder(const WalkTally& tally);
