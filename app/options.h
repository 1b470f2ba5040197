// The parsed command line, as the caller gave it: read by the run and its
// steps, never changed after the parse. What the run finds and decides goes
// into its RunRecord.
#pragma once

#include "text/text.h"

struct UninstallOptions {
  bool showHelp = false;  // usage requested or command line rejected
  bool silent = false;    // debugger strings instead of message boxes
  WidePath installDir;    // the value after "-a"/"--all", verbatim
  WidePath logPath;       // the value after "-l"/"--log", verbatim; empty: no log
  bool preview = false;   // "-n"/"--dry-run": look, count and tell, change nothing
  bool rebootOk = false;  // "--reboot-ok": modules in use are deleted at the next restart
};
