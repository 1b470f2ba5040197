// ntdll's file calls of the simulated file system, and the two path questions
// asked of kernel32: a full path and the volume a path lies on.
#include "state.h"

using sim::TheWorld;

namespace {

const NTSTATUS kSuccess = 0;
const NTSTATUS kInvalidHandle = static_cast<NTSTATUS>(0xC0000008ul);
const NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000Dul);
const NTSTATUS kNameInvalid = static_cast<NTSTATUS>(0xC0000033ul);
const NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034ul);
const NTSTATUS kAccessDenied = static_cast<NTSTATUS>(0xC0000022ul);
const NTSTATUS kSharingViolation = static_cast<NTSTATUS>(0xC0000043ul);
const NTSTATUS kNotADirectory = static_cast<NTSTATUS>(0xC0000103ul);
const NTSTATUS kFileIsADirectory = static_cast<NTSTATUS>(0xC00000BAul);
const NTSTATUS kCannotDelete = static_cast<NTSTATUS>(0xC0000121ul);
const NTSTATUS kDirectoryNotEmpty = static_cast<NTSTATUS>(0xC0000101ul);
const NTSTATUS kInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003ul);
const NTSTATUS kUnsuccessful = static_cast<NTSTATUS>(0xC0000001ul);
const NTSTATUS kNotImplemented = static_cast<NTSTATUS>(0xC0000002ul);
const FILE_INFORMATION_CLASS kDispositionEx = static_cast<FILE_INFORMATION_CLASS>(64);
const ULONG kDelete = 0x1, kPosixSemantics = 0x2, kIgnoreReadOnly = 0x10;

// The statuses the simulation gives and their Win32 errors, the first of a
// Win32 error standing for it when a failure is injected.
const struct {
  NTSTATUS status;
  DWORD error;
} kErrors[] = {
    {kAccessDenied, ERROR_ACCESS_DENIED},
    {kSharingViolation, ERROR_SHARING_VIOLATION},
    {kNameNotFound, ERROR_FILE_NOT_FOUND},
    {kNameInvalid, ERROR_INVALID_NAME},
    {kInvalidParameter, ERROR_INVALID_PARAMETER},
    {kInvalidHandle, ERROR_INVALID_HANDLE},
    {kNotADirectory, ERROR_DIRECTORY},
    {kFileIsADirectory, ERROR_ACCESS_DENIED},
    {kCannotDelete, ERROR_ACCESS_DENIED},
    {kDirectoryNotEmpty, ERROR_DIR_NOT_EMPTY},
    {kInvalidInfoClass, ERROR_INVALID_PARAMETER},
    {kUnsuccessful, 31ul},
    {static_cast<NTSTATUS>(0xC000017Cul), ERROR_KEY_DELETED},
    {kNotImplemented, 1ul},
};

NTSTATUS StatusOf(DWORD error) {
  for (const auto& entry : kErrors) {
    if (entry.error == error) return entry.status;
  }
  return kUnsuccessful;
}

sim::FileHandle* OpenFile(HANDLE file) {
  auto it = TheWorld().fileHandles.find(reinterpret_cast<uintptr_t>(file));
  return it == TheWorld().fileHandles.end() ? nullptr : &it->second;
}

// The entry `name` of `directory`, opened as the options ask.
NTSTATUS OpenChild(sim::Node* directory, const std::wstring& name, ULONG attributes, ACCESS_MASK access,
                   ULONG share, ULONG options, sim::Node** opened) {
  if (!name.empty() && name[0] == L'\\') return kInvalidParameter;
  // One name only: "..", wildcards and separators are refused, as Windows refuses "..\b".
  if (name == L"." || name == L".." || name.find_first_of(L"\\/*?") != std::wstring::npos)
    return kNameInvalid;
  sim::Node* node = name.empty() ? directory : sim::ChildNamed(directory, name);
  if (node && !(attributes & OBJ_CASE_INSENSITIVE) && node != directory && node->name != name) node = nullptr;
  // Wine opens a Unix symbolic link (tag 0) as its target even when asked not to follow it.
  if (node && node->IsLink() && (!(options & FILE_OPEN_REPARSE_POINT) || node->reparseTag == 0))
    node = sim::ResolveThroughLink(node);
  if (!node) return kNameNotFound;
  if ((options & FILE_DIRECTORY_FILE) && !node->IsDirectory()) return kNotADirectory;
  if ((options & FILE_NON_DIRECTORY_FILE) && node->IsDirectory()) return kFileIsADirectory;
  const bool writes = (access & (FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE)) != 0;
  if (writes && (node->attributes & FILE_ATTRIBUTE_READONLY)) return kAccessDenied;
  if (sim::SharingRefused(node, access, share)) return kSharingViolation;
  *opened = node;
  return kSuccess;
}

// A bare device name, which names the device wherever the process stands.
bool IsDeviceName(const std::wstring& name) {
  const std::wstring upper = sim::UpperName(name);
  if (upper == L"NUL" || upper == L"CON" || upper == L"PRN" || upper == L"AUX") return true;
  return upper.size() == 4 && (upper.compare(0, 3, L"COM") == 0 || upper.compare(0, 3, L"LPT") == 0) &&
         upper[3] >= L'1' && upper[3] <= L'9';
}

}  // namespace

NTSTATUS NtOpenFile(HANDLE* file, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes, IO_STATUS_BLOCK* io,
                    ULONG share, ULONG options) {
  sim::PlatformCall inside;  // the name's copy is the platform's, not the caller's
  const UNICODE_STRING* counted = attributes->ObjectName;
  const std::wstring name = counted ? std::wstring(counted->Buffer, counted->Length / sizeof(wchar_t)) : L"";
  sim::CallEntry call(
      "NtOpenFile",
      [&] {
        return sim::Narrow(name) + ", " + sim::Hex(access) + ", " + sim::Hex(share) + ", " +
               sim::Hex(options);
      },
      sim::CallEntry::ReturnsStatus);
  if (call.Failed()) return StatusOf(call.Error());
  // Only opens relative to a directory this process holds are simulated.
  sim::FileHandle* parent = attributes->RootDirectory ? OpenFile(attributes->RootDirectory) : nullptr;
  if (!parent) return kInvalidHandle;
  if (!parent->node->IsDirectory()) return kInvalidParameter;
  sim::Node* node = nullptr;
  const NTSTATUS status =
      OpenChild(parent->node, name, attributes->Attributes, access, share, options, &node);
  if (status != kSuccess) return status;
  *file = sim::AddFileHandle(node, access, share);
  io->Status = kSuccess;
  io->Information = 1;  // FILE_OPENED
  return kSuccess;
}

// The dispositions, classic and Ex (as the platform staged answers it): the
// entry goes when its last handle closes, or, with POSIX semantics, when the
// handle that disposed of it closes, whoever else holds it.
NTSTATUS NtSetInformationFile(HANDLE file, IO_STATUS_BLOCK* io, PVOID information, ULONG length,
                              FILE_INFORMATION_CLASS informationClass) {
  sim::FileHandle* open = OpenFile(file);
  sim::CallEntry call(
      "NtSetInformationFile",
      [&] { return (open ? sim::Narrow(open->node->name) + ", " : "") + std::to_string(informationClass); },
      sim::CallEntry::ReturnsStatus);
  if (call.Failed()) return StatusOf(call.Error());
  if (!open) return kInvalidHandle;
  const sim::DispositionSupport& support = TheWorld().dispositionEx;
  ULONG flags = 0;
  if (informationClass == kDispositionEx) {
    if (support.refusal) return static_cast<NTSTATUS>(support.refusal);
    if (length < sizeof flags) return kInvalidParameter;
    memcpy(&flags, information, sizeof flags);
    if ((flags & kIgnoreReadOnly) && !support.ignoresReadOnly) return kInvalidParameter;
  } else if (informationClass == FileDispositionInformation) {
    if (length < 1) return kInvalidParameter;
    flags = *static_cast<const BOOLEAN*>(information) != 0 ? kDelete : 0;
  } else {
    return kInvalidInfoClass;
  }
  if (!(open->access & DELETE)) return kAccessDenied;
  sim::Node* node = open->node;
  const bool deleteFile = (flags & kDelete) != 0;
  if (deleteFile && !node->IsDirectory() && (node->attributes & FILE_ATTRIBUTE_READONLY) &&
      !(flags & kIgnoreReadOnly))
    return kCannotDelete;
  if (deleteFile && node->IsDirectory() && !node->IsLink() && sim::ChildCount(node) != 0)
    return kDirectoryNotEmpty;
  if (deleteFile && (!node->parent || node->refuseRemoval)) return kCannotDelete;
  node->deletePending = deleteFile;
  node->posixDelete = deleteFile && (flags & kPosixSemantics);
  io->Status = kSuccess;
  io->Information = 0;
  return kSuccess;
}

// The statuses the simulation gives, and those formed from a Win32 error (NTSTATUS_FROM_WIN32).
ULONG RtlNtStatusToDosError(NTSTATUS status) {
  if (status == kSuccess) return ERROR_SUCCESS;
  const ULONG code = static_cast<ULONG>(status);
  if ((code & 0xFFFF0000ul) == 0xC0070000ul) return code & 0xFFFF;
  for (const auto& entry : kErrors) {
    if (entry.status == status) return entry.error;
  }
  return ERROR_MR_MID_NOT_FOUND;
}

// "." and ".." applied, trailing dots and spaces dropped, a final separator
// kept, a bare device name as the device ("\\.\NUL"); a drive-relative path from that drive's current
// directory (the root, for any drive but the current one); long and UNC paths as they are.
DWORD GetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart) {
  sim::CallEntry call("GetFullPathNameW", [&] { return sim::Narrow(path); });
  if (call.Failed()) return 0;
  const std::wstring given = path;
  if (given.empty()) return sim::Fail(ERROR_INVALID_NAME);
  std::wstring full = given;
  wchar_t drive = 0;
  std::vector<std::wstring> parts;
  if (IsDeviceName(given)) {
    full = L"\\\\.\\" + given;
  } else if (sim::Parse(given, &drive, &parts)) {
    full = std::wstring(1, drive) + L":";
    for (const std::wstring& part : parts) full += L"\\" + part;
    const wchar_t last = given.back();
    if (parts.empty() || last == L'\\' || last == L'/') full += L"\\";
  }
  if (full.size() + 1 > size) return static_cast<DWORD>(full.size() + 1);
  wcscpy(buffer, full.c_str());
  if (filePart) {
    const size_t cut = full.find_last_of(L'\\');
    *filePart = cut == std::wstring::npos || cut + 1 == full.size() ? nullptr : buffer + cut + 1;
  }
  return static_cast<DWORD>(full.size());
}

// The drive's root, in the form given ("\\?\C:\" for "\\?\C:\Games"); a path
// on no drive (UNC, "\\?\unix\...") is refused, as Wine refuses the latter.
BOOL GetVolumePathNameW(LPCWSTR path, LPWSTR buffer, DWORD size) {
  sim::CallEntry call("GetVolumePathNameW", [&] { return sim::Narrow(path); });
  if (call.Failed()) return FALSE;
  std::wstring rest = path;
  const std::wstring prefix = rest.compare(0, 4, L"\\\\?\\") == 0 ? L"\\\\?\\" : L"";
  rest.erase(0, prefix.size());
  const wchar_t drive = rest.size() >= 2 && rest[1] == L':' ? static_cast<wchar_t>(towupper(rest[0])) : 0;
  if (!drive || !TheWorld().drives.count(drive) || (rest.size() > 2 && rest[2] != L'\\'))
    return sim::Fail(ERROR_INVALID_NAME);
  const std::wstring volume = prefix + drive + L":\\";
  if (volume.size() + 1 > size) return sim::Fail(ERROR_FILENAME_EXCED_RANGE);
  wcscpy(buffer, volume.c_str());
  return TRUE;
}
