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
