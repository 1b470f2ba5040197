// Wide paths of the product folder removal and the operations on them.
#pragma once

#include "text/text.h"

// The directory of the running executable; false, with the line that says
// why in `failure`, when it cannot be determined.
bool FindExecutableDirectory(WidePath& directory, WidePath* failure);
// Whether `text` ends with `suffix`, letter case aside.
bool EndsWith(const WidePath& text, const WidePath& suffix);
WidePath Concat(const WidePath& base, const wchar_t* tail);
