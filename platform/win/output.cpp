#include <stdarg.h>

#include "platform/platform.h"

// The Microsoft runtime lets narrow and wide formatting share stdout.
int PrintNarrow(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int written = vprintf(format, args);
  va_end(args);
  return written;
}

int PrintWide(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  int written = vwprintf(format, args);
  va_end(args);
  return written;
}
