#include "record/run_record.h"

#include <algorithm>

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

WidePath Widen(const char* text) {
  return WidePath(text, text + strlen(text));
}

std::string Utf8(const WidePath& text) {
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

// One write of a whole line, so that a run that is killed leaves whole lines.
void WriteLogLine(const RunRecord& record, const WidePath& line) {
  if (record.logFile != INVALID_HANDLE_VALUE) WriteBytes(record.logFile, Utf8(line + L"\r\n"));
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
  WidePath name = WidePath(entry.kind) + L" " + entry.target;
  if (!entry.note.empty()) name += L" (" + entry.note + L")";
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
