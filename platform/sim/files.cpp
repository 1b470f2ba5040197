// The simulated file system's Win32 calls, narrow and wide: one model behind them.
#include <algorithm>

#include "state.h"

using sim::Fail;
using sim::Narrow;
using sim::TheWorld;

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
  sim::CallEntry call("GetSystemDirectoryA", [&] { return std::to_string(size); });
  if (call.Failed()) return 0;
  const std::string& directory = TheWorld().systemDirectory;
  if (directory.size() + 1 > size) return static_cast<UINT>(directory.size() + 1);
  memcpy(buffer, directory.c_str(), directory.size() + 1);
  return static_cast<UINT>(directory.size());
}

BOOL DeleteFileA(LPCSTR path) {
  sim::CallEntry call("DeleteFileA", path);
  if (call.Failed()) return FALSE;
  return sim::DeleteFileAt(sim::Widen(path));
}

static HANDLE Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  sim::Lookup found = sim::Resolve(path);
  sim::Node* node = found.node;
  // Wine opens a Unix symbolic link (tag 0) as its target even when asked not to follow it.
  if (node && node->IsLink() && (!(flags & FILE_FLAG_OPEN_REPARSE_POINT) || node->reparseTag == 0))
    node = sim::ResolveThroughLink(node);
  DWORD refusal = 0;
  const bool writes = (access & (FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE)) != 0;
  if (disposition != OPEN_EXISTING && disposition != OPEN_ALWAYS) {
    refusal = ERROR_INVALID_PARAMETER;
  } else if (!node && disposition == OPEN_ALWAYS && !found.node && found.error == ERROR_FILE_NOT_FOUND &&
             found.parent && found.parent->IsDirectory()) {
    auto file = std::make_unique<sim::Node>();
    file->name = found.lastName;
    file->attributes = FILE_ATTRIBUTE_ARCHIVE;
    node = file.get();
    sim::AddChild(found.parent, std::move(file));
  } else if (!node) {
    refusal = found.node ? ERROR_PATH_NOT_FOUND : found.error;
  } else if (node->IsDirectory() && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) {
    refusal = ERROR_ACCESS_DENIED;
  } else if (writes && (node->attributes & FILE_ATTRIBUTE_READONLY)) {
    refusal = ERROR_ACCESS_DENIED;
  } else if (sim::SharingRefused(node, access, share)) {
    refusal = ERROR_SHARING_VIOLATION;
  }
  if (refusal) {
    SetLastError(refusal);
    return INVALID_HANDLE_VALUE;
  }
  // OPEN_ALWAYS tells whether the file was there.
  if (disposition == OPEN_ALWAYS) SetLastError(found.node ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return sim::AddFileHandle(node, access, share);
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
  sim::CallEntry call("CreateFileW", [&] {
    return Narrow(path) + ", " + sim::Hex(access) + ", " + sim::Hex(share) + ", " + sim::Hex(flags);
  });
  if (call.Failed()) return INVALID_HANDLE_VALUE;
  if (std::wstring(path) == L"CONOUT$" || std::wstring(path) == L"CONIN$") return sim::OpenConsole(path);
  return Open(path, access, share, disposition, flags);
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
  sim::CallEntry call("CreateFileA", [&] {
    return std::string(path) + ", " + sim::Hex(access) + ", " + sim::Hex(share) + ", " + sim::Hex(flags);
  });
  if (call.Failed()) return INVALID_HANDLE_VALUE;
  return Open(sim::Widen(path), access, share, disposition, flags);
}

// The records that fit, each at an 8-byte boundary after the one before, as
// the directory was when the listing began or restarted; 18 after the last.
static BOOL ListThrough(sim::FileHandle& open, bool restart, void* info, DWORD size) {
  if (!(open.access & FILE_LIST_DIRECTORY)) return Fail(ERROR_ACCESS_DENIED);
  if (!open.node->IsDirectory()) return Fail(ERROR_INVALID_PARAMETER);
  sim::Listing& listing = open.listing;
  if (restart || !open.listed) {
    if (open.node->failOpen) return Fail(open.node->failOpenError);
    listing = sim::Listing();
    sim::ListDirectory(open.node, &listing);
    open.listed = true;
  }
  if (listing.next >= listing.failAfter) return Fail(listing.failAfterError);
  if (listing.next >= listing.records.size()) return Fail(ERROR_NO_MORE_FILES);
  unsigned char* buffer = static_cast<unsigned char*>(info);
  const size_t header = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
  size_t at = 0, previous = 0;
  bool any = false;
  while (listing.next < listing.records.size() && listing.next < listing.failAfter) {
    const WIN32_FIND_DATAW& found = listing.records[listing.next];
    const size_t nameBytes = wcslen(found.cFileName) * sizeof(WCHAR);
    if (at + header + nameBytes > size) break;
    FILE_ID_BOTH_DIR_INFO record = {};
    record.FileAttributes = found.dwFileAttributes;
    record.FileNameLength = static_cast<DWORD>(nameBytes);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) record.EaSize = found.dwReserved0;
    memcpy(buffer + at, &record, header);
    memcpy(buffer + at + header, found.cFileName, nameBytes);
    if (any) {
      const DWORD offset = static_cast<DWORD>(at - previous);
      memcpy(buffer + previous + offsetof(FILE_ID_BOTH_DIR_INFO, NextEntryOffset), &offset, sizeof offset);
    }
    any = true;
    previous = at;
    at = (at + header + nameBytes + 7) & ~static_cast<size_t>(7);
    ++listing.next;
  }
  return any ? TRUE : Fail(ERROR_INSUFFICIENT_BUFFER);
}

BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD size) {
  sim::CallEntry call("GetFileInformationByHandleEx", [&] { return std::to_string(infoClass); });
  if (call.Failed()) return FALSE;
  auto it = TheWorld().fileHandles.find(reinterpret_cast<uintptr_t>(file));
  if (it == TheWorld().fileHandles.end()) return Fail(ERROR_INVALID_HANDLE);
  if (infoClass == FileIdBothDirectoryInfo || infoClass == FileIdBothDirectoryRestartInfo)
    return ListThrough(it->second, infoClass == FileIdBothDirectoryRestartInfo, info, size);
  if (infoClass != FileAttributeTagInfo || size < sizeof(FILE_ATTRIBUTE_TAG_INFO))
    return Fail(ERROR_INVALID_PARAMETER);
  FILE_ATTRIBUTE_TAG_INFO* tagInfo = static_cast<FILE_ATTRIBUTE_TAG_INFO*>(info);
  tagInfo->FileAttributes = it->second.node->attributes;
  tagInfo->ReparseTag = it->second.node->IsLink() ? it->second.node->reparseTag : 0;
  return TRUE;
}

// The attributes only: times are not simulated.
BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD size) {
  sim::CallEntry call("SetFileInformationByHandle", [&] { return std::to_string(infoClass); });
  if (call.Failed()) return FALSE;
  auto it = TheWorld().fileHandles.find(reinterpret_cast<uintptr_t>(file));
  if (it == TheWorld().fileHandles.end()) return Fail(ERROR_INVALID_HANDLE);
  if (infoClass != FileBasicInfo || size < sizeof(FILE_BASIC_INFO)) return Fail(ERROR_INVALID_PARAMETER);
  if (!(it->second.access & FILE_WRITE_ATTRIBUTES)) return Fail(ERROR_ACCESS_DENIED);
  const DWORD given = static_cast<const FILE_BASIC_INFO*>(info)->FileAttributes;
  if (given == 0) return TRUE;
  sim::Node* node = it->second.node;
  const DWORD kept = node->attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  node->attributes = kept | (given & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY));
  if (node->attributes == 0) node->attributes = FILE_ATTRIBUTE_NORMAL;
  return TRUE;
}

static sim::FileHandle* OpenFile(HANDLE file) {
  auto it = TheWorld().fileHandles.find(reinterpret_cast<uintptr_t>(file));
  return it == TheWorld().fileHandles.end() ? nullptr : &it->second;
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  sim::CallEntry call("GetFileInformationByHandle");
  if (call.Failed()) return FALSE;
  sim::FileHandle* open = OpenFile(file);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  *info = {};
  info->dwFileAttributes = open->node->attributes;
  info->nFileSizeLow = static_cast<DWORD>(open->node->content.size());
  info->nNumberOfLinks = open->node->IsDirectory() ? 1 : open->node->links;
  info->nFileIndexLow = static_cast<DWORD>(open->node->id & 0xFFFFFFFFu);
  info->nFileIndexHigh = static_cast<DWORD>(open->node->id >> 32);
  const sim::Node* root = open->node;
  while (root->parent) root = root->parent;
  info->dwVolumeSerialNumber = 0x5E000000ul + static_cast<DWORD>(root->name[0]);  // one a drive
  return TRUE;
}

static DWORD StreamType(sim::StreamKind kind) {
  switch (kind) {
    case sim::StreamKind::DiskFile:
      return FILE_TYPE_DISK;
    case sim::StreamKind::Pipe:
      return FILE_TYPE_PIPE;
    default:
      return FILE_TYPE_CHAR;  // the null device and a console
  }
}

// A disk file unless staged as a device.
DWORD GetFileType(HANDLE file) {
  sim::CallEntry call("GetFileType");
  if (call.Failed()) return 0;
  if (const sim::Stream* stream = sim::StreamOf(file)) return StreamType(stream->kind);
  sim::FileHandle* open = OpenFile(file);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  return open->node->fileType;
}

BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void*) {
  sim::CallEntry call("WriteFile",
                      [&] { return (sim::StreamOf(file) ? "stream, " : "") + std::to_string(size); });
  if (written) *written = 0;
  if (call.Failed()) return FALSE;
  if (sim::Stream* stream = sim::StreamOf(file)) {
    if (!stream->writable) return Fail(ERROR_ACCESS_DENIED);
    std::string& text = stream->kind == sim::StreamKind::Console ? TheWorld().consoleText : stream->text;
    text.append(static_cast<const char*>(data), size);
    if (written) *written = size;
    return TRUE;
  }
  sim::FileHandle* open = OpenFile(file);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  if (!(open->access & (FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE)))
    return Fail(ERROR_ACCESS_DENIED);
  // A handle that may only append writes at the end; any other writes where
  // it stands, over what is there.
  std::string& content = open->node->content;
  const bool appends = !(open->access & (FILE_WRITE_DATA | GENERIC_WRITE));
  const size_t at = appends ? content.size() : open->position;
  content.replace(at, std::min(content.size() - at, static_cast<size_t>(size)),
                  static_cast<const char*>(data), size);
  open->position = at + size;
  if (written) *written = size;
  return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path) {
  sim::CallEntry call("GetFileAttributesA", path);
  if (call.Failed()) return INVALID_FILE_ATTRIBUTES;
  sim::Lookup found = sim::Resolve(sim::Widen(path));
  if (!found.node) {
    SetLastError(found.error);
    return INVALID_FILE_ATTRIBUTES;
  }
  return found.node->attributes;
}

BOOL CloseHandle(HANDLE handle) {
  sim::CallEntry call("CloseHandle");
  if (const sim::Stream* stream = sim::StreamOf(handle)) {
    if (stream->opened) sim::CountClose(sim::HandleKind::Console);
    TheWorld().streams.erase(reinterpret_cast<uintptr_t>(handle));
    return call.Failed() ? Fail(call.Error()) : TRUE;
  }
  auto it = TheWorld().fileHandles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == TheWorld().fileHandles.end()) return Fail(ERROR_INVALID_HANDLE);
  sim::Node* node = it->second.node;
  TheWorld().fileHandles.erase(it);
  sim::CountClose(sim::HandleKind::File);
  sim::LastHandleClosed(node);
  return call.Failed() ? Fail(call.Error()) : TRUE;
}

// The path of the file itself, as the system names it: links and the system
// directory's redirection resolved.
DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR buffer, DWORD size, DWORD flags) {
  sim::CallEntry call("GetFinalPathNameByHandleW", [&] { return sim::Hex(flags); });
  if (call.Failed()) return 0;
  sim::FileHandle* open = OpenFile(file);
  if (!open) return Fail(ERROR_INVALID_HANDLE);
  // A drive root is named with its separator: "\\?\C:\".
  const std::wstring path = L"\\\\?\\" + sim::FullPath(open->node) + (open->node->parent ? L"" : L"\\");
  if (path.size() + 1 > size) return static_cast<DWORD>(path.size() + 1);
  wcscpy(buffer, path.c_str());
  return static_cast<DWORD>(path.size());
}

// A rename within one directory, or, with MOVEFILE_DELAY_UNTIL_REBOOT and no
// new name, a deletion queued for the next restart (administrators only).
static BOOL Move(const std::wstring& from, const wchar_t* to, DWORD flags) {
  if (!to && (flags & MOVEFILE_DELAY_UNTIL_REBOOT)) {
    if (!TheWorld().admin) return Fail(ERROR_ACCESS_DENIED);
    TheWorld().restartQueue.push_back(from);
    return TRUE;
  }
  if (!to) return Fail(ERROR_INVALID_PARAMETER);
  sim::Lookup source = sim::Resolve(from);
  if (!source.node) return Fail(source.error);
  sim::Lookup target = sim::Resolve(to);
  if (target.node) return Fail(ERROR_ALREADY_EXISTS);
  if (target.parent != source.node->parent) return Fail(ERROR_NOT_SAME_DEVICE);
  if (sim::DeleteBlocked(source.node)) return Fail(ERROR_SHARING_VIOLATION);
  sim::RenameChild(source.node, target.lastName);
  return TRUE;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
  sim::CallEntry call("MoveFileExA",
                      [&] { return std::string(from) + ", " + (to ? to : "null") + ", " + sim::Hex(flags); });
  if (call.Failed()) return FALSE;
  const std::wstring wideTo = to ? sim::Widen(to) : std::wstring();
  return Move(sim::Widen(from), to ? wideTo.c_str() : nullptr, flags);
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  sim::CallEntry call("MoveFileExW", [&] {
    return Narrow(from) + ", " + (to ? Narrow(to) : std::string("null")) + ", " + sim::Hex(flags);
  });
  if (call.Failed()) return FALSE;
  return Move(from, to, flags);
}

// No time passes: the pause is logged, and another process's holds that were
// to end during it end.
void Sleep(DWORD milliseconds) {
  sim::CallEntry call("Sleep", [&] { return std::to_string(milliseconds); });
  sim::EndHolds(milliseconds);
}

DWORD GetCurrentProcessId() {
  sim::CallEntry call("GetCurrentProcessId");
  return 4242;
}
