#pragma once

#include "app/options.h"
#include "folder/directory_tree.h"

// False only when the executable directory cannot be determined. `tally`, when
// given, receives what the search and the deletion did.
bool RemoveProductFolder(UninstallOptions& options, WalkTally* tally = nullptr);
// `tally` is the WalkTally of the deletion, or null.
bool ProductFolderVisitor(const WidePath& fullPath, const WidePath& name, void* tally);
