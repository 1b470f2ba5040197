#include "app/uninstall.h"

// A box on a window station nobody sees (a service's, or one a deployment
// tool made) waits for ever; so does one in session 0 while the console is
// another session (a program started by a service on Vista and later). On
// Windows XP the console is session 0 itself. A question that cannot be
// asked is no reason to refuse: only a known answer is.
bool SomeoneCanAnswer() {
  USEROBJECTFLAGS flags = {};
  const HWINSTA station = GetProcessWindowStation();
  if (station && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      !(flags.dwFlags & WSF_VISIBLE))
    return false;
  DWORD session = 0;
  return !(ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0 &&
           WTSGetActiveConsoleSessionId() != 0);
}
