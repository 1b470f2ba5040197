// The one place that knows which platform the system runs on. The system's
// code includes this header and calls every Windows operation by its own name.
#pragma once

#ifdef _WIN32
// windows.h first: the shell headers build on it.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <winternl.h>

// What the SDK's winternl.h leaves to the driver kit (mingw-w64 declares it).
#ifdef _MSC_VER
#define FileDispositionInformation static_cast<FILE_INFORMATION_CLASS>(13)
extern "C" NTSYSAPI NTSTATUS NTAPI NtSetInformationFile(HANDLE file, PIO_STATUS_BLOCK io, PVOID information,
                                                        ULONG length,
                                                        FILE_INFORMATION_CLASS informationClass);
#endif
#ifndef NT_SUCCESS
#define NT_SUCCESS(status) (static_cast<NTSTATUS>(status) >= 0)
#endif

#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <wctype.h>
#else
#include "sim/win32.h"
#endif
