#include "app/report.h"

#include "app/uninstall.h"
#include "app/version.h"
#include "text/writer.h"

static const size_t kShownFailures = 5;

// Local time and how far it is from UTC, so that logs of many machines line up.
static WidePath LocalStamp() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  TIME_ZONE_INFORMATION zone = {};
  const DWORD kind = GetTimeZoneInformation(&zone);
  const long bias = zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT   ? zone.DaylightBias
                                 : kind == TIME_ZONE_ID_STANDARD ? zone.StandardBias
                                                                 : 0);
  const long offset = bias < 0 ? -bias : bias;
  wchar_t stamp[64] = {};
  swprintf_s(stamp, 64, L"%04u-%02u-%02u %02u:%02u:%02u UTC%lc%02ld:%02ld", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond, bias > 0 ? L'-' : L'+', offset / 60, offset % 60);
  if (kind == TIME_ZONE_ID_INVALID) stamp[19] = L'\0';  // no offset rather than a wrong one
  return stamp;
}

void ReportHeader(const RunRecord& record) {
  // Which machine and which account, where many machines log to one place; "?" when not told.
  wchar_t computer[257] = {}, account[257] = {};
  DWORD computerSize = 257, accountSize = 257;
  if (!GetComputerNameW(computer, &computerSize)) wcscpy_s(computer, 257, L"?");
  if (!GetUserNameW(account, &accountSize)) wcscpy_s(account, 257, L"?");
  const LPCWSTR commandLine = GetCommandLineW();
  WriteLogLine(record, WidePath(L"tvuninst " TVUNINST_WIDEN(TVUNINST_VERSION)) +
                           (record.preview ? L" preview, " : L", ") + LocalStamp() + L", elevated: " +
                           (IsUserAnAdmin() ? L"yes" : L"no") + L", computer: " + Shown(computer) +
                           L", account: " + Shown(account) + L", command line: " +
                           Shown(commandLine ? commandLine : L""));
}

void ReportSummary(const RunRecord& record, int exitCode, bool onConsole) {
  wchar_t line[320] = {};
  const auto count = [&](Outcome outcome) { return CountOf(record, outcome); };
  if (record.preview) {
    swprintf_s(line, 320,
               L"preview summary: %lu would remove, %lu would keep, %lu would fail, %lu pending, %lu absent, "
               L"%lu skipped, %lu links would be removed as links, %lu would be left; exit code %d",
               count(kRemoved), count(kKept), count(kFailed), count(kPending), count(kAbsent),
               count(kSkipped), count(kLinkRemovable), count(kLinkLeft), exitCode);
  } else {
    swprintf_s(
        line, 320,
        L"summary: %lu removed, %lu absent, %lu kept, %lu pending, %lu failed, %lu skipped; exit code %d",
        count(kRemoved), count(kAbsent), count(kKept), count(kPending), count(kFailed), count(kSkipped),
        exitCode);
  }
  WriteLogLine(record, line);
  if (onConsole) PrintLine(line);
}

int ExitCode(const RunRecord& record, const UninstallOptions& options) {
  if (record.rejected) return kExitRejectedCommandLine;
  if (record.unanswered) return kExitDialogFailed;
  if (record.directoryUnknown) return kExitNoExecutableDirectory;
  if (record.preview)
    return CountOf(record, kRemoved) + CountOf(record, kFailed) > 0 ? kExitPreviewWouldRemove : kExitDone;
  if (CountOf(record, kFailed) > 0) return kExitSomethingFailed;
  // Asked to, the run leaves the rest to the restart and says that one is needed.
  if (options.rebootOk && CountOf(record, kPending) > 0) return kExitRestartNeeded;
  return kExitDone;
}

std::string PreviewText(const RunRecord& record) {
  const unsigned long removable = CountOf(record, kRemoved), failing = CountOf(record, kFailed);
  std::string text = "Preview: nothing was removed.\r\n\r\n";
  if (removable + failing == 0)
    return text + "Telvarine is not installed here: a real run would remove nothing.";
  text += "A real run would remove " + std::to_string(removable) + " parts of Telvarine";
  if (CountOf(record, kKept) > 0)
    text += " and keep " + std::to_string(CountOf(record, kKept)) + " that others still use";
  text += ".";
  if (failing > 0) text += "\r\n" + std::to_string(failing) + " parts could not be removed as things are.";
  if (CountOf(record, kLinkLeft) > 0)
    text +=
        "\r\n" + std::to_string(CountOf(record, kLinkLeft)) + " links in its folder would be left in place.";
  return text;
}

std::string AnsiText(const WidePath& text) {
  bool ascii = true;
  for (wchar_t unit : text) ascii = ascii && static_cast<unsigned long>(unit) < 0x80;
  if (!ascii) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0 &&
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr) == size) {
      narrow.resize(static_cast<size_t>(size) - 1);
      return narrow;
    }
  }
  // ASCII is the same in every ANSI code page; a conversion that failed leaves
  // the text with '?' where it could not help.
  std::string narrow;
  for (wchar_t unit : text) narrow += static_cast<unsigned long>(unit) < 0x80 ? static_cast<char>(unit) : '?';
  return narrow;
}

WidePath CompletionText(const RunRecord& record) {
  WidePath text = L"Uninstallation completed.";
  size_t failures = 0;
  bool inUse = false, accessDenied = false;
  for (const RecordEntry& entry : record.entries) {
    if (entry.outcome != kFailed) continue;
    if (failures == 0) text += L"\r\n\r\nSome parts of Telvarine could not be removed:";
    if (failures < kShownFailures) text += L"\r\n" + EntryName(entry);
    ++failures;
    inUse = inUse || entry.error == ERROR_SHARING_VIOLATION;
    accessDenied = accessDenied || entry.error == ERROR_ACCESS_DENIED;
  }
  if (failures == 0) return text;
  if (failures > kShownFailures) text += L"\r\nand " + std::to_wstring(failures - kShownFailures) + L" more";
  text += L"\r\n\r\n";
  if (inUse && accessDenied)
    return text +
           L"Close the game and any program using these files, then run tvuninst again as administrator.";
  if (inUse) return text + L"Close the game and any program using these files, then run tvuninst again.";
  if (accessDenied) return text + L"Run tvuninst as administrator.";
  return text + L"Restart the computer, then run tvuninst again.";
}
