#pragma once

#include "app/options.h"
#include "folder/wide_path.h"

// False only when the executable directory cannot be determined.
bool RemoveProductFolder(UninstallOptions& options);
bool ProductFolderVisitor(const WidePath& fullPath, const WidePath& name, void* context);
