// The simulated platform must answer as the real one does. The expected
// answers in tests/data were produced by the real calls under Wine, and the
// end-to-end suite checks that Wine still gives them.
#include <fstream>
#include <sstream>

#include "sim_test.h"

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

// The same questions as the end-to-end probe asks, staged in the simulation.
TEST_F(PlatformAnswersTest, ErrorCodesMatchTheRealCalls) {
  std::ostringstream answers;
  auto code = [&](const char* name, BOOL ok) {
    answers << name << "=" << (ok ? 0ul : GetLastError()) << "\n";
  };
  auto status = [&](const char* name, LONG value) { answers << name << "=" << value << "\n"; };
  const std::wstring dir = L"C:\\probe";
  const std::string narrow = "C:\\probe";
  sim::MakeFile(dir + L"\\full\\x.txt");
  sim::MakeDirectory(dir + L"\\empty");
  sim::MakeFile(dir + L"\\ro.txt", FILE_ATTRIBUTE_READONLY);
  sim::MakeFile(dir + L"\\held.txt");
  sim::HoldOpen(dir + L"\\held.txt");

  code("DeleteFileW.missing", DeleteFileW((dir + L"\\missing.txt").c_str()));
  code("DeleteFileW.missing_parent", DeleteFileW((dir + L"\\nodir\\x.txt").c_str()));
  code("DeleteFileW.read_only", DeleteFileW((dir + L"\\ro.txt").c_str()));
  code("DeleteFileW.held", DeleteFileW((dir + L"\\held.txt").c_str()));
  code("DeleteFileW.directory", DeleteFileW((dir + L"\\empty").c_str()));
  code("DeleteFileA.missing", DeleteFileA((narrow + "\\missing.txt").c_str()));
  code("DeleteFileA.read_only", DeleteFileA((narrow + "\\ro.txt").c_str()));
  code("DeleteFileA.held", DeleteFileA((narrow + "\\held.txt").c_str()));
  code("RemoveDirectoryW.not_empty", RemoveDirectoryW((dir + L"\\full").c_str()));
  code("RemoveDirectoryW.missing", RemoveDirectoryW((dir + L"\\missing").c_str()));
  WIN32_FIND_DATAW record;
  HANDLE listing = FindFirstFileW((dir + L"\\missing\\*").c_str(), &record);
  code("FindFirstFileW.missing_directory", listing != INVALID_HANDLE_VALUE);
  listing = FindFirstFileW((dir + L"\\empty\\nomatch*").c_str(), &record);
  code("FindFirstFileW.no_match", listing != INVALID_HANDLE_VALUE);
  listing = FindFirstFileW((dir + L"\\empty\\*").c_str(), &record);
  int entries = 0;
  if (listing != INVALID_HANDLE_VALUE) {
    do ++entries;
    while (FindNextFileW(listing, &record));
    code("FindNextFileW.end", FALSE);
    FindClose(listing);
  }
  answers << "FindFirstFileW.empty_directory_entries=" << entries << "\n";

  sim::CreateKey(HKEY_CURRENT_USER, "Software\\TvProbe\\Parent\\Child");
  status("RegDeleteKeyA.with_subkey", RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TvProbe\\Parent"));
  status("RegDeleteKeyA.missing", RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TvProbe\\Missing"));
  status("SHDeleteKeyA.tree", SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\TvProbe"));
  status("SHDeleteKeyA.missing", SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\TvProbe"));

  sim::InstallService("tvprobe_codes");
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE missing = OpenServiceA(manager, "tvprobe_missing", DELETE);
  code("OpenServiceA.missing", missing != nullptr);
  SC_HANDLE service = OpenServiceA(manager, "tvprobe_codes", SERVICE_STOP | DELETE);
  SERVICE_STATUS serviceStatus;
  code("ControlService.stopped", ControlService(service, SERVICE_CONTROL_STOP, &serviceStatus));
  code("DeleteService.first", DeleteService(service));
  code("DeleteService.second", DeleteService(service));
  CloseServiceHandle(service);
  CloseServiceHandle(manager);

  std::string expected;
  for (const std::string& line : ReadLines("platform_codes.txt")) expected += line + "\n";
  EXPECT_EQ(answers.str(), expected);
}

}  // namespace
