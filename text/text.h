// Text as the system keeps it: UTF-16 code units, as the platform's wide
// calls take them, and UTF-8 for what goes to a file or a pipe.
#pragma once

#include <string>

// UTF-16 code units with an explicit length; a memory failure ends the process.
typedef std::wstring WidePath;

// ASCII names (services, keys, module paths) as wide text.
WidePath Widen(const char* text);
// UTF-8 whatever the width of wchar_t: UTF-16 on Windows, UTF-32 on the host.
std::string Utf8(const WidePath& text);
// A value (an argument, a path, a name) as a line shows it: each control
// character (C0, DEL, C1, the line and paragraph separators) and each `<` as
// <U+XXXX>, so that a value never breaks or forges a line. `<` cannot occur in
// a Windows name, so the form cannot be mistaken for one.
WidePath Shown(const WidePath& value);
// Whether two texts are the same, letter case aside, unit by unit as the
// runtime's towlower has it: the one comparison of names (of files, folders,
// keys) that ignores case.
bool SameText(const WidePath& a, const WidePath& b);
