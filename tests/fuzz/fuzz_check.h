// What every fuzz input must leave true, whatever it was.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/sim_control.h"

namespace fuzz {

inline void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
  }
}

// Only a folder named Telvarine, with everything below it, may go.
inline bool UnderProductFolder(std::wstring path) {
  for (wchar_t& c : path) c = static_cast<wchar_t>(towlower(c));
  for (size_t at = path.find(L"\\telvarine"); at != std::wstring::npos;
       at = path.find(L"\\telvarine", at + 1)) {
    const size_t end = at + 10;
    if (end == path.size() || path[end] == L'\\') return true;
  }
  return false;
}

inline void StageGame() {
  sim::MakeFile(L"C:\\Game\\game.exe");
  sim::MakeDirectory(L"C:\\Game\\tools");
  sim::MakeFile(L"C:\\Game\\data\\Telvarine\\x.dll", FILE_ATTRIBUTE_READONLY);
  sim::MakeFile(L"C:\\Game\\data\\Telvarine\\Sub\\y.dat");
  sim::MakeDirectoryLink(L"C:\\Game\\data\\Telvarine\\Out", L"C:\\Windows", 0);
  sim::MakeFile(L"C:\\Game\\Telvarine\\z.dat");
  sim::MakeFile(L"C:\\Windows\\system.dll");
  sim::MakeFile(L"C:\\Telvarine\\root.dat");
  sim::MakeFile(L"C:\\Work\\Telvarine\\w.dat");
  sim::SetCurrentDirectory(L"C:\\Work");
}

inline void CheckAfter(const std::vector<std::wstring>& before) {
  Check(sim::OpenHandlesTotal() == 0, "no handle left open");
  const std::vector<std::wstring> after = sim::AllEntries();
  for (const std::wstring& entry : before) {
    bool kept = false;
    for (const std::wstring& now : after) kept = kept || now == entry;
    if (!kept)
      Check(UnderProductFolder(entry.back() == L'\\' ? entry.substr(0, entry.size() - 1) : entry),
              "only a Telvarine folder loses entries");
  }
}

// Input bytes as UTF-16 code units, two by two.
inline std::wstring Units(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  return text;
}

}  // namespace fuzz
