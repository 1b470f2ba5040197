// The Microsoft runtime's bounded string calls. An overflow ends the process,
// as the runtime's default invalid-parameter handler does.
#include <cstdarg>
#include <cstdlib>

#include "state.h"

static void InvalidParameter(const char* call) {
  fprintf(stderr, "invalid parameter in %s: the process ends\n", call);
  abort();
}

errno_t strcat_s(char* destination, size_t size, const char* source) {
  sim::PlatformCall inPlatform;
  if (!destination || !source || size == 0) InvalidParameter("strcat_s");
  const size_t used = strnlen(destination, size);
  if (used == size || used + strlen(source) + 1 > size) InvalidParameter("strcat_s");
  memcpy(destination + used, source, strlen(source) + 1);
  return 0;
}

int swprintf_s(wchar_t* buffer, size_t size, const wchar_t* format, ...) {
  sim::PlatformCall inPlatform;
  if (!buffer || size == 0 || !format) InvalidParameter("swprintf_s");
  va_list args;
  va_start(args, format);
  const int written = vswprintf(buffer, size, format, args);
  va_end(args);
  if (written < 0) InvalidParameter("swprintf_s");
  return written;
}

errno_t wcscpy_s(wchar_t* destination, size_t size, const wchar_t* source) {
  sim::PlatformCall inPlatform;
  if (!destination || !source || size == 0 || wcslen(source) + 1 > size) InvalidParameter("wcscpy_s");
  wmemcpy(destination, source, wcslen(source) + 1);
  return 0;
}
