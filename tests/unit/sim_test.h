// Every test starts from a freshly reset simulated machine.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/sim_control.h"

// A fixture stages what every case needs in Stage() and checks what every case
// must leave in Check(); a table that wants a fresh machine for each row calls
// Restart(), which checks the row before it resets.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    Stage();
  }
  void TearDown() override { Check(); }
  void Restart() {
    Check();
    sim::Reset();
    Stage();
  }
  virtual void Stage() {}
  virtual void Check() { EXPECT_EQ(sim::OpenHandlesTotal(), 0) << "a handle was left open"; }
};

// The whole simulated machine as text: files with their attributes, keys, services.
inline std::vector<std::string> WholeState() {
  std::vector<std::string> state;
  for (const std::wstring& entry : sim::AllEntries()) {
    state.push_back(sim::Narrow(entry) + " " + std::to_string(sim::Attributes(entry)));
  }
  for (const std::string& key : sim::AllKeys()) state.push_back(key);
  for (const std::string& service : sim::AllServices()) state.push_back("service " + service);
  return state;
}

// What reached standard output, wherever it went, with its line ends as "\n".
inline std::string Output() {
  const std::string raw = sim::ConsoleText() + sim::InheritedStdoutText();
  std::string output;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\r' || i + 1 == raw.size() || raw[i + 1] != '\n') output += raw[i];
  }
  return output;
}

// The output without the lines about targets and the summary: what the walks
// and the front end say of their own.
inline std::string Plain(const std::string& output) {
  static const char* const kWords[] = {"removed ", "absent ", "kept ",     "pending ",         "failed ",
                                       "skipped ", "would ",  "summary: ", "preview summary: ", "note: "};
  std::string plain;
  for (size_t start = 0, end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = output.substr(start, end - start + 1);
    bool target = false;
    for (const char* word : kWords) target = target || line.rfind(word, 0) == 0;
    if (!target) plain += line;
  }
  return plain;
}

// Listings begun: each directory is listed through its handle, from its first entry.
inline size_t Listings() {
  const std::vector<std::string> calls = sim::CallsNamed("GetFileInformationByHandleEx");
  return std::count(calls.begin(), calls.end(),
                    "GetFileInformationByHandleEx(" + std::to_string(FileIdBothDirectoryRestartInfo) + ")");
}

// The whole tool, started as a process is: from `module`, with `arguments`.
inline int RunTool(const std::wstring& arguments,
                   const std::wstring& module = L"C:\\Games\\Title\\tvuninst.exe") {
  sim::SetModuleFileName(module);
  sim::SetCommandLine(module + L" " + arguments);
  return WinMain(nullptr, nullptr, nullptr, 0);
}
