// What the two tree walks check before they trust a listed name or enter a
// directory: the walks run elevated, and anyone who can write into the game's
// folders chooses those names and can swap directories while they run.
#pragma once

#include "folder/directory_listing.h"
#include "folder/handle_ops.h"
#include "folder/wide_path.h"
#include "platform/platform.h"

// Opens the directory at `path` as itself (a link is not followed), for
// listing, sharing neither deletion nor renaming: as long as the handle is
// open, nobody can rename the directory or replace it by a link. `self`
// receives what the handle shows. INVALID_HANDLE_VALUE on failure, with the
// reason in the last error. A bare drive "X:" stands for its root.
HANDLE OpenAsItself(const wchar_t* path, FILE_ATTRIBUTE_TAG_INFO* self);

// `path` as the walks open a root: absolute (GetFullPathNameW; "C:" stands for
// its root, as it always has here), no trailing separator but a root's, in
// the "\\?\" form ("\\server\share\x" as "\\?\UNC\server\share\x"), which
// no length limit and no further parsing applies to. False with the last error.
bool LongFormOf(const WidePath& path, WidePath* form);
// OpenAsItself of `path` in that form.
HANDLE OpenRootAsItself(const WidePath& path, FILE_ATTRIBUTE_TAG_INFO* self);

// Opens the directory `entry` that the held `parent` lists as itself, relative
// to `parent` by its name as listed, with the access and sharing OpenAsItself asks.
HANDLE OpenChildAsItself(HANDLE parent, const ListedEntry& entry, FILE_ATTRIBUTE_TAG_INFO* self);

// A directory, and not a link to one.
bool IsPlainDirectory(const FILE_ATTRIBUTE_TAG_INFO& self);

// Whether the final path `file` lies inside the final path `directory`, case aside.
bool LiesInside(const WidePath& file, const WidePath& directory);
// Only "not found" means not there; any other error may hide what is there.
bool IsNotFound(DWORD error);
