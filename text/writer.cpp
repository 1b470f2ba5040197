#include "text/writer.h"

#include <algorithm>

// A console refuses a write larger than its buffer (64 KB before Windows 8):
// a long line goes in pieces.
static const size_t kConsoleChunk = 8192;

static void WriteConsoleText(HANDLE console, const WidePath& text) {
  for (size_t at = 0; at < text.size();) {
    size_t count = std::min(text.size() - at, kConsoleChunk);
    // A surrogate pair stays in one write.
    const unsigned long last = static_cast<unsigned long>(text[at + count - 1]);
    if (at + count < text.size() && count > 1 && last >= 0xD800 && last < 0xDC00) --count;
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + at, static_cast<DWORD>(count), &written, nullptr) ||
        written == 0)
      return;
    at += written;
  }
}

static void WriteBytes(HANDLE file, const std::string& bytes) {
  for (size_t at = 0; at < bytes.size();) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &written, nullptr) ||
        written == 0)
      return;
    at += written;
  }
}

bool IsConsole(HANDLE stream) {
  DWORD mode = 0;
  return GetFileType(stream) == FILE_TYPE_CHAR && GetConsoleMode(stream, &mode);
}

void WriteLine(HANDLE file, const WidePath& line) {
  WriteBytes(file, Utf8(line + L"\r\n"));
}

void PrintLine(const WidePath& line) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  const WidePath text = line + L"\r\n";
  if (IsConsole(output)) {
    WriteConsoleText(output, text);
  } else {
    WriteBytes(output, Utf8(text));
  }
}
