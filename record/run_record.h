// The run record: what the run decided for each target, in the order it
// decided it. The run owns it and passes it to every step; each entry is
// written to the log and the console as it is added, so a run that is killed
// leaves every line it finished. Counts, the summary, the completion text and
// the exit code are all read from it.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "text/text.h"

// A real run's words; a preview says what a real run would do with the same
// judgement (removed: "would remove", kept: "would keep", failed: "would fail").
enum Outcome {
  kRemoved,  // it was there and is gone
  kAbsent,   // it was not there
  kKept,     // left in place by design: it holds only what is not the product's, or kept keys
  kPending,  // marked for deletion, gone when it stops or at the restart
  kFailed,   // it was there and still is
  kSkipped,  // a link or unsafe name the search did not enter
  // A preview's own words for the links inside the folder.
  kLinkRemovable,  // removed as itself
  kLinkLeft,       // left in place, which stops the deletion
  kSaid,           // a line of the walks' own, on the console only
};
const int kOutcomeCount = kSaid + 1;

struct RecordEntry {
  Outcome outcome;
  const wchar_t* kind;  // "service", "key", "module", "folder", "entry"; null for kSaid
  WidePath target;      // for kSaid, the whole line
  WidePath note;        // says more; may be empty
  DWORD error;          // the platform's error for a failure; 0 when the platform gave none
};

struct RunRecord {
  bool preview = false;
  std::vector<RecordEntry> entries;
  // The log, opened before anything is asked: its directory is held for the run.
  HANDLE logDirectory = INVALID_HANDLE_VALUE;
  HANDLE logFile = INVALID_HANDLE_VALUE;
  WidePath logFinalPath;    // where the log really is: no step may remove it
  bool logCreated = false;  // by this run: a refused log goes again
  // How a run ended before or instead of its steps.
  bool rejected = false;          // the command line, the log included
  bool unanswered = false;        // the confirmation box could not be shown
  bool directoryUnknown = false;  // the executable's own directory
};

// A judgement of one target, before it is added to the record.
struct Judgement {
  Outcome outcome;
  WidePath note;
  DWORD error;
};

void AddTarget(RunRecord& record, Outcome outcome, const wchar_t* kind, const WidePath& target,
               const WidePath& note = L"", DWORD error = 0);
void AddJudgement(RunRecord& record, const wchar_t* kind, const WidePath& target, const Judgement& judgement);
// A line of the walks' own ("Found ...", a listing that failed): console only.
void AddSaid(RunRecord& record, const WidePath& line);
// A line about the run rather than a target ("declined: ..."): log only.
void AddNote(RunRecord& record, const WidePath& line);
// One write of a whole line to the log, when there is one.
void WriteLogLine(const RunRecord& record, const WidePath& line);

unsigned long CountOf(const RunRecord& record, Outcome outcome);
// The line as the log and the console show it.
WidePath EntryLine(const RunRecord& record, const RecordEntry& entry);
// "kind target (note)", as the completion text names a failure.
WidePath EntryName(const RecordEntry& entry);
