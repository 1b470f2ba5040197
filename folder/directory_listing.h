// One listing loop for both walks: a directory is listed through the handle
// held on it, never by a path, so that what is listed is what is held.
#pragma once

#include <stddef.h>

#include "platform/platform.h"

// A listed entry as the listing's record shows it.
struct ListedEntry {
  DWORD attributes = 0;
  DWORD reparseTag = 0;    // for a reparse point; Wine lists a Unix symbolic link with tag 0
  size_t length = 0;       // of the name, in UTF-16 units
  wchar_t name[256] = {};  // exactly as listed, no file system names longer; terminated
};

// Where a listing stands: the records of the last call and the next one to read.
struct DirectoryListing {
  alignas(8) unsigned char buffer[4096];
  DWORD filled = 0;    // bytes of records the last call delivered
  DWORD next = 0;      // offset of the next record; filled when none is left
  bool begun = false;  // false: the next call restarts at the first entry
};

// Begins the listing again at the first entry, as the directory is then.
void RestartListing(DirectoryListing* listing);
// The next entry other than "." and ".."; false at the end, with `error` 0,
// or when the listing failed, with the platform's error.
bool NextListed(HANDLE directory, DirectoryListing* listing, ListedEntry* entry, DWORD* error);
// Whether a listed name holds a separator: no open relative to its directory
// could address it as one entry.
bool HoldsSeparator(const ListedEntry& entry);
