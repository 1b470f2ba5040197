// The simulated Windows: the Win32 names, types and constants that the system
// uses, with Windows' own values. The definitions live beside this header;
// tests stage and inspect the simulation through sim_control.h.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <wctype.h>

// DWORD is an unsigned long, as on Windows, so that "%lu" prints it on both.
typedef unsigned long DWORD;
typedef int BOOL;
typedef unsigned int UINT;
typedef long LONG;
typedef LONG LSTATUS;
typedef int errno_t;
typedef wchar_t WCHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWSTR;
typedef void* HANDLE;
typedef HANDLE HINSTANCE;
typedef HANDLE HWND;
typedef HANDLE HLOCAL;
typedef HANDLE HMODULE;
typedef struct SimRegistryRoot* HKEY;
typedef struct SimServiceHandle* SC_HANDLE;
typedef int (*FARPROC)();

#define WINAPI
#define APIENTRY
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)

#define ATTACH_PARENT_PROCESS ((DWORD)0xFFFFFFFFul)  // (DWORD)-1 where DWORD is 32 bits
#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

#define MB_OK 0x0u
#define MB_YESNO 0x4u
#define MB_ICONQUESTION 0x20u
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

#define SC_MANAGER_CONNECT 0x0001
#define SERVICE_STOP 0x0020
#define DELETE 0x00010000L
#define SERVICE_CONTROL_STOP 0x00000001
#define SERVICE_QUERY_STATUS 0x0004
#define SERVICE_CHANGE_CONFIG 0x0002
#define SERVICE_NO_CHANGE 0xffffffff
#define SERVICE_STOPPED 0x00000001
#define SERVICE_STOP_PENDING 0x00000003
#define SERVICE_RUNNING 0x00000004
#define KEY_QUERY_VALUE 0x0001
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define REG_OPTION_OPEN_LINK 0x00000008L
#define REG_SZ 1
#define REG_LINK 6

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_DATA 13L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_NOT_SAME_DEVICE 17L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_NO_DATA 232L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_DIRECTORY 267L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_SERVICE_DOES_NOT_EXIST 1060L
#define ERROR_SERVICE_NOT_ACTIVE 1062L
#define ERROR_SERVICE_MARKED_FOR_DELETE 1072L
#define ERROR_TOO_MANY_LINKS 1142L
#define ERROR_KEY_DELETED 1018L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CANT_ACCESS_FILE 1920L

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFFul)

#define FILE_READ_DATA 0x0001
#define FILE_LIST_DIRECTORY 0x0001
#define FILE_WRITE_DATA 0x0002
#define FILE_APPEND_DATA 0x0004
#define FILE_EXECUTE 0x0020
#define FILE_READ_ATTRIBUTES 0x0080
#define FILE_WRITE_ATTRIBUTES 0x0100
#define GENERIC_READ 0x80000000ul
#define GENERIC_WRITE 0x40000000ul
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004
#define FILE_NAME_NORMALIZED 0x0
#define VOLUME_NAME_DOS 0x0
#define FILE_TYPE_UNKNOWN 0x0000
#define FILE_TYPE_DISK 0x0001
#define FILE_TYPE_CHAR 0x0002
#define FILE_TYPE_PIPE 0x0003
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define CP_ACP 0
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800

#define IO_REPARSE_TAG_MOUNT_POINT 0xA0000003L
#define IO_REPARSE_TAG_SYMLINK 0xA000000CL
#define IsReparseTagNameSurrogate(tag) (((tag)&0x20000000) != 0)

typedef struct _SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
} SERVICE_STATUS, *LPSERVICE_STATUS;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

typedef struct _WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

typedef struct _FILE_ATTRIBUTE_TAG_INFO {
  DWORD FileAttributes;
  DWORD ReparseTag;
} FILE_ATTRIBUTE_TAG_INFO;

typedef struct _BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;

typedef unsigned short WORD;
typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

typedef enum _FILE_INFO_BY_HANDLE_CLASS {
  FileBasicInfo = 0,
  FileAttributeTagInfo = 9,
  FileIdBothDirectoryInfo = 10,
  FileIdBothDirectoryRestartInfo = 11
} FILE_INFO_BY_HANDLE_CLASS;

typedef union _LARGE_INTEGER {
  long long QuadPart;
} LARGE_INTEGER;
typedef char CCHAR;

typedef struct _FILE_BASIC_INFO {
  LARGE_INTEGER CreationTime;  // 0: left as it is, as are the other times
  LARGE_INTEGER LastAccessTime;
  LARGE_INTEGER LastWriteTime;
  LARGE_INTEGER ChangeTime;
  DWORD FileAttributes;  // 0: left as they are
} FILE_BASIC_INFO;

// One record of a listing by handle; records follow each other at NextEntryOffset.
typedef struct _FILE_ID_BOTH_DIR_INFO {
  DWORD NextEntryOffset;
  DWORD FileIndex;
  LARGE_INTEGER CreationTime;
  LARGE_INTEGER LastAccessTime;
  LARGE_INTEGER LastWriteTime;
  LARGE_INTEGER ChangeTime;
  LARGE_INTEGER EndOfFile;
  LARGE_INTEGER AllocationSize;
  DWORD FileAttributes;
  DWORD FileNameLength;  // in bytes
  DWORD EaSize;          // the reparse tag, for a reparse point
  CCHAR ShortNameLength;
  WCHAR ShortName[12];
  LARGE_INTEGER FileId;
  WCHAR FileName[1];
} FILE_ID_BOTH_DIR_INFO;

typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Process, console and dialogs
DWORD GetLastError();
void SetLastError(DWORD error);
BOOL AttachConsole(DWORD processId);
HANDLE GetStdHandle(DWORD which);
BOOL SetStdHandle(DWORD which, HANDLE handle);
BOOL GetConsoleMode(HANDLE console, DWORD* mode);
BOOL WriteConsoleW(HANDLE console, const void* text, DWORD length, DWORD* written, void* reserved);
LPWSTR GetCommandLineW();
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* count);
HLOCAL LocalFree(HLOCAL memory);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style);
void OutputDebugStringA(LPCSTR text);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
HMODULE GetModuleHandleW(LPCWSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL SetDefaultDllDirectories(DWORD flags);
BOOL IsUserAnAdmin();
typedef HANDLE HWINSTA;
#define UOI_FLAGS 1
#define WSF_VISIBLE 0x0001L
typedef struct tagUSEROBJECTFLAGS {
  BOOL fInherit;
  BOOL fReserved;
  DWORD dwFlags;
} USEROBJECTFLAGS;
HWINSTA GetProcessWindowStation();
BOOL GetUserObjectInformationW(HANDLE object, int index, void* info, DWORD length, DWORD* needed);
BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId);
DWORD WTSGetActiveConsoleSessionId();
HANDLE GetCurrentProcess();
BOOL IsWow64Process(HANDLE process, BOOL* wow64);
UINT GetSystemWow64DirectoryA(LPSTR buffer, UINT size);
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_BUFFER_OVERFLOW 111L
BOOL GetComputerNameW(LPWSTR buffer, DWORD* size);
BOOL GetUserNameW(LPWSTR buffer, DWORD* size);
typedef struct _TIME_ZONE_INFORMATION {
  LONG Bias;
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;
} TIME_ZONE_INFORMATION;
#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2
#define TIME_ZONE_ID_INVALID 0xFFFFFFFF
DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* zone);
void GetLocalTime(LPSYSTEMTIME time);
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, void* arguments);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int length, LPSTR buffer, int size,
                        LPCSTR defaultChar, BOOL* usedDefault);

// Service control manager
SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access);
SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access);
BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
BOOL DeleteService(SC_HANDLE service);
BOOL CloseServiceHandle(SC_HANDLE handle);
BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD type, DWORD start, DWORD errorControl, LPCSTR binaryPath,
                          LPCSTR loadOrderGroup, DWORD* tagId, LPCSTR dependencies, LPCSTR startName,
                          LPCSTR password, LPCSTR displayName);

// Registry
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, DWORD access, HKEY* opened);
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved,
                      LPWSTR className, DWORD* classLength, FILETIME* lastWrite);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, unsigned char* data,
                         DWORD* size);
LSTATUS RegCloseKey(HKEY key);

// Files
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
BOOL DeleteFileA(LPCSTR path);
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD size);
BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD size);
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR buffer, DWORD size, DWORD flags);
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
DWORD GetCurrentProcessId();
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);
DWORD GetFileType(HANDLE file);
BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void* overlapped);
DWORD GetFileAttributesA(LPCSTR path);
BOOL CloseHandle(HANDLE handle);
void Sleep(DWORD milliseconds);

// ntdll's file calls: an entry opened by a held directory's handle and a name,
// and its disposition through its own handle.
typedef int32_t NTSTATUS;  // 32 bits, as on Windows
typedef DWORD ULONG;
typedef DWORD ACCESS_MASK;
typedef unsigned short USHORT;
typedef unsigned char BOOLEAN;
typedef void* PVOID;
#define NTAPI
#define NT_SUCCESS(status) ((NTSTATUS)(status) >= 0)
#define STATUS_SUCCESS ((NTSTATUS)0x00000000L)
#define SYNCHRONIZE 0x00100000L
#define OBJ_CASE_INSENSITIVE 0x00000040L
#define FILE_DIRECTORY_FILE 0x00000001
#define FILE_SYNCHRONOUS_IO_NONALERT 0x00000020
#define FILE_NON_DIRECTORY_FILE 0x00000040
#define FILE_OPEN_REPARSE_POINT 0x00200000
typedef struct _UNICODE_STRING {
  USHORT Length;  // in bytes, without a terminating zero
  USHORT MaximumLength;
  wchar_t* Buffer;
} UNICODE_STRING;
typedef struct _OBJECT_ATTRIBUTES {
  ULONG Length;
  HANDLE RootDirectory;
  UNICODE_STRING* ObjectName;
  ULONG Attributes;
  PVOID SecurityDescriptor;
  PVOID SecurityQualityOfService;
} OBJECT_ATTRIBUTES;
typedef struct _IO_STATUS_BLOCK {
  NTSTATUS Status;
  uintptr_t Information;
} IO_STATUS_BLOCK;
// The classes the system passes: the classic disposition and its extended form (64).
typedef enum _FILE_INFORMATION_CLASS {
  FileDispositionInformation = 13,
  FileDispositionInformationEx = 64
} FILE_INFORMATION_CLASS;
NTSTATUS NtOpenFile(HANDLE* file, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes, IO_STATUS_BLOCK* io,
                    ULONG share, ULONG options);
NTSTATUS NtSetInformationFile(HANDLE file, IO_STATUS_BLOCK* io, PVOID information, ULONG length,
                              FILE_INFORMATION_CLASS informationClass);
ULONG RtlNtStatusToDosError(NTSTATUS status);
// ntdll's deletion of an open key: a status, not a last error.
NTSTATUS NtDeleteKey(HANDLE key);
DWORD GetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart);
BOOL GetVolumePathNameW(LPCWSTR path, LPWSTR buffer, DWORD size);

// The Microsoft runtime's size-bounded string calls. Like the real ones, an
// overflow is a fatal invalid-parameter error, never a silent truncation.
errno_t strcat_s(char* destination, size_t size, const char* source);
int swprintf_s(wchar_t* buffer, size_t size, const wchar_t* format, ...);
errno_t wcscpy_s(wchar_t* destination, size_t size, const wchar_t* source);

// The GUI entry point's signature.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
