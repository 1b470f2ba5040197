#include "app/report.h"
#include "app/uninstall.h"
#include "app/version.h"
#include "cleanup/cleanup.h"
#include "folder/product_folder.h"
#include "folder/walk_checks.h"
#include "text/writer.h"

static const char kCaption[] = TVUNINST_TITLE;
static const char kQuestion[] =
    "Registry keys and system modules of Telvarine will be removed.\r\n\r\nWould you like to "
    "continue?";
static const char kSilentNotice[] = TVUNINST_TITLE " silent mode";
static const char kPreviewNotice[] = TVUNINST_TITLE " preview";
static const char kPreviewCompleted[] = "Preview completed.";

// The log is opened before anything is asked or removed: a log that cannot be
// written is a rejected command line.
static bool StartLog(RunRecord& record, const UninstallOptions& options) {
  if (options.logPath.empty()) return true;
  if (!OpenLog(record, options.logPath)) {
    PrintLine(L"ERROR: Cannot open the log file, error code: " + std::to_wstring(GetLastError()));
  } else if (!FinalPathOf(record.logFile, &record.logFinalPath)) {
    PrintLine(L"ERROR: Cannot tell where the log file is, error code: " + std::to_wstring(GetLastError()));
  } else if (IsSystemModule(record.logFinalPath)) {
    // What it really is decides, whatever name the caller gave it.
    PrintLine(L"ERROR: The log file is one of the modules tvuninst removes: " + Shown(record.logFinalPath));
  } else if (FolderHolds(GivenProductFolder(options.installDir), record.logFinalPath)) {
    PrintLine(L"ERROR: The log file is inside the folder tvuninst removes: " + Shown(record.logFinalPath));
  } else {
    return true;
  }
  DiscardLog(record);
  PrintUsage();
  return false;
}

// A run that removed nothing keeps the console as quiet as before.
static int Finish(RunRecord& record, const UninstallOptions& options, bool stepsRan) {
  const int exitCode = ExitCode(record, options);
  ReportSummary(record, exitCode, stepsRan);
  CloseLog(record);
  return exitCode;
}

// Consent, or the reason there is none; false when the run must not go on.
static bool Consent(RunRecord& record, const UninstallOptions& options) {
  if (options.preview) {
    // Nothing is removed, so nobody is asked.
    if (options.silent) OutputDebugStringA(kPreviewNotice);
    return true;
  }
  if (options.silent) {
    OutputDebugStringA(kSilentNotice);
    return true;
  }
  const int answer =
      SomeoneCanAnswer() ? MessageBoxA(nullptr, kQuestion, kCaption, MB_YESNO | MB_ICONQUESTION) : 0;
  if (answer == IDYES) return true;
  if (answer == IDNO || answer == IDCANCEL) {  // the user's decision
    AddNote(record, L"declined: nothing was removed");
  } else {
    // Any other answer means the box was never shown (0 on Windows, -1 under
    // Wine without a display, or not tried where nobody would see it): nobody
    // consented, and the caller must know.
    record.unanswered = true;
    AddNote(record, L"no answer: the confirmation box could not be shown; nothing was removed");
    PrintLine(
        L"ERROR: Nobody can answer the confirmation box here, so nothing was removed. Run with -s to "
        L"remove without asking.");
  }
  return false;
}

// The steps, in their order; a preview takes the same steps and asks the
// same questions, and each step only judges what it would do.
static void RunSteps(RunRecord& record, const UninstallOptions& options) {
  KeyTrace keys[kRegistryCleanupCount];
  NoteRegistryKeys(keys);
  ServiceTrace services[kProductServiceCount];
  NoteServices(services);
  if (!options.preview) RemoveServices(services);
  RemoveRegistryKeys(record, keys, ServicesGoneAtOnce(services));
  RemoveSystemModules(record, options.rebootOk);
  record.directoryUnknown = !RemoveProductFolder(options.installDir, record);
  ReportServices(record, services);
}

static void ReportCompletion(const RunRecord& record, const UninstallOptions& options) {
  if (options.preview) {
    // Its box would wait for ever where nobody can answer it: the preview
    // then ends as a silent one does.
    if (options.silent || !SomeoneCanAnswer()) {
      OutputDebugStringA(kPreviewCompleted);
    } else {
      MessageBoxA(nullptr, PreviewText(record).c_str(), kCaption, MB_OK);
    }
    return;
  }
  // The text can name paths in any script: the box takes it whole.
  const WidePath completed = CompletionText(record);
  if (options.silent) {
    OutputDebugStringA(AnsiText(completed).c_str());
  } else {
    MessageBoxW(nullptr, completed.c_str(), TVUNINST_WIDEN(TVUNINST_TITLE), MB_OK);
  }
}

static int RunOnConsole() {
  UninstallOptions options;
  RunRecord record;
  record.rejected = !ReadCommandLine(options);
  if (record.rejected || options.showHelp) return ExitCode(record, options);
  record.rejected = !StartLog(record, options);
  if (record.rejected) return ExitCode(record, options);
  record.preview = options.preview;
  ReportHeader(record);
  if (!Consent(record, options)) return Finish(record, options, false);
  RunSteps(record, options);
  // Without its own directory the run cannot tell it went through.
  if (!record.directoryUnknown) ReportCompletion(record, options);
  return Finish(record, options, true);
}

int RunUninstall() {
  ConsoleStreams console;
  AttachParentConsole(console);
  const int exitCode = RunOnConsole();
  ReleaseParentConsole(console);
  return exitCode;
}
