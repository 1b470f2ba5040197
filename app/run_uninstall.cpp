#include "app/uninstall.h"
#include "app/version.h"
#include "cleanup/cleanup.h"
#include "folder/product_folder.h"

static const char kCaption[] = TVUNINST_TITLE;
static const char kQuestion[] =
    "Registry keys and system modules of Telvarine will be removed.\r\n\r\nWould you like to "
    "continue?";
static const char kSilentNotice[] = TVUNINST_TITLE " silent mode";
static const char kCompleted[] = "Uninstallation completed.";

int RunUninstall() {
  UninstallOptions options;
  AttachParentConsole();
  if (!ReadCommandLine(options)) return kExitRejectedCommandLine;
  if (options.showHelp) return kExitDone;

  if (options.silent) {
    OutputDebugStringA(kSilentNotice);
  } else {
    const int answer = MessageBoxA(nullptr, kQuestion, kCaption, MB_YESNO | MB_ICONQUESTION);
    if (answer == IDNO || answer == IDCANCEL) return kExitDone;  // the user's decision
    // Any other answer means the box was never shown (0 on Windows, -1 under
    // Wine without a display): nobody consented, and the caller must know.
    if (answer != IDYES) return kExitDialogFailed;
  }

  StopServiceByName("kvdrNT2");
  DeleteServiceByName("kvdrNT2");
  DeleteServiceByName("kvtlsvc");
  DeleteServiceByName("brenserv");
  CleanRegistry();
  DeleteSystemModules();
  if (!RemoveProductFolder(options)) return kExitNoExecutableDirectory;

  if (options.silent) {
    OutputDebugStringA(kCompleted);
  } else {
    MessageBoxA(nullptr, kCompleted, kCaption, MB_OK);
  }
  return kExitDone;
}
