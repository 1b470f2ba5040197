#include "app/uninstall.h"

bool AttachParentConsole() {
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  // The streams are reopened whatever the parent did with its own, so that
  // every line reaches the console the user is looking at.
  FILE* stream = nullptr;
  freopen_s(&stream, "CONOUT$", "w", stdout);
  freopen_s(&stream, "CONOUT$", "w", stderr);
  freopen_s(&stream, "CONIN$", "r", stdin);
  return true;
}
