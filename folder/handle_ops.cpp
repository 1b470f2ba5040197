#include "folder/handle_ops.h"

// Every status also becomes the last error, for the callers that report Win32 errors.
static NTSTATUS Told(NTSTATUS result, NTSTATUS* status) {
  if (status) *status = result;
  if (!NT_SUCCESS(result)) SetLastError(RtlNtStatusToDosError(result));
  return result;
}

HANDLE OpenRelative(HANDLE parent, const wchar_t* name, size_t length, DWORD access, DWORD share,
                    bool directory, NTSTATUS* status) {
  // Longer than a counted string carries: no directory holds such a name.
  const NTSTATUS kNameInvalid = static_cast<NTSTATUS>(0xC0000033L);  // STATUS_OBJECT_NAME_INVALID
  if (length > 32767) {
    Told(kNameInvalid, status);
    return INVALID_HANDLE_VALUE;
  }
  UNICODE_STRING counted = {};
  counted.Buffer = const_cast<wchar_t*>(name);
  counted.Length = static_cast<USHORT>(length * sizeof(wchar_t));
  counted.MaximumLength = counted.Length;
  OBJECT_ATTRIBUTES attributes = {};
  attributes.Length = sizeof attributes;
  attributes.RootDirectory = parent;
  attributes.ObjectName = &counted;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  IO_STATUS_BLOCK io = {};
  HANDLE opened = INVALID_HANDLE_VALUE;
  const ULONG kind = directory ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE;
  const NTSTATUS result = NtOpenFile(&opened, access | SYNCHRONIZE, &attributes, &io, share,
                                     kind | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT);
  if (!NT_SUCCESS(Told(result, status))) return INVALID_HANDLE_VALUE;
  return opened;
}

bool DisposeOf(HANDLE handle, NTSTATUS* status) {
  // FILE_DISPOSITION_INFORMATION is this one BOOLEAN.
  BOOLEAN deleteFile = TRUE;
  IO_STATUS_BLOCK io = {};
  return NT_SUCCESS(Told(
      NtSetInformationFile(handle, &io, &deleteFile, sizeof deleteFile, FileDispositionInformation), status));
}

// Whether the platform answered that it has no such way of deletion (Windows
// 7 and 8.1, FAT and network volumes, Wine 8), rather than refusing this entry.
static bool WayUnknown(NTSTATUS answer) {
  const NTSTATUS kNotImplemented = static_cast<NTSTATUS>(0xC0000002L);
  const NTSTATUS kInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003L);
  const NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000DL);
  const NTSTATUS kInvalidDeviceRequest = static_cast<NTSTATUS>(0xC0000010L);
  const NTSTATUS kNotSupported = static_cast<NTSTATUS>(0xC00000BBL);
  return answer == kNotImplemented || answer == kInvalidInfoClass || answer == kInvalidParameter ||
         answer == kInvalidDeviceRequest || answer == kNotSupported;
}

// Sets the entry's attributes through its handle; its times stay (0).
static bool SetAttributesThrough(HANDLE handle, DWORD attributes) {
  FILE_BASIC_INFO basic = {};
  basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;  // 0 would leave them
  return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

void RememberVolume(HANDLE handle, DispositionMemory* memory) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(handle, &info)) return;
  if (memory->known && memory->volume == info.dwVolumeSerialNumber) return;
  *memory = DispositionMemory();
  memory->known = true;
  memory->volume = info.dwVolumeSerialNumber;
}

bool DeleteThrough(HANDLE handle, DWORD attributes, DispositionMemory* memory, NTSTATUS* status) {
  // FILE_DISPOSITION_INFORMATION_EX is this one ULONG of flags (Windows 10 1607 and later).
  const FILE_INFORMATION_CLASS kDispositionEx = static_cast<FILE_INFORMATION_CLASS>(64);
  const ULONG kDelete = 0x1, kPosixSemantics = 0x2, kIgnoreReadOnly = 0x10;
  const NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000DL);
  const bool readOnlyFile =
      !(attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_READONLY);
  for (;;) {
    const int way = memory->way;
    const bool cleared =
        readOnlyFile && way != kPosixIgnoringReadOnly &&
        SetAttributesThrough(handle, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    NTSTATUS answer = 0;
    if (way == kClassic) {
      DisposeOf(handle, &answer);
    } else {
      ULONG flags = kDelete | kPosixSemantics | (way == kPosixIgnoringReadOnly ? kIgnoreReadOnly : 0);
      IO_STATUS_BLOCK io = {};
      answer = NtSetInformationFile(handle, &io, &flags, sizeof flags, kDispositionEx);
    }
    if (!NT_SUCCESS(answer) && cleared) SetAttributesThrough(handle, attributes);
    // Before Windows 10 1809 the read-only flag is unknown; before 1607 all of it.
    if (way == kPosixIgnoringReadOnly && answer == kInvalidParameter) {
      memory->way = kPosix;
    } else if (way != kClassic && WayUnknown(answer)) {
      memory->way = kClassic;
    } else {
      return NT_SUCCESS(Told(answer, status));
    }
  }
}

bool RawFinalPathOf(HANDLE handle, WidePath* path) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = GetFinalPathNameByHandleW(handle, buffer, MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0) return false;
  if (length < MAX_PATH) {
    *path = WidePath(buffer, length);
    return true;
  }
  WidePath longer(length, L'\0');
  length = GetFinalPathNameByHandleW(handle, &longer[0], length, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= longer.size()) return false;
  *path = longer.substr(0, length);
  return true;
}

bool FinalPathOf(HANDLE handle, WidePath* path) {
  if (!RawFinalPathOf(handle, path)) return false;
  if (path->compare(0, 4, L"\\\\?\\") == 0) path->erase(0, 4);
  return true;
}

bool FullPathOf(const WidePath& path, WidePath* full) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
  if (length == 0) return false;
  if (length < MAX_PATH) {
    *full = WidePath(buffer, length);
    return true;
  }
  WidePath longer(length, L'\0');
  length = GetFullPathNameW(path.c_str(), length, &longer[0], nullptr);
  if (length == 0 || length >= longer.size()) return false;
  *full = longer.substr(0, length);
  return true;
}
