// The one place that knows which platform the system runs on. The system's
// code includes this header and calls every Windows operation by its own name.
#pragma once

#ifdef _WIN32
// windows.h first: the shell headers build on it.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <wctype.h>
#else
#include "sim/win32.h"
#endif
