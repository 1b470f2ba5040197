// What the run tells about each target: one line per target on the console
// and in the log, the summary, the completion text and the exit code.
#pragma once

#include <string>

#include "folder/wide_path.h"
#include "platform/platform.h"

enum Outcome {
  kRemoved,  // it was there and is gone
  kAbsent,   // it was not there
  kKept,     // left in place by design: it holds only what belongs to others
  kPending,  // marked for deletion, gone when it stops
  kFailed,   // it was there and still is
  kSkipped,  // a link or unsafe name the search did not enter
  // A preview's words: what a real run would do.
  kWouldRemove,
  kWouldKeep,
  kWouldRemoveLink,  // a link inside the folder, removed as itself
  kWouldLeave,       // a link inside the folder that the deletion leaves (and so stops)
};

// Starts a run's report; a log opened before stays open.
void BeginReport();
// Opens the log for appending. False, with the reason in the last error, when
// the path is not a plain disk file in a plain directory that can be held.
bool OpenLog(const WidePath& path);
void CloseLog();
// One write of a whole line: a run that is killed leaves every line it
// finished. A failed write is ignored; the run's result does not depend on it.
void WriteLogBytes(const std::string& bytes);
// The block's first line: version (marked when it is a preview), local time,
// command line, elevation.
void ReportHeader(bool preview);
// One target. `note` says more (may be empty); a failure gives the platform's
// error, 0 when the platform gave none.
void ReportTarget(Outcome outcome, const wchar_t* kind, const WidePath& target, const WidePath& note = L"",
                  DWORD error = 0);
// A line that is not about a target, such as a declined run; log only.
void ReportNote(const wchar_t* text);
// The last line, with the exit code; on the console too when targets were reported.
void ReportSummary(int exitCode, bool onConsole);
bool AnyFailed();
unsigned long CountOf(Outcome outcome);
// "Uninstallation completed." and, when something failed, what and what to do.
std::string CompletionText();
// A preview's summary, for its box.
std::string PreviewText();
