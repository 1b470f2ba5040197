// What the run tells as a whole is read from its record alone.
#include "app/report.h"
#include "app/uninstall.h"
#include "sim_test.h"

namespace {

RecordEntry Entry(Outcome outcome, DWORD error = 0) {
  return RecordEntry{outcome, L"module", L"C:\\m" + std::to_wstring(error), L"", error};
}

struct ExitCase {
  const char* name;
  RunRecord record;
  bool rebootOk;
  int exitCode;
};

RunRecord With(std::vector<Outcome> outcomes, bool preview = false) {
  RunRecord record;
  record.preview = preview;
  for (Outcome outcome : outcomes) record.entries.push_back(Entry(outcome));
  return record;
}

RunRecord Ended(bool rejected, bool unanswered, bool directoryUnknown, bool preview = false) {
  RunRecord record = With({kFailed, kPending}, preview);
  record.rejected = rejected;
  record.unanswered = unanswered;
  record.directoryUnknown = directoryUnknown;
  return record;
}

TEST(ReportTest, ExitCodeIsReadFromTheRecordInItsOrder) {
  const ExitCase cases[] = {
      {"Rejected", Ended(true, true, true), true, 87},
      {"Unanswered", Ended(false, true, true), true, 1},
      {"DirectoryUnknown", Ended(false, false, true), true, 2},
      {"PreviewWithoutItsDirectory", Ended(false, false, true, true), false, 2},
      {"FailedOverPending", With({kPending, kFailed}), true, 1603},
      {"PendingWithRebootOk", With({kRemoved, kPending, kKept}), true, 3010},
      {"PendingWithoutRebootOk", With({kRemoved, kPending}), false, 0},
      {"NothingFailed", With({kRemoved, kAbsent, kKept, kSkipped}), true, 0},
      {"PreviewThatWouldRemove", With({kAbsent, kRemoved}, true), false, 1},
      {"PreviewThatWouldFail", With({kFailed}, true), false, 1},
      {"PreviewOfWhatIsOnItsWay", With({kPending, kKept, kAbsent, kLinkLeft}, true), true, 0},
  };
  for (const ExitCase& c : cases) {
    UninstallOptions options;
    options.rebootOk = c.rebootOk;
    EXPECT_EQ(ExitCode(c.record, options), c.exitCode) << c.name;
  }
}

TEST(ReportTest, CompletionNamesFiveFailuresAndTheAdviceFitsTheErrors) {
  // Whichever failure comes last, the advice answers both.
  for (bool deniedFirst : {false, true}) {
    RunRecord record;
    if (deniedFirst) record.entries.push_back(Entry(kFailed, ERROR_ACCESS_DENIED));
    for (int i = 0; i < 5; ++i) record.entries.push_back(Entry(kFailed, ERROR_SHARING_VIOLATION));
    if (!deniedFirst) {
      EXPECT_EQ(CompletionText(record).find(L"more"), WidePath::npos) << "five are all named";
      record.entries.push_back(Entry(kFailed, ERROR_ACCESS_DENIED));
    }
    const std::string text = Utf8(CompletionText(record));
    EXPECT_NE(text.find("\r\nmodule C:\\m32\r\nand 1 more\r\n\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.rfind("\r\n") + 2),
              "Close the game and any program using these files, then run tvuninst again as administrator.")
        << deniedFirst;
  }
}

// The host's wchar_t holds 32 bits: a pair is built as Windows has it.
TEST(ReportTest, SurrogatePairIsOneCharacterInTheLog) {
  const WidePath pair = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00), L'x'};
  EXPECT_EQ(Utf8(pair), "\xF0\x9F\x98\x80x");
  for (unsigned long lone : {0xD83Dul, 0xDE00ul})
    EXPECT_EQ(Utf8(WidePath(1, static_cast<wchar_t>(lone)) + L"x"), "\xEF\xBF\xBDx") << "a lone surrogate";
}

}  // namespace
