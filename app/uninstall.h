// The run of the uninstaller: its options record, its front end and its
// sequence of steps.
#pragma once

#include "app/options.h"
#include "platform/platform.h"

// Exit codes of the process.
const int kExitDone = 0;
const int kExitDialogFailed = 1;
const int kExitNoExecutableDirectory = 2;
const int kExitRejectedCommandLine = 87;  // ERROR_INVALID_PARAMETER
const int kExitSomethingFailed = 1603;    // ERROR_INSTALL_FAILURE, what deployment tools read as failure
const int kExitRestartNeeded = 3010;      // ERROR_SUCCESS_REBOOT_REQUIRED, with --reboot-ok
const int kExitPreviewWouldRemove = 1;    // a preview found something to remove, as diff does

int RunUninstall();

// The standard streams reopened on the parent's console, to be given back
// and closed when the run ends.
struct ConsoleStreams {
  HANDLE given[3] = {nullptr, nullptr, nullptr};  // input, output, error
  HANDLE opened[3] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
};
// Whether a standard stream the process started with stays where the caller
// sent it: a disk file, a pipe or a device without a console mode (NUL).
bool KeepsStandardStream(HANDLE stream);
// Attaches to the parent's console, when there is one, and reopens on it each
// standard stream that is not kept.
bool AttachParentConsole(ConsoleStreams& console);
void ReleaseParentConsole(ConsoleStreams& console);
// False when a box would be shown where nobody can see it.
bool SomeoneCanAnswer();
// Returns false when the command line was rejected (the usage text is printed).
bool ReadCommandLine(UninstallOptions& options);
bool ParseCommandLine(int argumentCount, const LPWSTR* arguments, UninstallOptions& options);
void PrintUsage();
