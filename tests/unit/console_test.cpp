#include "app/uninstall.h"
#include "sim_test.h"
#include "text/writer.h"

namespace {

using ConsoleTest = SimTest;

const DWORD kStreams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

TEST_F(ConsoleTest, WithoutParentConsoleNothingIsReopened) {
  ConsoleStreams console;
  EXPECT_FALSE(AttachParentConsole(console));
  EXPECT_TRUE(sim::CallsNamed("CreateFileW").empty());
  EXPECT_TRUE(sim::CallsNamed("SetStdHandle").empty());
  PrintLine(L"line");
  EXPECT_EQ(sim::InheritedStdoutText(), "line\r\n");
  EXPECT_EQ(sim::ConsoleText(), "");
}

// Each kind of stream the process can start with, given for all three
// streams, under a parent with a console: the platform's answers decide.
TEST_F(ConsoleTest, RedirectedStreamsStayAndOthersAreReopened) {
  const struct {
    const char* name;
    sim::StreamKind kind;
    bool kept;
  } cases[] = {
      {"missing", sim::StreamKind::Missing, false},
      {"disk file", sim::StreamKind::DiskFile, true},
      {"pipe", sim::StreamKind::Pipe, true},
      {"NUL", sim::StreamKind::NullDevice, true},
      {"the console", sim::StreamKind::Console, false},
  };
  for (const auto& c : cases) {
    Restart();
    sim::SetParentConsole(true);
    for (DWORD which : kStreams) sim::SetStandardStream(which, c.kind);
    EXPECT_EQ(KeepsStandardStream(GetStdHandle(STD_OUTPUT_HANDLE)), c.kept) << c.name;
    sim::ClearCalls();
    sim::SetCommandLine(L"tvuninst.exe -x");
    EXPECT_EQ(RunUninstall(), 87) << c.name;
    const std::vector<std::string> reopened = {"SetStdHandle(input, CONIN$)", "SetStdHandle(output, CONOUT$)",
                                               "SetStdHandle(error, CONOUT$)"};
    std::vector<std::string> expected;
    if (!c.kept) {
      // Given back at the end as the process had them.
      const std::string given = c.kind == sim::StreamKind::Missing ? "none" : "given";
      expected = reopened;
      for (const char* name : {"input", "output", "error"})
        expected.push_back(std::string("SetStdHandle(") + name + ", " + given + ")");
    }
    EXPECT_EQ(sim::CallsNamed("SetStdHandle"), expected) << c.name;
    // The first line of a rejected command line, where the caller can read it.
    const std::string error = "ERROR: Unidentified parameter.\r\ntvuninst 1.7\r\n";
    EXPECT_EQ(sim::StandardStreamText(STD_OUTPUT_HANDLE).rfind(error, 0), c.kept ? 0u : std::string::npos)
        << c.name;
    EXPECT_EQ(sim::ConsoleText().rfind(error, 0), c.kept ? std::string::npos : 0u) << c.name;
    EXPECT_EQ(sim::StandardStreamText(STD_ERROR_HANDLE), "") << c.name;
  }
}

TEST_F(ConsoleTest, HandleThatIsNoLongerValidIsReopened) {
  sim::SetParentConsole(true);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  CloseHandle(output);
  EXPECT_FALSE(KeepsStandardStream(output));
  ConsoleStreams console;
  EXPECT_TRUE(AttachParentConsole(console));
  PrintLine(L"line");
  EXPECT_EQ(sim::ConsoleText(), "line\r\n");
  ReleaseParentConsole(console);
  EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), output) << "given back as it was";
}

// Opened and not set, the console's handle is closed (the fixture counts it).
TEST_F(ConsoleTest, ConsoleThatCannotBeOpenedOrSetLeavesTheStreamAsItWas) {
  for (const char* failing : {"CreateFileW", "SetStdHandle"}) {
    Restart();
    sim::SetParentConsole(true);
    sim::SetStandardStream(STD_OUTPUT_HANDLE, sim::StreamKind::Missing);
    sim::FailCall(failing, ERROR_ACCESS_DENIED, sim::kAlways);
    ConsoleStreams console;
    EXPECT_TRUE(AttachParentConsole(console));
    EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), nullptr) << failing;
    PrintLine(L"line");  // nowhere to go
    EXPECT_EQ(sim::ConsoleText(), "") << failing;
    EXPECT_TRUE(sim::CallsNamed("WriteFile").empty());
    ReleaseParentConsole(console);
    EXPECT_EQ(sim::OpenHandles(sim::HandleKind::Console), 0) << failing;
  }
}

// A Cyrillic name and a Latin-1 letter arrive whole: as UTF-8 where bytes go,
// as text where a console takes it.
TEST_F(ConsoleTest, EveryCharacterReachesEachKindOfStream) {
  const WidePath line = L"failed  folder C:\\Games\\Игры\\Telvarine (Übung): error 32, x";
  const std::string bytes =
      "failed  folder C:\\Games\\\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B\\Telvarine (\xC3\x9C"
      "bung): "
      "error 32, x\r\n";
  for (sim::StreamKind kind :
       {sim::StreamKind::DiskFile, sim::StreamKind::Pipe, sim::StreamKind::NullDevice}) {
    Restart();
    sim::SetStandardStream(STD_OUTPUT_HANDLE, kind);
    PrintLine(line);
    EXPECT_EQ(sim::InheritedStdoutText(), bytes);
    EXPECT_TRUE(sim::CallsNamed("WriteConsoleW").empty());
  }
  Restart();
  sim::SetStandardStream(STD_OUTPUT_HANDLE, sim::StreamKind::Console);
  PrintLine(line);
  EXPECT_EQ(sim::CallsNamed("WriteConsoleW"), std::vector<std::string>{"WriteConsoleW(61)"});
  EXPECT_EQ(sim::ConsoleText(), bytes);
  EXPECT_TRUE(sim::CallsNamed("WriteFile").empty());
}

// A long line goes to a console in pieces that never split a surrogate pair.
TEST_F(ConsoleTest, LongLineReachesTheConsoleInPieces) {
  sim::SetStandardStream(STD_OUTPUT_HANDLE, sim::StreamKind::Console);
  WidePath line(8191, L'a');
  line += {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00), L'b'};
  PrintLine(line);
  const std::vector<std::string> pieces = {"WriteConsoleW(8191)", "WriteConsoleW(5)"};
  EXPECT_EQ(sim::CallsNamed("WriteConsoleW"), pieces);
}

// A reader that went away (a closed pipe) costs the run nothing.
TEST_F(ConsoleTest, FailedWritesAreIgnored) {
  sim::FailCall("WriteFile", ERROR_NO_DATA, sim::kAlways);
  sim::SetCommandLine(L"tvuninst.exe -s");
  EXPECT_EQ(RunUninstall(), 0);
  EXPECT_EQ(sim::InheritedStdoutText(), "");
  EXPECT_EQ(sim::CallsNamed("WriteFile"), std::vector<std::string>{"WriteFile(stream, 84)"})
      << "the summary, tried once";
}

}  // namespace
