// The two walks over a directory tree: the deletion and the search.
#pragma once

#include "folder/wide_path.h"

// Removes the directory at `path` with everything below it; true when it is gone.
bool DeleteDirectoryTree(const wchar_t* path);
// Shows each sub-directory below `root` to `visitor`, depth first; true when a
// visitor stopped the search.
bool SearchDirectoryTree(void* context, const WidePath& root, DirectoryVisitor visitor);
