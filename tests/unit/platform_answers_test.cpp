// The simulated platform must answer as the real one does. The expected
// answers in tests/data were produced by the real calls under Wine, and the
// end-to-end suite checks that Wine still gives them.
#include <fstream>
#include <map>
#include <sstream>

#include "sim_test.h"
#include "support/platform_questions.h"

namespace {

std::vector<std::string> ReadLines(const std::string& name) {
  std::ifstream file(std::string(TVUNINST_TEST_DATA) + "/" + name);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

// The lines are UTF-8; the one non-ASCII letter used is within Latin-1.
std::wstring FromUtf8(const std::string& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0xC0 && i + 1 < text.size()) {
      out += static_cast<wchar_t>(((c & 0x1F) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F));
    } else {
      out += static_cast<wchar_t>(c);
    }
  }
  return out;
}

using PlatformAnswersTest = SimTest;

TEST_F(PlatformAnswersTest, CommandLinesSplitAsTheRealCall) {
  const std::vector<std::string> lines = ReadLines("argv_lines.txt");
  const std::vector<std::string> expected = ReadLines("argv_expected.txt");
  ASSERT_FALSE(lines.empty());
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(FromUtf8(lines[i]).c_str(), &count);
    ASSERT_NE(arguments, nullptr);
    std::string split = std::to_string(count);
    for (int n = 0; n < count; ++n) split += " [" + sim::Narrow(arguments[n]) + "]";
    LocalFree(arguments);
    EXPECT_EQ(split, expected[i]) << "line: " << lines[i];
  }
}

// The questions' state, staged in the simulation.
class SimStage : public QuestionStage {
 public:
  void Directory(const std::wstring& path) override { sim::MakeDirectory(path); }
  void File(const std::wstring& path) override { sim::MakeFile(path); }
  void ReadOnlyFile(const std::wstring& path) override { sim::MakeFile(path, FILE_ATTRIBUTE_READONLY); }
  void ReadOnlyReparseFile(const std::wstring& path) override {
    sim::MakeFile(path, FILE_ATTRIBUTE_READONLY, 0x80000013ul);  // a deduplicated file
  }
  void HeldFile(const std::wstring& path) override {
    sim::MakeFile(path);
    sim::HoldOpen(path);
  }
  void SharedHeldFile(const std::wstring& path) override {
    sim::MakeFile(path);
    sim::HoldWithDeleteSharing(path, sim::kAlways);
  }
  void UnixDirectoryLink(const std::wstring& path, const std::wstring& target) override {
    sim::MakeDirectoryLink(path, target, 0);
  }
  void Key(const char* path) override { sim::CreateKey(HKEY_LOCAL_MACHINE, path); }
  void KeyLink(const char* path, const char* target) override {
    sim::MakeKeyLink(HKEY_LOCAL_MACHINE, path, HKEY_LOCAL_MACHINE, target);
  }
  void Service(const char* name) override {
    sim::InstallService(name);
    sim::CreateKey(HKEY_LOCAL_MACHINE, std::string("SYSTEM\\CurrentControlSet\\Services\\") + name);
  }
  void StandardStreams() override {
    sim::SetStandardStream(STD_INPUT_HANDLE, sim::StreamKind::NullDevice);
    sim::SetStandardStream(STD_OUTPUT_HANDLE, sim::StreamKind::Pipe);
    sim::SetStandardStream(STD_ERROR_HANDLE, sim::StreamKind::DiskFile);
  }
  void CurrentDirectory(const std::wstring& path) override { sim::SetCurrentDirectory(path); }
};

// One fact a line, compared by name: a failure names the call that disagrees.
TEST_F(PlatformAnswersTest, ErrorCodesMatchTheRealCalls) {
  std::map<std::string, std::string> expected;
  for (const std::string& line : ReadLines("platform_codes.txt")) {
    expected[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
  }
  ASSERT_FALSE(expected.empty());
  SimStage stage;
  std::istringstream answers(AskPlatformQuestions(L"C:\\probe", stage));
  size_t count = 0;
  for (std::string line; std::getline(answers, line); ++count) {
    const std::string name = line.substr(0, line.find('='));
    ASSERT_EQ(expected.count(name), 1u) << "no expected answer for " << line;
    EXPECT_EQ(line.substr(line.find('=') + 1), expected[name]) << name;
  }
  EXPECT_EQ(count, expected.size()) << "questions without an answer";
}

}  // namespace
