// A preview (-n) asks what a real run asks and changes nothing.
#include <algorithm>
#include <set>

#include "app/uninstall.h"
#include "fault_sweep.h"

namespace {

class PreviewTest : public SimTest {
 protected:
  void Stage() override {
    StageServices();
    StageRegistry();
    StageModules();
    StageGame();
    sim::MakeDirectoryLink(L"C:\\Game\\data\\Telvarine\\Sub\\Unix", L"C:\\Outside", 0);
    sim::SetModuleFileName(L"C:\\Game\\tools\\tvuninst.exe");
  }
  int Run(const std::wstring& arguments) {
    sim::SetCommandLine(L"tvuninst.exe " + arguments);
    return WinMain(nullptr, nullptr, nullptr, 0);
  }
  // The targets of the lines that begin with one of `words`.
  static std::set<std::string> Targets(const std::vector<std::string>& words) {
    std::set<std::string> targets;
    const std::string output = Output();
    for (size_t start = 0, end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = output.substr(start, end - start);
      for (const std::string& word : words) {
        if (line.rfind(word + " ", 0) != 0) continue;
        std::string target = line.substr(word.size() + 1);
        while (target[0] == ' ') target.erase(0, 1);
        targets.insert(target.substr(0, target.find(" (")));
      }
    }
    return targets;
  }
};

TEST_F(PreviewTest, ChangesNothingAndSaysWhatARealRunWouldDo) {
  const std::vector<std::string> before = WholeState();
  sim::ClearCalls();
  EXPECT_EQ(Run(L"-s -n"), 1);
  EXPECT_EQ(WholeState(), before);
  for (const char* changing :
       {"ControlService", "DeleteService", "RegDeleteKeyA", "SHDeleteKeyA", "DeleteFileA", "DeleteFileW",
        "SetFileAttributesW", "RemoveDirectoryW", "MoveFileExA", "MoveFileExW", "WriteFile"}) {
    EXPECT_EQ(sim::CallsNamed(changing), std::vector<std::string>()) << changing;
  }
  const std::vector<std::string> strings = {"kVelnora Telvarine Uninstaller v1.7 preview",
                                            "Preview completed."};
  EXPECT_EQ(sim::DebugStrings(), strings);
  EXPECT_TRUE(sim::Boxes().empty());
  const std::string output = Output();
  for (const char* line : {
           "would remove service kvdrNT2\n",
           "would keep key HKCU\\Software\\MIRELNetwork (holds keys of other products)\n",
           "would remove key HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\n",
           "would remove module C:\\windows\\system32\\Corvane.des\n",
           "would be removed as a link entry C:\\Game\\data\\Telvarine\\Link\n",
           "would be left entry C:\\Game\\data\\Telvarine\\Sub\\Unix\n",
           "would remove folder C:\\Game\\data\\Telvarine (2 files, 3 directories)\n",
           "preview summary: 17 would remove, 2 would keep, 23 absent, 0 skipped, 1 links would be removed "
           "as "
           "links, 1 would be left; exit code 1\n",
       }) {
    EXPECT_NE(output.find(line), std::string::npos) << line;
  }

  // The preview's selection is the real run's: what it would remove is what a
  // real run then removes (or leaves pending), key for key.
  const std::set<std::string> previewed = Targets({"would remove"});
  sim::Reset();
  Stage();
  Run(L"-s");
  std::set<std::string> removed = Targets({"removed", "pending", "failed"});
  EXPECT_EQ(previewed, removed);
  EXPECT_NE(Output().find("Unix link left in place): error 0\n"), std::string::npos) << "no text for error 0";
}

TEST_F(PreviewTest, NothingInstalledExitsZeroAndTheBoxSaysSo) {
  sim::Reset();
  sim::SetModuleFileName(L"C:\\Game\\tools\\tvuninst.exe");
  sim::MakeDirectory(L"C:\\Game\\tools");
  sim::ScriptMessageBoxes({IDOK});
  EXPECT_EQ(Run(L"--dry-run --reboot-ok"), 0);
  ASSERT_EQ(sim::Boxes().size(), 1u);
  EXPECT_EQ(sim::Boxes()[0].text,
            "Preview: nothing was removed.\r\n\r\nTelvarine is not installed here: a real run would remove "
            "nothing.");
  EXPECT_EQ(sim::Boxes()[0].style, static_cast<UINT>(MB_OK));
  EXPECT_EQ(
      Output(),
      "Telvarine folder not found.\n"
      "preview summary: 0 would remove, 0 would keep, 42 absent, 0 skipped, 0 links would be removed as "
      "links, 0 would be left; exit code 0\n");
}

}  // namespace
