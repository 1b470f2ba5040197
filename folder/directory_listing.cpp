#include "folder/directory_listing.h"

void RestartListing(DirectoryListing* listing) {
  listing->filled = 0;
  listing->next = 0;
  listing->begun = false;
}

// Records are copied out field by field: a record's place in the buffer is
// whatever the one before it said, and nothing promises it is aligned.
static bool ReadRecord(const DirectoryListing& listing, ListedEntry* entry, DWORD* following) {
  const size_t header = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
  const unsigned char* record = listing.buffer + listing.next;
  if (listing.filled - listing.next < header) return false;
  DWORD nextOffset = 0, nameBytes = 0, ea = 0;
  memcpy(&nextOffset, record + offsetof(FILE_ID_BOTH_DIR_INFO, NextEntryOffset), sizeof nextOffset);
  memcpy(&entry->attributes, record + offsetof(FILE_ID_BOTH_DIR_INFO, FileAttributes), sizeof(DWORD));
  memcpy(&nameBytes, record + offsetof(FILE_ID_BOTH_DIR_INFO, FileNameLength), sizeof nameBytes);
  memcpy(&ea, record + offsetof(FILE_ID_BOTH_DIR_INFO, EaSize), sizeof ea);
  const size_t length = nameBytes / sizeof(WCHAR);
  if (listing.filled - listing.next - header < nameBytes || length >= 256) return false;
  // A reparse point's tag is given where other records hold the extended attributes' size.
  entry->reparseTag = (entry->attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? ea : 0;
  memcpy(entry->name, record + header, length * sizeof(WCHAR));
  entry->name[length] = L'\0';
  entry->length = length;
  *following = nextOffset == 0 ? listing.filled : listing.next + nextOffset;
  return *following <= listing.filled;
}

static bool IsDotEntry(const ListedEntry& entry) {
  return (entry.length == 1 && entry.name[0] == L'.') ||
         (entry.length == 2 && entry.name[0] == L'.' && entry.name[1] == L'.');
}

bool NextListed(HANDLE directory, DirectoryListing* listing, ListedEntry* entry, DWORD* error) {
  *error = 0;
  for (;;) {
    if (listing->next >= listing->filled) {
      const FILE_INFO_BY_HANDLE_CLASS kind =
          listing->begun ? FileIdBothDirectoryInfo : FileIdBothDirectoryRestartInfo;
      if (!GetFileInformationByHandleEx(directory, kind, listing->buffer, sizeof listing->buffer)) {
        const DWORD failure = GetLastError();
        // An empty drive root answers "no such file" to the first call.
        if (failure != ERROR_NO_MORE_FILES && failure != ERROR_FILE_NOT_FOUND) *error = failure;
        listing->filled = listing->next = 0;
        return false;
      }
      listing->begun = true;
      listing->filled = sizeof listing->buffer;
      listing->next = 0;
    }
    DWORD following = 0;
    if (!ReadRecord(*listing, entry, &following)) {
      *error = ERROR_INVALID_DATA;
      listing->filled = listing->next = 0;
      return false;
    }
    listing->next = following;
    if (!IsDotEntry(*entry)) return true;
  }
}

bool HoldsSeparator(const ListedEntry& entry) {
  return wcspbrk(entry.name, L"\\/") != nullptr;
}
