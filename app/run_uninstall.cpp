#include "app/outcomes.h"
#include "app/report.h"
#include "app/uninstall.h"
#include "app/version.h"
#include "folder/product_folder.h"

static const char kCaption[] = TVUNINST_TITLE;
static const char kQuestion[] =
    "Registry keys and system modules of Telvarine will be removed.\r\n\r\nWould you like to "
    "continue?";
static const char kSilentNotice[] = TVUNINST_TITLE " silent mode";
static const char kPreviewNotice[] = TVUNINST_TITLE " preview";
static const char kPreviewCompleted[] = "Preview completed.";

// The log is opened before anything is asked or removed: a log that cannot be
// written is a rejected command line.
static bool StartLog(const UninstallOptions& options) {
  if (options.logPath.empty()) return true;
  if (OpenLog(options.logPath)) return true;
  PrintWide(L"ERROR: Cannot open the log file, error code: %lu\n", GetLastError());
  PrintUsage();
  return false;
}

// A run that removed nothing keeps the console as quiet as before.
static int Finish(int exitCode, bool stepsRan = true) {
  ReportSummary(exitCode, stepsRan);
  CloseLog();
  return exitCode;
}

// The same questions and the same search as a real run, and nothing changed:
// no box asks for consent, since nothing is removed.
static int RunPreview(UninstallOptions& options) {
  if (options.silent) OutputDebugStringA(kPreviewNotice);
  PreviewServices();
  PreviewRegistryKeys();
  PreviewSystemModules();
  WalkTally folder;
  folder.preview = true;
  if (!RemoveProductFolder(options, &folder)) return Finish(kExitNoExecutableDirectory);
  ReportProductFolderPreview(folder);
  if (options.silent) {
    OutputDebugStringA(kPreviewCompleted);
  } else {
    MessageBoxA(nullptr, PreviewText().c_str(), kCaption, MB_OK);
  }
  return Finish(CountOf(kWouldRemove) > 0 ? kExitPreviewWouldRemove : kExitDone);
}

int RunUninstall() {
  UninstallOptions options;
  BeginReport();
  AttachParentConsole();
  if (!ReadCommandLine(options)) return kExitRejectedCommandLine;
  if (options.showHelp) return kExitDone;
  if (!StartLog(options)) return kExitRejectedCommandLine;
  ReportHeader(options.preview);
  if (options.preview) return RunPreview(options);

  if (options.silent) {
    OutputDebugStringA(kSilentNotice);
  } else {
    const int answer = MessageBoxA(nullptr, kQuestion, kCaption, MB_YESNO | MB_ICONQUESTION);
    if (answer == IDNO || answer == IDCANCEL) {  // the user's decision
      ReportNote(L"declined: nothing was removed");
      return Finish(kExitDone, false);
    }
    // Any other answer means the box was never shown (0 on Windows, -1 under
    // Wine without a display): nobody consented, and the caller must know.
    if (answer != IDYES) {
      ReportNote(L"no answer: the confirmation box could not be shown; nothing was removed");
      return Finish(kExitDialogFailed, false);
    }
  }

  bool keysBefore[kRegistryCleanupCount] = {};
  NoteRegistryKeys(keysBefore);
  ServiceTrace services[kProductServiceCount];
  RemoveServices(services);
  RemoveRegistryKeys(keysBefore);
  RemoveSystemModules(options.rebootOk);
  WalkTally folder;
  const bool folderStepRan = RemoveProductFolder(options, &folder);
  if (folderStepRan) ReportProductFolder(folder);
  ReportServices(services);
  if (!folderStepRan) {
    ReportTarget(kFailed, L"folder", L"Telvarine", L"the executable's own directory is unknown");
    return Finish(kExitNoExecutableDirectory);
  }

  const std::string completed = CompletionText();
  if (options.silent) {
    OutputDebugStringA(completed.c_str());
  } else {
    MessageBoxA(nullptr, completed.c_str(), kCaption, MB_OK);
  }
  if (AnyFailed()) return Finish(kExitSomethingFailed);
  // Asked to, the run leaves the rest to the restart and says that one is needed.
  if (options.rebootOk && CountOf(kPending) > 0) return Finish(kExitRestartNeeded);
  return Finish(kExitDone);
}
