#include "app/report.h"

#include <vector>

#include "app/version.h"

static const wchar_t* const kWords[] = {L"removed",      L"absent ",    L"kept   ",
                                        L"pending",      L"failed ",    L"skipped",
                                        L"would remove", L"would keep", L"would be removed as a link",
                                        L"would be left"};
static const size_t kShownFailures = 5;

static unsigned long counts[sizeof kWords / sizeof kWords[0]];
static std::vector<WidePath> failures;  // each failed target, as the completion text names it
static bool failedInUse = false;
static bool failedAccessDenied = false;
static bool previewing = false;

// The log is UTF-8 whatever the width of wchar_t: UTF-16 on Windows, UTF-32 on the host.
static std::string Utf8(const WidePath& text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned long code = static_cast<unsigned long>(text[i]);
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<unsigned long>(text[++i]) - 0xDC00);
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;  // a lone surrogate
    }
    if (code < 0x80) {
      bytes += static_cast<char>(code);
    } else if (code < 0x800) {
      bytes += static_cast<char>(0xC0 | (code >> 6));
      bytes += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      bytes += static_cast<char>(0xE0 | (code >> 12));
      bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | (code >> 18));
      bytes += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return bytes;
}

static void WriteLogLine(const WidePath& line) {
  WriteLogBytes(Utf8(line) + "\r\n");
}

// Error 0 means the walk itself refused: the platform has no text for that.
static WidePath ErrorText(DWORD error) {
  if (error == 0) return L"error 0";
  wchar_t message[256] = {};
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD length = FormatMessageW(flags, nullptr, error, 0, message, 256, nullptr);
  while (length > 0 &&
         (message[length - 1] == L'\r' || message[length - 1] == L'\n' || message[length - 1] == L' '))
    message[--length] = L'\0';
  WidePath text = L"error " + std::to_wstring(error);
  if (length > 0) text += WidePath(L", ") + message;
  return text;
}

void BeginReport() {
  for (unsigned long& count : counts) count = 0;
  failures.clear();
  failedInUse = false;
  failedAccessDenied = false;
  previewing = false;
}

void ReportHeader(bool preview) {
  previewing = preview;
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  wchar_t stamp[64] = {};
  swprintf_s(stamp, 64, L"%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond);
  const LPCWSTR commandLine = GetCommandLineW();
  WriteLogLine(WidePath(L"tvuninst " TVUNINST_WIDEN(TVUNINST_VERSION)) + (preview ? L" preview, " : L", ") +
               stamp + L", elevated: " + (IsUserAnAdmin() ? L"yes" : L"no") + L", command line: " +
               (commandLine ? commandLine : L""));
}

void ReportTarget(Outcome outcome, const wchar_t* kind, const WidePath& target, const WidePath& note,
                  DWORD error) {
  ++counts[outcome];
  WidePath about = WidePath(kind) + L" " + target;
  if (!note.empty()) about += L" (" + note + L")";
  if (outcome == kFailed) {
    about += L": " + ErrorText(error);
    failures.push_back(WidePath(kind) + L" " + target + (note.empty() ? L"" : L" (" + note + L")"));
    failedInUse = failedInUse || error == ERROR_SHARING_VIOLATION;
    failedAccessDenied = failedAccessDenied || error == ERROR_ACCESS_DENIED;
  }
  const WidePath line = WidePath(kWords[outcome]) + L" " + about;
  WriteLogLine(line);
  if (outcome != kAbsent && outcome != kSkipped) PrintWide(L"%ls\n", line.c_str());
}

void ReportNote(const wchar_t* text) {
  WriteLogLine(text);
}

void ReportSummary(int exitCode, bool onConsole) {
  wchar_t line[240] = {};
  if (previewing) {
    swprintf_s(
        line, 240,
        L"preview summary: %lu would remove, %lu would keep, %lu absent, %lu skipped, %lu links would be "
        L"removed as links, %lu would be left; exit code %d",
        counts[kWouldRemove], counts[kWouldKeep], counts[kAbsent], counts[kSkipped], counts[kWouldRemoveLink],
        counts[kWouldLeave], exitCode);
  } else {
    swprintf_s(
        line, 240,
        L"summary: %lu removed, %lu absent, %lu kept, %lu pending, %lu failed, %lu skipped; exit code %d",
        counts[kRemoved], counts[kAbsent], counts[kKept], counts[kPending], counts[kFailed], counts[kSkipped],
        exitCode);
  }
  WriteLogLine(line);
  if (onConsole) PrintWide(L"%ls\n", line);
}

bool AnyFailed() {
  return !failures.empty();
}

unsigned long CountOf(Outcome outcome) {
  return counts[outcome];
}

std::string PreviewText() {
  std::string text = "Preview: nothing was removed.\r\n\r\n";
  if (counts[kWouldRemove] == 0)
    return text + "Telvarine is not installed here: a real run would remove nothing.";
  text += "A real run would remove " + std::to_string(counts[kWouldRemove]) + " parts of Telvarine";
  if (counts[kWouldKeep] > 0)
    text += " and keep " + std::to_string(counts[kWouldKeep]) + " that others still use";
  text += ".";
  if (counts[kWouldLeave] > 0)
    text += "\r\n" + std::to_string(counts[kWouldLeave]) + " links in its folder would be left in place.";
  return text;
}

static const char* Advice() {
  if (failedInUse && failedAccessDenied)
    return "Close the game and any program using these files, then run tvuninst again as administrator.";
  if (failedInUse) return "Close the game and any program using these files, then run tvuninst again.";
  if (failedAccessDenied) return "Run tvuninst as administrator.";
  return "Restart the computer, then run tvuninst again.";
}

// In the ANSI code page, as the box and the debugger string take it.
static std::string Narrow(const WidePath& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
  narrow.resize(static_cast<size_t>(size) - 1);
  return narrow;
}

std::string CompletionText() {
  std::string text = "Uninstallation completed.";
  if (failures.empty()) return text;
  text += "\r\n\r\nSome parts of Telvarine could not be removed:";
  for (size_t i = 0; i < failures.size() && i < kShownFailures; ++i) text += "\r\n" + Narrow(failures[i]);
  if (failures.size() > kShownFailures)
    text += "\r\nand " + std::to_string(failures.size() - kShownFailures) + " more";
  return text + "\r\n\r\n" + Advice();
}
