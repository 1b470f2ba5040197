// Fault sweeps: a step is run again and again with its k-th platform call
// failing, for k = 1, 2, ... until a run fires no fault. Whatever fails,
// nothing crashes, no handle stays open, nothing outside the step's targets
// changes, and the step reports what it documents for that failure. Each
// feature's test file sweeps its own step; the staged parts of an
// installation are here because the whole run sweeps them all.
#pragma once

#include <algorithm>
#include <functional>
#include <set>

#include "sim_test.h"

const DWORD kInjected = ERROR_ACCESS_DENIED;

struct Trial {
  size_t ordinal;
  std::string failedCall;  // empty when the run fired no fault
};

// Runs `step` on freshly staged state with call `ordinal` failing. Returns
// which call failed (if any) so that the caller can check the documented result.
inline Trial RunWithFault(size_t ordinal, const std::function<void()>& stage,
                          const std::function<void()>& step) {
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
inline std::vector<std::string> ChangesOutside(const std::vector<std::string>& before,
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
inline int Sweep(const std::function<void()>& stage, const std::function<void()>& step,
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

inline void StageServices() {
  sim::InstallService("kvdrNT2", {true});
  sim::InstallService("kvtlsvc", {true});
  sim::InstallService("brenserv");
  sim::InstallService("kvtlsvc2", {true});
}

inline void StageRegistry() {
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    sim::CreateKey(hive, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane\\Cache");
    sim::CreateKey(hive, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine");
    sim::CreateKey(hive, "Software\\MIRELNetwork\\Other");
  }
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Enum");
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kvtlsvc2");
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0000");
}

inline void StageModules() {
  for (const wchar_t* name : {L"\\kvdrNT2.sys", L"\\kvdr9x.vxd", L"\\Corvane.des", L"\\kvdrNT2.sys.bak"}) {
    sim::MakeFile(std::wstring(L"C:\\windows\\system32") + name);
  }
}

inline void StageGame() {
  sim::MakeFile(L"C:\\Game\\game.exe");
  sim::MakeDirectory(L"C:\\Game\\tools");
  sim::MakeFile(L"C:\\Game\\data\\a.dat");
  sim::MakeFile(L"C:\\Game\\data\\Telvarine\\x.dll", FILE_ATTRIBUTE_READONLY);
  sim::MakeFile(L"C:\\Game\\data\\Telvarine\\Sub\\y.dat", FILE_ATTRIBUTE_HIDDEN);
  sim::MakeDirectoryLink(L"C:\\Game\\data\\Telvarine\\Link", L"C:\\Outside", IO_REPARSE_TAG_MOUNT_POINT);
  sim::MakeFile(L"C:\\Game\\later\\b.dat");
  sim::MakeFile(L"C:\\Outside\\keep.txt");
}
