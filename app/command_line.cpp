#include "app/uninstall.h"
#include "app/version.h"
#include "text/writer.h"

static const wchar_t kSeparator[] = L"=====================================";

void PrintUsage() {
  PrintLine(L"tvuninst " TVUNINST_WIDEN(TVUNINST_VERSION));
  PrintLine(kSeparator);
  PrintLine(L"  -h, --help\t\t\t\tDisplay help information");
  PrintLine(
      L"  -a, --all <PATH>\t\t\tTo delete all files, the <PATH> parameter must be set. It can be set "
      L"to < ./ > (the current runtime directory) or < . > (the directory where the executable module "
      L"is located)");
  PrintLine(L"  -s, --silent, /silent\t\t\tRun silently");
  PrintLine(L"  -l, --log <PATH>\t\t\tAppend a record of what was removed to the file <PATH>");
  PrintLine(L"  -n, --dry-run\t\t\t\tShow what would be removed, and remove nothing");
  PrintLine(L"  --reboot-ok\t\t\t\tDelete system modules in use at the next restart (exit code 3010)");
  PrintLine(kSeparator);
}

// The argument after an option that takes a value, whatever it looks like;
// false, with `missing` printed, when there is none.
static bool TakeValue(int argumentCount, const LPWSTR* arguments, int* i, const wchar_t* missing,
                      WidePath* value) {
  if (*i + 1 >= argumentCount) {
    PrintLine(missing);
    return false;
  }
  *value = arguments[++*i];
  return true;
}

bool ParseCommandLine(int argumentCount, const LPWSTR* arguments, UninstallOptions& options) {
  options.showHelp = false;
  options.silent = false;
  if (argumentCount <= 1) return true;
  for (int i = 1; i < argumentCount; ++i) {
    const WidePath argument = arguments[i];
    if (argument == L"-h" || argument == L"--help") {
      options.showHelp = true;
      PrintUsage();
    } else if (argument == L"-s" || argument == L"--silent" || argument == L"/silent") {
      options.silent = true;
    } else if (argument == L"-a" || argument == L"--all") {
      if (!TakeValue(argumentCount, arguments, &i,
                     L"ERROR: -a/--all The game installation directory must be set!", &options.installDir))
        return false;
    } else if (argument == L"-n" || argument == L"--dry-run") {
      options.preview = true;
    } else if (argument == L"--reboot-ok") {
      options.rebootOk = true;
    } else if (argument == L"-l" || argument == L"--log") {
      if (!TakeValue(argumentCount, arguments, &i, L"ERROR: -l/--log The log file path must be set!",
                     &options.logPath))
        return false;
    } else {
      PrintLine(L"ERROR: Unidentified parameter.");
      return false;
    }
  }
  return true;
}

bool ReadCommandLine(UninstallOptions& options) {
  int argumentCount = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &argumentCount);
  if (!arguments) argumentCount = 0;  // a failed split acts as an empty command line
  const bool accepted = ParseCommandLine(argumentCount, arguments, options);
  if (!accepted) {
    options.showHelp = true;
    PrintUsage();
  }
  LocalFree(arguments);
  return accepted;
}
