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

// The folder's line after its word: what it names, what it counts and why it stayed.
std::string FolderLine(const std::string& log) {
  const size_t at = log.find(" folder ");
  return at == std::string::npos ? "" : log.substr(at, log.find("\r\n", at) - at);
}

// What a real run may say about `target` where the preview said `word`.
bool Matches(const std::string& target, const std::string& word, const std::string& real) {
  if (word == "would remove")  // or a running service it marks
    return real == "removed" || (real == "pending" && target.rfind("service ", 0) == 0);
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
    EXPECT_TRUE(run.count(target.first) && Matches(target.first, target.second, run[target.first]))
        << target.first << ": preview " << target.second << ", run " << run[target.first];
  }
  EXPECT_EQ(FolderLine(logs[0]), FolderLine(logs[1])) << "what the folder's deletion counts";
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
    // A name that only starts with a listed one is not below it.
    {"KeyWhoseNameExtendsAListedOne",
     [] {
       sim::CreateKey(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine");
       sim::CreateKey(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine2");
     },
     L""},
    // Subkeys that cannot be listed are no reason to stay: the real run deletes the key.
    {"KeyWhoseSubkeysCannotBeListed",
     [] {
       sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0000");
       sim::FailCall("RegEnumKeyExW", ERROR_ACCESS_DENIED, sim::kAlways);
     },
     L""},
    {"ModuleThatIsADirectory", [] { sim::MakeDirectory(L"C:\\windows\\system32\\kvdrNT2.sys"); }, L""},
    {"ModuleThatIsADirectoryWithRebootOk", [] { sim::MakeDirectory(L"C:\\windows\\system32\\kvdrNT2.sys"); },
     L"--reboot-ok"},
    // The run stops the driver, marked or not.
    {"RunningDriverMarkedBefore",
     [] {
       sim::InstallService("kvdrNT2", {true});
       sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\kvdrNT2\\Enum");
       DeleteServiceByName("kvdrNT2");
     },
     L""},
    // Reading refused, deletion allowed: the deletion's opens decide.
    {"KeyThatDeniesReading",
     [] {
       sim::ProtectKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC\\0000",
                       KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
     },
     L""},
    {"RegistryLinks",
     [] {
       sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\OtherVendor\\Settings\\Profiles");
       sim::MakeKeyLink(HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine",
                        HKEY_LOCAL_MACHINE, "Software\\OtherVendor\\Settings");
       sim::MakeKeyLink(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TVKernel\\Parameters",
                        HKEY_LOCAL_MACHINE, "Software\\OtherVendor\\Settings");
     },
     L""},
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
       {"ControlService", "DeleteService", "NtDeleteKey", "DeleteFileA", "NtSetInformationFile",
        "SetFileInformationByHandle", "MoveFileExA", "MoveFileExW", "WriteFile"}) {
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
           "would fail folder C:\\Game\\data\\Telvarine (2 files, 0 directories removed; "
           "C:\\Game\\data\\Telvarine\\Sub\\Unix link left in place)\n",
           "preview summary: 16 would remove, 2 would keep, 1 would fail, 0 pending, 23 absent, 0 skipped, 1 "
           "links "
           "would be removed as links, 1 would be left; exit code 1\n",
       }) {
    EXPECT_NE(output.find(line), std::string::npos) << line;
  }
}

// The box says what a real run would do, in counts: nothing, failures only, or what it keeps.
TEST_F(PreviewTest, TheBoxSaysWhatARealRunWouldDo) {
  const struct {
    const char* name;
    std::function<void()> stage;
    int exitCode;
    const char* text;
  } cases[] = {
      {"NothingInstalled", [] {}, 0, "Telvarine is not installed here: a real run would remove nothing."},
      {"OnlyAReadOnlyModule",
       [] { sim::MakeFile(L"C:\\windows\\system32\\kvdrNT2.sys", FILE_ATTRIBUTE_READONLY); }, 1,
       "A real run would remove 0 parts of Telvarine.\r\n1 parts could not be removed as things are."},
      {"AKeyOfAnotherGame",
       [] {
         sim::CreateKey(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\kVelnoraTelvarine");
         sim::CreateKey(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\OtherGame");
       },
       1, "A real run would remove 1 parts of Telvarine and keep 1 that others still use."},
  };
  for (const auto& c : cases) {
    sim::Reset();
    sim::MakeDirectory(L"C:\\Game\\tools");
    c.stage();
    sim::ScriptMessageBoxes({IDOK});
    EXPECT_EQ(RunTool(L"--dry-run --reboot-ok", kTool), c.exitCode) << c.name;
    ASSERT_EQ(sim::Boxes().size(), 1u) << c.name;
    EXPECT_EQ(sim::Boxes()[0].text, std::string("Preview: nothing was removed.\r\n\r\n") + c.text) << c.name;
    EXPECT_EQ(sim::Boxes()[0].style, static_cast<UINT>(MB_OK));
  }
}

TEST_F(PreviewTest, NothingInstalledSaysSoOnTheConsole) {
  sim::Reset();
  sim::MakeDirectory(L"C:\\Game\\tools");
  EXPECT_EQ(RunTool(L"-s -n", kTool), 0);
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
