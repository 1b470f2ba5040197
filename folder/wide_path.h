// Wide paths of the product folder removal and the operations on them.
#pragma once

#include <string>

// UTF-16 code units with an explicit length; a memory failure ends the process.
typedef std::wstring WidePath;

// The directory of the running executable; false, with the line that says
// why in `failure`, when it cannot be determined.
bool FindExecutableDirectory(WidePath& directory, WidePath* failure);
void ToLowerInPlace(WidePath& text);
bool EndsWith(const WidePath& text, const WidePath& suffix);
WidePath Concat(const WidePath& base, const wchar_t* tail);
