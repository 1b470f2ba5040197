#include "record/run_record.h"

#include "text/writer.h"

// Padded to seven characters, so that a log reads as columns.
static const wchar_t* const kWords[kOutcomeCount] = {
    L"removed", L"absent ", L"kept   ", L"pending", L"failed ", L"skipped", L"", L"", L""};
static const wchar_t* const kPreviewWords[kOutcomeCount] = {L"would remove",
                                                            L"absent ",
                                                            L"would keep",
                                                            L"pending",
                                                            L"would fail",
                                                            L"skipped",
                                                            L"would be removed as a link",
                                                            L"would be left",
                                                            L""};

void WriteLogLine(const RunRecord& record, const WidePath& line) {
  if (record.logFile != INVALID_HANDLE_VALUE) WriteLine(record.logFile, line);
}

// A failure the walk decided by itself has no platform error, and no text for one.
static WidePath ErrorText(DWORD error) {
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

WidePath EntryName(const RecordEntry& entry) {
  // A note is the system's words around values (paths, names); the words hold
  // nothing that Shown changes, so the note is shown whole.
  WidePath name = WidePath(entry.kind) + L" " + Shown(entry.target);
  if (!entry.note.empty()) name += L" (" + Shown(entry.note) + L")";
  return name;
}

WidePath EntryLine(const RunRecord& record, const RecordEntry& entry) {
  if (entry.outcome == kSaid) return entry.target;
  WidePath line = WidePath(record.preview ? kPreviewWords[entry.outcome] : kWords[entry.outcome]) + L" " +
                  EntryName(entry);
  if (entry.outcome == kFailed && entry.error != 0) line += L": " + ErrorText(entry.error);
  return line;
}

// Absent and skipped targets are in the log only; the walks' own lines on the console only.
static void Add(RunRecord& record, const RecordEntry& entry) {
  record.entries.push_back(entry);
  const WidePath line = EntryLine(record, entry);
  if (entry.outcome != kSaid) WriteLogLine(record, line);
  if (entry.outcome != kAbsent && entry.outcome != kSkipped) PrintLine(line);
}

void AddTarget(RunRecord& record, Outcome outcome, const wchar_t* kind, const WidePath& target,
               const WidePath& note, DWORD error) {
  Add(record, RecordEntry{outcome, kind, target, note, error});
}

void AddJudgement(RunRecord& record, const wchar_t* kind, const WidePath& target,
                  const Judgement& judgement) {
  AddTarget(record, judgement.outcome, kind, target, judgement.note, judgement.error);
}

void AddSaid(RunRecord& record, const WidePath& line) {
  Add(record, RecordEntry{kSaid, nullptr, line, L"", 0});
}

void AddNote(RunRecord& record, const WidePath& line) {
  WriteLogLine(record, line);
}

unsigned long CountOf(const RunRecord& record, Outcome outcome) {
  unsigned long count = 0;
  for (const RecordEntry& entry : record.entries) count += entry.outcome == outcome;
  return count;
}
