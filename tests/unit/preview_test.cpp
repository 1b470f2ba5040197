// A preview (-n) asks what a real run asks, changes nothing, and says for
// every target the word that a real run then says.
#include <algorithm>
#include <functional>
#include <map>

#include "app/uninstall.h"
#include "cleanup/cleanup.h"
#include "fault_sweep.h"

namespace {

const wchar_t kTool[] = L"C:\\Game\\tools\\tvuninst.exe";

// "kind target" -> word, from a log's lines about targets.
std::map<std::string, std::string> Words(const std::string& log) {
  static const char* const kWords[] = {"would be removed as a link",
                                       "would be left",
                                       "would remove",
                                       "would keep",
                                       "would fail",
                                       "removed",
                                       "absent",
                                       "kept",
                                       "pending",
                                       "failed",
                                       "skipped"};
  std::map<std::string, std::string> words;
  for (size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = log.substr(start, end - start);
    for (const char* word : kWords) {
      if (line.rfind(std::string(word) + " ", 0) != 0) continue;
      std::string about = line.substr(strlen(word));
      about.erase(0, about.find_first_not_of(' '));
      words[about.substr(0, std::min(about.find(" ("), about.find(": error")))] = word;
      break;
    }
  }
  return words;
}

// What a real run may say where the preview said `word`.
bool Matches(const std::string& word, const std::string& real) {
  if (word == "would remove") return real == "removed" || real == "pending";  // a running service it marks
  if (word == "would keep") return real == "kept";
  if (word == "would fail") return real == "failed";
  return word == real;
}

// Stages the same machine twice: a preview, then a real run; the words must
// map one to one, target for target.
void ExpectPreviewMatchesRun(const std::function<void()>& stage, const std::wstring& arguments,
                             const std::wstring& module) {
  std::string logs[2];
  int exitCodes[2] = {};
  for (int real = 0; real < 2; ++real) {
    sim::Reset();
    stage();
    sim::MakeDirectory(L"C:\\TvLog");
    exitCodes[real] =
        RunTool((real ? L"-s -l C:\\TvLog\\r.log " : L"-s -n -l C:\\TvLog\\r.log ") + arguments, module);
    logs[real] = sim::FileContent(L"C:\\TvLog\\r.log");
    EXPECT_EQ(logs[real].find(": error 0"), std::string::npos)
        << "a failure without a platform error has no text";
  }
  std::map<std::string, std::string> preview = Words(logs[0]), run = Words(logs[1]);
  for (auto it = preview.begin(); it != preview.end();) {
    it =
        it->second.rfind("would be", 0) == 0 ? preview.erase(it) : std::next(it);  // the preview's link lines
  }
  EXPECT_EQ(preview.size(), run.size()) << logs[0] << logs[1];
  for (const auto& target : preview) {
    EXPECT_TRUE(run.count(target.first) && Matches(target.second, run[target.first]))
        << target.first << ": preview " << target.second << ", run " << run[target.first];
  }
  const bool acts =
      std::any_of(preview.begin(), preview.end(), [](const std::pair<const std::string, std::string>& t) {
        return t.second == "would remove" || t.second == "would fail";
      });
  EXPECT_EQ(exitCodes[0], acts ? 1 : 0);
}

void StageInstallation() {
  StageServices();
  StageRegistry();
  StageModules();
  StageGame();
}

struct Staging {
  const char* name;
  std::function<void()> stage;
  std::wstring arguments;
  std::wstring module = kTool;
};

// The existing stagings, and the ones on which the two modes once parted.
const Staging kStagings[] = {
    {"Installation", StageInstallation, L""},
    {"NothingInstalled", [] { sim::MakeDirectory(L"C:\\Game\\tools"); }, L""},
    {"UnixLinkInTheFolder",
     [] {
       StageGame();
       sim::MakeDirectoryLink(L"C:\\Game\\data\\Telvarine\\Sub\\Unix", L"C:\\Outside", 0);
     },
     L""},
    {"KeptKeyBelowAListedOne",
     [] {
       sim::CreateKey(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC\\0000\\Control");
     },
     L""},
    {"ServiceKeyWithAnUnlistedSubkey",
     [] {
       sim::InstallService("kvdrNT2");
       sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kvdrNT2\\Parameters");
     },
     L""},
    {"ReadOnlyModule", [] { sim::MakeFile(L"C:\\windows\\system32\\kvdrNT2.sys", FILE_ATTRIBUTE_READONLY); },
     L""},
    {"ServiceMarkedBeforeTheRun",
     [] {
       sim::InstallService("kvtlsvc", {true});
       DeleteServiceByName("kvtlsvc");
     },
     L""},
    {"VendorKeyOfAnotherGame", [] { sim::CreateKey(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\OtherGame"); },
     L""},
    {"SearchThatCouldNotLookEverywhere",
     [] {
       sim::MakeDirectory(L"C:\\Game\\data");
       sim::FailListingOpen(L"C:\\Game\\data", ERROR_ACCESS_DENIED);
     },
     L""},
    {"FolderTooDeepForTheDeletion",
     [] { sim::MakeFile(L"C:\\Game\\" + std::wstring(240, L'd') + L"\\Telvarine\\x.dat"); }, L""},
    {"ModulePathThatCannotBeBuilt", [] { sim::SetSystemDirectory("C:\\" + std::string(300, 's')); }, L""},
    {"GivenDirectoryThatCannotBeOpened", [] { sim::MakeDirectory(L"C:\\Game\\Telvarine"); },
     L"-a C:\\" + std::wstring(300, L'n'), L"C:\\Bin\\tvuninst.exe"},
    {"GivenDirectoryAndItsParentMissing", [] {}, L"-a C:\\No\\Such", L"C:\\Bin\\tvuninst.exe"},
};

TEST(PreviewPropertyTest, EveryTargetGetsTheRealRunsWord) {
  for (const Staging& staging : kStagings) {
    SCOPED_TRACE(staging.name);
    ExpectPreviewMatchesRun(staging.stage, staging.arguments, staging.module);
  }
}

class PreviewTest : public SimTest {
 protected:
  void Stage() override {
    StageInstallation();
    sim::MakeDirectoryLink(L"C:\\Game\\data\\Telvarine\\Sub\\Unix", L"C:\\Outside", 0);
  }
};

TEST_F(PreviewTest, ChangesNothingAndSaysWhatARealRunWouldDo) {
  const std::vector<std::string> before = WholeState();
  sim::ClearCalls();
  EXPECT_EQ(RunTool(L"-s -n", kTool), 1);
  EXPECT_EQ(WholeState(), before);
  for (const char* changing :
       {"ControlService", "DeleteService", "RegDeleteKeyA", "SHDeleteKeyA", "DeleteFileA",
        "NtSetInformationFile", "SetFileInformationByHandle", "MoveFileExA", "MoveFileExW", "WriteFile"}) {
    std::vector<std::string> calls = sim::CallsNamed(changing);
    // Its lines go to standard output: a write, but to no file.
    calls.erase(
        std::remove_if(calls.begin(), calls.end(),
                       [](const std::string& call) { return call.rfind("WriteFile(stream, ", 0) == 0; }),
        calls.end());
    EXPECT_EQ(calls, std::vector<std::string>()) << changing;
  }
  const std::vector<std::string> strings = {"kVelnora Telvarine Uninstaller v1.7 preview",
                                            "Preview completed."};
  EXPECT_EQ(sim::DebugStrings(), strings);
  EXPECT_TRUE(sim::Boxes().empty());
  const std::string output = Output();
  for (const char* line : {
           "would remove service kvdrNT2\n",
           "would keep key HKCU\\Software\\MIRELNetwork (holds subkeys the list does not name)\n",
           "would remove key HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\n",
           "would remove module C:\\windows\\system32\\Corvane.des\n",
           "would be removed as a link entry C:\\Game\\data\\Telvarine\\Link\n",
           "would be left entry C:\\Game\\data\\Telvarine\\Sub\\Unix\n",
           "would fail folder C:\\Game\\data\\Telvarine (2 files, 3 directories removed; "
           "C:\\Game\\data\\Telvarine\\Sub\\Unix link left in place)\n",
           "preview summary: 16 would remove, 2 would keep, 1 would fail, 0 pending, 23 absent, 0 skipped, 1 "
           "links "
           "would be removed as links, 1 would be left; exit code 1\n",
       }) {
    EXPECT_NE(output.find(line), std::string::npos) << line;
  }
}

TEST_F(PreviewTest, NothingInstalledExitsZeroAndTheBoxSaysSo) {
  sim::Reset();
  sim::MakeDirectory(L"C:\\Game\\tools");
  sim::ScriptMessageBoxes({IDOK});
  EXPECT_EQ(RunTool(L"--dry-run --reboot-ok", kTool), 0);
  ASSERT_EQ(sim::Boxes().size(), 1u);
  EXPECT_EQ(sim::Boxes()[0].text,
            "Preview: nothing was removed.\r\n\r\nTelvarine is not installed here: a real run would remove "
            "nothing.");
  EXPECT_EQ(sim::Boxes()[0].style, static_cast<UINT>(MB_OK));
  EXPECT_EQ(Output(),
            "Telvarine folder not found.\n"
            "preview summary: 0 would remove, 0 would keep, 0 would fail, 0 pending, 42 absent, 0 skipped, 0 "
            "links would be removed as links, 0 would be left; exit code 0\n");
}

// After a run, a running service is only on its way out: a detection on the
// preview's exit code must not see the product as installed.
TEST_F(PreviewTest, ServiceMarkedBeforeIsPendingAndNotInstalled) {
  sim::Reset();
  sim::InstallService("kvtlsvc", {true});
  sim::MakeDirectory(L"C:\\Game\\tools");
  EXPECT_EQ(RunTool(L"-s", kTool), 0);
  EXPECT_EQ(RunTool(L"-s -n", kTool), 0);
  EXPECT_NE(Output().find("pending service kvtlsvc (deleted when it stops)\npreview summary: "),
            std::string::npos);
}

// A question that fails does not make a target absent.
TEST_F(PreviewTest, ModuleWhoseCheckFailsWouldBeRemoved) {
  sim::FailCall("GetFileAttributesA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(RunTool(L"-s -n", kTool), 1);
  EXPECT_NE(Output().find("would remove module C:\\windows\\system32\\kvdrNT2.sys\n"), std::string::npos);
}

}  // namespace
