#include "app/uninstall.h"
#include "sim_test.h"

namespace {

using ConsoleTest = SimTest;

TEST_F(ConsoleTest, WithoutParentConsoleNothingIsReopened) {
  EXPECT_FALSE(AttachParentConsole());
  EXPECT_TRUE(sim::StreamReopens().empty());
  PrintWide(L"line\n");
  EXPECT_EQ(sim::InheritedStdoutText(), "line\n");
  EXPECT_EQ(sim::ConsoleText(), "");
}

TEST_F(ConsoleTest, AttachedConsoleGetsAllThreeStreams) {
  sim::SetParentConsole(true);
  EXPECT_TRUE(AttachParentConsole());
  EXPECT_EQ(sim::CallsNamed("AttachConsole"), std::vector<std::string>{"AttachConsole(0xffffffff)"});
  const std::vector<std::string> expected = {"CONOUT$ w stdout", "CONOUT$ w stderr", "CONIN$ r stdin"};
  EXPECT_EQ(sim::StreamReopens(), expected);
}

TEST_F(ConsoleTest, RedirectedStdoutOfConsoleParentStaysEmpty) {
  // The parent sent our standard output to a file; the lines still belong
  // on its console.
  sim::SetParentConsole(true);
  sim::SetCommandLine(L"tvuninst.exe -h -x");
  EXPECT_EQ(RunUninstall(), 87);
  EXPECT_NE(sim::ConsoleText().find("ERROR: Unidentified parameter.\n"), std::string::npos);
  EXPECT_EQ(sim::ConsoleText().find("tvuninst 1.7\n"), 0u) << "the narrow line comes first";
  EXPECT_EQ(sim::InheritedStdoutText(), "");
}

TEST_F(ConsoleTest, ReopenFailuresAreIgnored) {
  sim::SetParentConsole(true);
  sim::FailCall("freopen_s", 0, sim::kAlways);
  EXPECT_TRUE(AttachParentConsole());
}

}  // namespace
