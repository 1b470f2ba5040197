#include "app/uninstall.h"
#include "text/writer.h"

static const DWORD kStandardStreams[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

bool KeepsStandardStream(HANDLE stream) {
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return false;
  const DWORD type = GetFileType(stream);
  // A handle of no known type (one that is not valid) counts as missing.
  return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE || (type == FILE_TYPE_CHAR && !IsConsole(stream));
}

bool AttachParentConsole(ConsoleStreams& console) {
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  // What the caller redirected stays redirected: a script that captures the
  // output gets it. Only a stream with nowhere else to go, or one on a
  // console, is reopened on the console the user is looking at.
  for (int i = 0; i < 3; ++i) {
    const HANDLE given = GetStdHandle(kStandardStreams[i]);
    if (KeepsStandardStream(given)) continue;
    const bool input = kStandardStreams[i] == STD_INPUT_HANDLE;
    const HANDLE opened = CreateFileW(input ? L"CONIN$" : L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    // A stream that cannot be reopened stays as it was.
    if (opened == INVALID_HANDLE_VALUE) continue;
    if (!SetStdHandle(kStandardStreams[i], opened)) {
      CloseHandle(opened);
      continue;
    }
    console.given[i] = given;
    console.opened[i] = opened;
  }
  return true;
}

void ReleaseParentConsole(ConsoleStreams& console) {
  for (int i = 0; i < 3; ++i) {
    if (console.opened[i] == INVALID_HANDLE_VALUE) continue;
    SetStdHandle(kStandardStreams[i], console.given[i]);
    CloseHandle(console.opened[i]);
    console.opened[i] = INVALID_HANDLE_VALUE;
  }
}
