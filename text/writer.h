// The one writer of every line the run prints or logs: whole lines, each one
// write, so that a run that is killed leaves whole lines, in the order they
// were written. A failed write is ignored: the run's result does not depend
// on it.
#pragma once

#include "platform/platform.h"
#include "text/text.h"

// A console: a character device with a console mode (NUL is a character device too).
bool IsConsole(HANDLE stream);
// The line and CRLF to a file, as UTF-8.
void WriteLine(HANDLE file, const WidePath& line);
// The line and CRLF to standard output: as a console takes text
// (WriteConsoleW) or, to a file or a pipe, as UTF-8 like the log.
void PrintLine(const WidePath& line);
