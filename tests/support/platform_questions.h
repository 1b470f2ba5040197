// The questions about the platform whose answers the system relies on: one
// list, asked of the real platform by the Wine probe and of the simulation by
// the host test, both held to tests/data/platform_codes.txt.
#pragma once

#include <string>

// How each side stages what the questions need.
class QuestionStage {
 public:
  virtual ~QuestionStage() = default;
  virtual void Directory(const std::wstring& path) = 0;
  virtual void File(const std::wstring& path) = 0;
  virtual void ReadOnlyFile(const std::wstring& path) = 0;
  // Read-only and, where the platform can make one, a reparse point that is
  // no link (Wine makes none: there it is a plain read-only file).
  virtual void ReadOnlyReparseFile(const std::wstring& path) = 0;
  // Held open by another process without delete sharing.
  virtual void HeldFile(const std::wstring& path) = 0;
  // Held open by another process with delete sharing, as a virus scanner holds a file.
  virtual void SharedHeldFile(const std::wstring& path) = 0;
  // A Unix symbolic link to a directory, as Wine shows it; made from Linux
  // before the probe runs.
  virtual void UnixDirectoryLink(const std::wstring& path, const std::wstring& target) = 0;
  virtual void Key(const char* path) = 0;  // below HKEY_LOCAL_MACHINE, in the caller's view
  // A registry link at `path` whose SymbolicLinkValue names the key at `target`,
  // both below HKEY_LOCAL_MACHINE in the caller's view.
  virtual void KeyLink(const char* path, const char* target) = 0;
  virtual void Service(const char* name) = 0;
  // The standard streams as a caller redirects them: input from the null
  // device (/dev/null, NUL), output to a pipe, error to a disk file.
  virtual void StandardStreams() = 0;
  // The current directory of the process (and of its drive).
  virtual void CurrentDirectory(const std::wstring& path) = 0;
};

// Asks every question, in a fixed order, below `directory`; one "name=answer"
// line each.
std::string AskPlatformQuestions(const std::wstring& directory, QuestionStage& stage);
