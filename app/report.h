// What the run tells as a whole, read from its record: the log's header and
// summary, the completion text, a preview's box and the exit code.
#pragma once

#include <string>

#include "app/options.h"
#include "record/run_record.h"

// Opens the log for appending into the record. False, with the reason in the
// last error, when the path is not a plain disk file in a plain directory
// that can be held.
bool OpenLog(RunRecord& record, const WidePath& path);
void CloseLog(RunRecord& record);
// Closes a log that was refused: a file this run created goes again, a file
// that was there before is never touched.
void DiscardLog(RunRecord& record);
// The block's first line: version (marked when it is a preview), local time,
// elevation, command line.
void ReportHeader(const RunRecord& record);
// The last line, with the exit code; on the console too when the steps ran.
void ReportSummary(const RunRecord& record, int exitCode, bool onConsole);
// 87 > 1 > 2 > 1603 > 3010 > 0; a preview: 1 when a real run would act on
// something of the product, else 0.
int ExitCode(const RunRecord& record, const UninstallOptions& options);
// "Uninstallation completed." and, when something failed, what and what to do.
WidePath CompletionText(const RunRecord& record);
// In the ANSI code page, as a debugger string takes it; never empty for a text that is not.
std::string AnsiText(const WidePath& text);
// A preview's summary, for its box.
std::string PreviewText(const RunRecord& record);
