#include <algorithm>
#include <sstream>

#include "app/uninstall.h"
#include "sim_test.h"

namespace {

const char kUsage[] =
    "tvuninst 1.7\n"
    "=====================================\n"
    "  -h, --help\t\t\t\tDisplay help information\n"
    "  -a, --all <PATH>\t\t\tTo delete all files, the <PATH> parameter must be set. It can be set to "
    "< ./ > (the current runtime directory) or < . > (the directory where the executable module is "
    "located)\n"
    "  -s, --silent, /silent\t\t\tRun silently\n"
    "  -l, --log <PATH>\t\t\tAppend a record of what was removed to the file <PATH>\n"
    "  -n, --dry-run\t\t\t\tShow what would be removed, and remove nothing\n"
    "  --reboot-ok\t\t\t\tDelete system modules in use at the next restart (exit code 3010)\n"
    "=====================================\n";
const std::string kUnidentified = "ERROR: Unidentified parameter.\n";
const std::string kMissingValue = "ERROR: -a/--all The game installation directory must be set!\n";

class CommandLineTest : public SimTest {
 protected:
  // Reads a command line that follows the program path.
  bool Read(const std::wstring& arguments) {
    sim::SetCommandLine(L"\"C:\\Games\\Title\\tvuninst.exe\" " + arguments);
    return ReadCommandLine(options);
  }
  UninstallOptions options;
};

TEST_F(CommandLineTest, NoArgumentsKeepsDefaultsAndPrintsNothing) {
  sim::SetCommandLine(L"\"C:\\Games\\Title\\tvuninst.exe\"");
  EXPECT_TRUE(ReadCommandLine(options));
  EXPECT_FALSE(options.showHelp);
  EXPECT_FALSE(options.silent);
  EXPECT_EQ(options.installDir, L"");
  EXPECT_EQ(Output(), "");
}

// Every name the usage text offers is one the command line takes (its exact
// text is held by the -h rows below).
TEST_F(CommandLineTest, EveryOptionTheUsageNamesIsTaken) {
  PrintUsage();
  std::istringstream lines(Output());
  int names = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  -", 0) != 0) continue;
    std::string listed = line.substr(0, line.find_first_of("<\t"));
    std::replace(listed.begin(), listed.end(), ',', ' ');
    std::istringstream words(listed);
    for (std::string name; words >> name; ++names) {
      options = UninstallOptions();
      const bool value = line.find("<PATH>") != std::string::npos;
      EXPECT_TRUE(Read(std::wstring(name.begin(), name.end()) + (value ? L" C:\\x" : L""))) << name;
    }
  }
  EXPECT_EQ(names, 12);
}

TEST_F(CommandLineTest, EachOptionOfTheTable) {
  for (const wchar_t* help : {L"-h", L"--help"}) {
    Restart();
    options = UninstallOptions();
    EXPECT_TRUE(Read(help));
    EXPECT_TRUE(options.showHelp);
    EXPECT_EQ(Output(), kUsage);
  }
  for (const wchar_t* silent : {L"-s", L"--silent", L"/silent"}) {
    Restart();
    options = UninstallOptions();
    EXPECT_TRUE(Read(silent));
    EXPECT_TRUE(options.silent);
    EXPECT_FALSE(options.showHelp);
    EXPECT_EQ(Output(), "");
  }
  for (const wchar_t* all : {L"-a", L"--all"}) {
    options = UninstallOptions();
    EXPECT_TRUE(Read(std::wstring(all) + L" D:\\Games"));
    EXPECT_EQ(options.installDir, L"D:\\Games");
  }
  for (const wchar_t* log : {L"-l", L"--log"}) {
    options = UninstallOptions();
    EXPECT_TRUE(Read(std::wstring(log) + L" -s " + log + L" \"D:\\Later log.txt\""));
    EXPECT_EQ(options.logPath, L"D:\\Later log.txt") << "a later value replaces an earlier one";
    EXPECT_FALSE(options.silent) << "the value is taken whatever it looks like";
  }
}

TEST_F(CommandLineTest, LogAsLastArgumentIsRejected) {
  EXPECT_FALSE(Read(L"-s --log"));
  EXPECT_EQ(Output(), "ERROR: -l/--log The log file path must be set!\n" + std::string(kUsage));
}

TEST_F(CommandLineTest, NearMissesAreRejected) {
  for (const wchar_t* nearMiss : {L"/s", L"-S", L"--SILENT", L"/help", L"-silent", L"-H", L"--all=x", L"-sa",
                                  L"/Silent", L"-h ", L"--help-me"}) {
    Restart();
    options = UninstallOptions();
    EXPECT_FALSE(Read(std::wstring(L"\"") + nearMiss + L"\"")) << sim::Narrow(nearMiss);
    EXPECT_TRUE(options.showHelp);
    EXPECT_EQ(Output(), kUnidentified + kUsage) << sim::Narrow(nearMiss);
  }
}

TEST_F(CommandLineTest, HelpPrintsOncePerHelpArgument) {
  EXPECT_TRUE(Read(L"-h --help -s"));
  EXPECT_TRUE(options.showHelp);
  EXPECT_TRUE(options.silent);
  EXPECT_EQ(Output(), std::string(kUsage) + kUsage);
}

TEST_F(CommandLineTest, HelpThenUnknownPrintsUsageErrorUsage) {
  EXPECT_FALSE(Read(L"-h -x"));
  EXPECT_EQ(Output(), kUsage + kUnidentified + kUsage);
}

TEST_F(CommandLineTest, AllConsumesItsValueWhateverItLooksLike) {
  EXPECT_TRUE(Read(L"-a -s"));
  EXPECT_EQ(options.installDir, L"-s");
  EXPECT_FALSE(options.silent);
}

TEST_F(CommandLineTest, AllAsLastArgumentIsRejected) {
  EXPECT_FALSE(Read(L"-s -a"));
  EXPECT_TRUE(options.showHelp);
  EXPECT_TRUE(options.silent) << "options before the bad argument keep their effect";
  EXPECT_EQ(Output(), kMissingValue + kUsage);
}

TEST_F(CommandLineTest, LaterAllReplacesEarlierAndSilentMayFollow) {
  EXPECT_TRUE(Read(L"-a C:\\First --all \"D:\\Second Dir\" -s"));
  EXPECT_EQ(options.installDir, L"D:\\Second Dir");
  EXPECT_TRUE(options.silent);
}

TEST_F(CommandLineTest, EmptyArguments) {
  EXPECT_TRUE(Read(L"-a \"\""));
  EXPECT_EQ(options.installDir, L"");
  EXPECT_EQ(Output(), "");

  Restart();
  options = UninstallOptions();
  EXPECT_FALSE(Read(L"-s \"\""));
  EXPECT_EQ(Output(), kUnidentified + kUsage);
}

TEST_F(CommandLineTest, ParseClearsFlagsButKeepsInstallDir) {
  options.showHelp = true;
  options.silent = true;
  options.installDir = L"kept";
  wchar_t program[] = L"tvuninst.exe";
  LPWSTR arguments[] = {program};
  EXPECT_TRUE(ParseCommandLine(1, arguments, options));
  EXPECT_FALSE(options.showHelp);
  EXPECT_FALSE(options.silent);
  EXPECT_EQ(options.installDir, L"kept");
}

TEST_F(CommandLineTest, ArgumentZeroIsNeverExamined) {
  sim::SetCommandLine(L"-x");
  EXPECT_TRUE(ReadCommandLine(options));
  EXPECT_EQ(Output(), "");
}

TEST_F(CommandLineTest, FailedSplitActsAsEmptyCommandLine) {
  sim::SetCommandLine(L"tvuninst.exe -x");
  sim::FailCall("CommandLineToArgvW", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_TRUE(ReadCommandLine(options));
  EXPECT_FALSE(options.showHelp);
  EXPECT_EQ(Output(), "");
}

TEST_F(CommandLineTest, VectorIsReleasedOnEveryPath) {
  for (const wchar_t* line : {L"", L"-s", L"-x", L"-a"}) {
    Restart();
    Read(line);
    EXPECT_EQ(sim::OpenHandles(sim::HandleKind::LocalMemory), 0) << sim::Narrow(line);
    EXPECT_EQ(sim::CallsNamed("LocalFree").size(), 1u) << sim::Narrow(line);
  }
}

// Lines as a calling program or a shell would write them.
TEST_F(CommandLineTest, QuotesAndBackslashesFollowThePlatformRules) {
  struct Case {
    const wchar_t* line;
    const wchar_t* installDir;
  };
  const Case cases[] = {
      {L"-a \"C:\\Program Files\\Game\"", L"C:\\Program Files\\Game"},
      {L"-a \"C:\\Games\\Title\\\\\"", L"C:\\Games\\Title\\"},
      {L"-a C:\\Games\\Title\\", L"C:\\Games\\Title\\"},
      {L"-a C:\\a\\\\b", L"C:\\a\\\\b"},
      {L"-a \"say \\\"hi\\\"\"", L"say \"hi\""},
      {L"-a a\"b c\"d", L"ab cd"},
      {L"-a \"a\"\"b\"", L"a\"b"},
      {L"-a\t\"tab\"", L"tab"},
      {L"-a \\\\\\\"x", L"\\\"x"},
  };
  for (const Case& c : cases) {
    options = UninstallOptions();
    EXPECT_TRUE(Read(c.line)) << sim::Narrow(c.line);
    EXPECT_EQ(options.installDir, c.installDir) << sim::Narrow(c.line);
  }
}

TEST_F(CommandLineTest, QuotedProgramPathWithSpacesIsArgumentZero) {
  sim::SetCommandLine(L"\"C:\\Program Files\\-x\\tvuninst.exe\" -s");
  EXPECT_TRUE(ReadCommandLine(options));
  EXPECT_TRUE(options.silent);
}

// Command lines at the edges: the longest line Windows passes, quotes inside
// arguments, empty arguments; run whole.
class EdgeInputTest : public SimTest {
 protected:
  int Run(const std::wstring& arguments) {
    sim::SetCommandLine(L"\"C:\\Bin\\tvuninst.exe\" " + arguments);
    sim::SetModuleFileName(L"C:\\Bin\\tvuninst.exe");
    return RunUninstall();
  }
};

TEST_F(EdgeInputTest, LongestCommandLine) {
  sim::MakeDirectory(L"C:\\Game\\Telvarine");
  // 32,767 characters is the most a command line can hold.
  const std::wstring value(32767 - 40, L'x');
  EXPECT_EQ(Run(L"-s -a " + value), 1603) << "a directory too long to look at is not known to be absent";
  EXPECT_TRUE(sim::Exists(L"C:\\Game\\Telvarine"));
  EXPECT_EQ(Output().substr(0, 15), "failed  folder ");
  EXPECT_EQ(Run(std::wstring(32767 - 30, L'y')), 87);
}

TEST_F(EdgeInputTest, QuotesInsideArguments) {
  sim::MakeDirectory(L"C:\\Odd\"Name\\Telvarine");
  EXPECT_EQ(Run(L"-s -a \"C:\\Odd\\\"Name\""), 0);
  EXPECT_FALSE(sim::Exists(L"C:\\Odd\"Name\\Telvarine"));
  EXPECT_EQ(Run(L"-s \"-a\" \"\" \"\"\"\""), 87) << "an argument of one quote is unknown";
}

TEST_F(EdgeInputTest, EmptyArgumentsEverywhere) {
  EXPECT_EQ(Run(L"\"\""), 87);
  EXPECT_EQ(Run(L"-s -a \"\""), 0);
  EXPECT_EQ(Run(L"-s -a \"\" \"\""), 87);
}

}  // namespace
