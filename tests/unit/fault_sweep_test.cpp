// Each step is run again and again with its k-th platform call failing, for
// k = 1, 2, ... until a run fires no fault. Whatever fails, nothing crashes,
// no handle stays open, nothing outside the step's targets changes, and the
// step reports what it documents for that failure.
#include <algorithm>
#include <functional>
#include <set>

#include "app/uninstall.h"
#include "cleanup/cleanup.h"
#include "folder/product_folder.h"
#include "sim_test.h"

namespace {

const DWORD kInjected = ERROR_ACCESS_DENIED;

struct Trial {
  size_t ordinal;
  std::string failedCall;  // empty when the run fired no fault
};

// Runs `step` on freshly staged state with call `ordinal` failing. Returns
// which call failed (if any) so that the caller can check the documented result.
Trial RunWithFault(size_t ordinal, const std::function<void()>& stage, const std::function<void()>& step) {
  sim::Reset();
  stage();
  sim::ClearCalls();
  sim::FailNthCall(ordinal, kInjected);
  step();
  Trial trial{ordinal, ""};
  if (sim::Calls().size() >= ordinal) trial.failedCall = sim::Calls()[ordinal - 1].name;
  return trial;
}

// Lines of `after` that are not in `before`, and the other way round, except
// those about a target: the target itself ("T", "T <state>") or anything below it ("T\\...").
std::vector<std::string> ChangesOutside(const std::vector<std::string>& before,
                                        const std::vector<std::string>& after,
                                        const std::vector<std::string>& targets) {
  auto outside = [&](const std::string& line) {
    return std::none_of(targets.begin(), targets.end(), [&](const std::string& target) {
      return line.rfind(target, 0) == 0 &&
             (line.size() == target.size() || line[target.size()] == '\\' || line[target.size()] == ' ');
    });
  };
  std::multiset<std::string> a, b;
  for (const std::string& line : before)
    if (outside(line)) a.insert(line);
  for (const std::string& line : after)
    if (outside(line)) b.insert(line);
  std::vector<std::string> changed;
  std::set_symmetric_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(changed));
  return changed;
}

// Sweeps every fault point; `check` sees each trial's result.
int Sweep(const std::function<void()>& stage, const std::function<void()>& step,
          const std::vector<std::string>& targets, const std::function<void(const Trial&)>& check) {
  sim::Reset();
  stage();
  const std::vector<std::string> before = WholeState();
  int trials = 0;
  for (size_t ordinal = 1;; ++ordinal) {
    const Trial trial = RunWithFault(ordinal, stage, step);
    ++trials;
    SCOPED_TRACE("call " + std::to_string(ordinal) + " (" + trial.failedCall + ") failing");
    EXPECT_EQ(sim::OpenHandlesTotal(), 0);
    EXPECT_EQ(ChangesOutside(before, WholeState(), targets), std::vector<std::string>());
    check(trial);
    if (trial.failedCall.empty()) break;
  }
  return trials;
}

using FaultSweepTest = SimTest;

void StageServices() {
  sim::InstallService("kvdrNT2", {true});
  sim::InstallService("kvtlsvc", {true});
  sim::InstallService("brenserv");
  sim::InstallService("kvtlsvc2", {true});
}

TEST_F(FaultSweepTest, Services) {
  std::vector<bool> results;
  auto step = [&] {
    results = {StopServiceByName("kvdrNT2"), DeleteServiceByName("kvdrNT2"), DeleteServiceByName("kvtlsvc"),
               DeleteServiceByName("brenserv")};
  };
  const int trials =
      Sweep(StageServices, step, {"service kvdrNT2", "service kvtlsvc", "service brenserv"},
            [&](const Trial& trial) {
              const int failed = static_cast<int>(std::count(results.begin(), results.end(), false));
              // Only a failing close leaves every result as it was.
              const bool harmless = trial.failedCall.empty() || trial.failedCall == "CloseServiceHandle";
              EXPECT_EQ(failed, harmless ? 0 : 1);
              EXPECT_EQ(Output(), "");
            });
  std::printf("services: %d fault trials\n", trials);
}

void StageRegistry() {
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    sim::CreateKey(hive, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane\\Cache");
    sim::CreateKey(hive, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine");
    sim::CreateKey(hive, "Software\\MIRELNetwork\\Other");
  }
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Enum");
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc2");
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0000");
}

TEST_F(FaultSweepTest, Registry) {
  const int trials = Sweep(
      StageRegistry, CleanRegistry,
      {"HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine", "HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine",
       "HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvtlsvc",
       "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV"},
      [&](const Trial&) {
        EXPECT_EQ(sim::Calls().size(), static_cast<size_t>(kRegistryCleanupCount))
            << "every row is tried whatever failed";
        EXPECT_EQ(Output(), "");
      });
  std::printf("registry: %d fault trials\n", trials);
}

void StageModules() {
  for (const wchar_t* name : {L"\\kvdrNT2.sys", L"\\kvdr9x.vxd", L"\\Corvane.des", L"\\kvdrNT2.sys.bak"}) {
    sim::MakeFile(std::wstring(L"C:\\windows\\system32") + name);
  }
}

TEST_F(FaultSweepTest, SystemModules) {
  const int trials =
      Sweep(StageModules, DeleteSystemModules,
            {"C:\\windows\\system32\\kvdrNT2.sys", "C:\\windows\\system32\\kvdr9x.vxd",
             "C:\\windows\\system32\\Corvane.des"},
            [&](const Trial& trial) {
              // The file whose query or deletion failed stays; the others go.
              int left = 0;
              for (const wchar_t* name : {L"\\kvdrNT2.sys", L"\\kvdr9x.vxd", L"\\Corvane.des"}) {
                left += sim::Exists(std::wstring(L"C:\\windows\\system32") + name);
              }
              EXPECT_EQ(left, trial.failedCall.empty() ? 0 : 1);
            });
  std::printf("system modules: %d fault trials\n", trials);
}

void StageGame() {
  sim::MakeFile(L"C:\\Game\\game.exe");
  sim::MakeDirectory(L"C:\\Game\\tools");
  sim::MakeFile(L"C:\\Game\\data\\a.dat");
  sim::MakeFile(L"C:\\Game\\data\\Telvarine\\x.dll", FILE_ATTRIBUTE_READONLY);
  sim::MakeFile(L"C:\\Game\\data\\Telvarine\\Sub\\y.dat", FILE_ATTRIBUTE_HIDDEN);
  sim::MakeDirectoryLink(L"C:\\Game\\data\\Telvarine\\Link", L"C:\\Outside", IO_REPARSE_TAG_MOUNT_POINT);
  sim::MakeFile(L"C:\\Game\\later\\b.dat");
  sim::MakeFile(L"C:\\Outside\\keep.txt");
}

void CheckFolderResult(bool result, const Trial& trial, bool toolsLayout) {
  const std::string output = Output();
  if (trial.failedCall == "GetModuleFileNameW") {
    EXPECT_FALSE(result);
    EXPECT_EQ(output, "Error: GetModuleFileNameW call failed, error code: 5\n");
    return;
  }
  EXPECT_TRUE(result);
  if (!toolsLayout) {
    EXPECT_EQ(output, "");
    return;
  }
  // Every line is one the search or its visitor documents.
  size_t start = 0;
  while (start < output.size()) {
    const size_t end = output.find('\n', start);
    const std::string line = output.substr(start, end - start);
    EXPECT_TRUE(line == "Found 'Telvarine', stopping recursion." || line == "Telvarine folder not found." ||
                line == "FindFirstFileW failed, error code: 5" ||
                line == "FindNextFileW failed, error code: 5")
        << line;
    start = end + 1;
  }
  if (trial.failedCall.empty()) {
    EXPECT_FALSE(sim::Exists(L"C:\\Game\\data\\Telvarine"));
  }
}

TEST_F(FaultSweepTest, ProductFolderInBothLayouts) {
  int trials = 0;
  for (bool toolsLayout : {true, false}) {
    bool result = false;
    auto step = [&] {
      sim::SetModuleFileName(toolsLayout ? L"C:\\Game\\tools\\tvuninst.exe" : L"C:\\Bin\\tvuninst.exe");
      UninstallOptions options;
      options.installDir = L"C:\\Game\\data";
      result = RemoveProductFolder(options);
    };
    trials += Sweep(StageGame, step, {"C:\\Game\\data\\Telvarine"},
                    [&](const Trial& trial) { CheckFolderResult(result, trial, toolsLayout); });
  }
  std::printf("product folder: %d fault trials\n", trials);
}

TEST_F(FaultSweepTest, WholeRun) {
  auto stage = [] {
    StageServices();
    StageRegistry();
    StageModules();
    StageGame();
  };
  int exitCode = -1;
  auto step = [&] {
    sim::SetModuleFileName(L"C:\\Game\\tools\\tvuninst.exe");
    sim::SetCommandLine(L"tvuninst.exe -s");
    exitCode = WinMain(nullptr, nullptr, nullptr, 0);
  };
  const int trials = Sweep(
      stage, step,
      {"service kvdrNT2", "service kvtlsvc", "service brenserv",
       "HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine", "HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine",
       "HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvtlsvc",
       "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV", "C:\\windows\\system32\\kvdrNT2.sys",
       "C:\\windows\\system32\\kvdr9x.vxd", "C:\\windows\\system32\\Corvane.des",
       "C:\\Game\\data\\Telvarine"},
      [&](const Trial& trial) {
        if (trial.failedCall == "GetModuleFileNameW") {
          EXPECT_EQ(exitCode, kExitNoExecutableDirectory);
        } else if (trial.failedCall == "CommandLineToArgvW") {
          EXPECT_EQ(exitCode, kExitDialogFailed) << "an empty command line asks, and no box can be shown";
        } else {
          EXPECT_EQ(exitCode, kExitDone);
        }
      });
  std::printf("whole run: %d fault trials\n", trials);
}

}  // namespace
