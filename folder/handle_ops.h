// Acting on an entry through handles: what the elevated run opens below a
// directory it holds is reached by that handle and a name, never by a path
// rebuilt from names, so nobody can swap a directory on the way meanwhile.
#pragma once

#include "folder/wide_path.h"
#include "platform/platform.h"

// Opens the entry `name` (one name of `length` units, as listed: no parsing
// changes it) of the directory open on `parent`, as itself: a link is opened,
// not followed. Names compare without regard to case; I/O is synchronous;
// `directory` says which kind the entry must be. INVALID_HANDLE_VALUE on
// failure, with the platform's status in `status` (when given) and its Win32
// error in the last error.
HANDLE OpenRelative(HANDLE parent, const wchar_t* name, size_t length, DWORD access, DWORD share,
                    bool directory, NTSTATUS* status = nullptr);
// Marks the entry open on `handle` (opened with DELETE) for deletion: it goes
// when its last handle closes. False with the status and the last error as above.
bool DisposeOf(HANDLE handle, NTSTATUS* status = nullptr);

// How entries are deleted through their handles on one volume: the newest way
// the platform offers, learned from its answers and then kept.
enum DispositionWay { kPosixIgnoringReadOnly, kPosix, kClassic };
struct DispositionMemory {
  bool known = false;  // a volume has been told
  DWORD volume = 0;    // its serial number
  int way = kPosixIgnoringReadOnly;
};
// Begins `memory` afresh when `handle` lies on another volume than the one it is of.
void RememberVolume(HANDLE handle, DispositionMemory* memory);
// Deletes the entry open on `handle` (opened with DELETE, and a file with
// FILE_WRITE_ATTRIBUTES too), whose attributes are `attributes`: with POSIX
// semantics where the volume has them (the name goes as the handle closes,
// even while another program holds the file), else by the classic
// disposition (the name stays until every handle on it is closed). Where the
// way in use does not ignore a file's read-only flag, the flag is cleared
// through the handle first and restored if the deletion still fails. False
// with the status and the last error as above.
bool DeleteThrough(HANDLE handle, DWORD attributes, DispositionMemory* memory, NTSTATUS* status = nullptr);

// The path by which the system knows what `handle` is open on, as it gives it
// ("\\?\C:\...", "\\?\UNC\..."): links, short names and ".." resolved. False
// with the last error.
bool RawFinalPathOf(HANDLE handle, WidePath* path);
// The same path with "\\?\" dropped.
bool FinalPathOf(HANDLE handle, WidePath* path);
// `path` made absolute from the current directory (of its drive, for "C:x").
// False with the last error.
bool FullPathOf(const WidePath& path, WidePath* full);
