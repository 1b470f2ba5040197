// CommandLineToArgvW by its documented rules.
#include <cstdlib>

#include "state.h"

namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

std::vector<std::wstring> Split(const std::wstring& line, const std::wstring& modulePath) {
  std::vector<std::wstring> args;
  if (line.empty()) return {modulePath};
  size_t i = 0;
  // Argument 0 knows no escapes: it runs to the next quote, or to a blank.
  std::wstring first;
  if (line[0] == L'"') {
    for (i = 1; i < line.size() && line[i] != L'"'; ++i) first += line[i];
    if (i < line.size()) ++i;
  } else {
    for (; i < line.size() && !IsBlank(line[i]); ++i) first += line[i];
  }
  args.push_back(first);
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size()) return args;

  std::wstring current;
  int backslashes = 0;
  int quotes = 0;  // 1 while inside quotes
  while (i < line.size()) {
    const wchar_t c = line[i];
    if (IsBlank(c) && quotes == 0) {
      args.push_back(current);
      current.clear();
      backslashes = 0;
      while (i < line.size() && IsBlank(line[i])) ++i;
      if (i == line.size()) return args;
    } else if (c == L'\\') {
      current += c;
      ++backslashes;
      ++i;
    } else if (c == L'"') {
      // 2n backslashes and a quote: n backslashes, and the quote toggles;
      // 2n+1 backslashes and a quote: n backslashes and a literal quote.
      current.resize(current.size() - backslashes / 2);
      if (backslashes % 2 == 0) {
        ++quotes;
      } else {
        current.back() = L'"';
      }
      backslashes = 0;
      ++i;
      // In a run of quotes every third one is literal.
      while (i < line.size() && line[i] == L'"') {
        if (++quotes == 3) {
          current += L'"';
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
    } else {
      current += c;
      backslashes = 0;
      ++i;
    }
  }
  args.push_back(current);
  return args;
}

}  // namespace

LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* count) {
  sim::CallEntry call("CommandLineToArgvW",
                      [&] { return sim::Narrow(commandLine ? commandLine : L"(null)"); });
  if (call.Failed()) return nullptr;
  if (!count) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::vector<std::wstring> args =
      Split(commandLine ? commandLine : L"", sim::TheWorld().moduleFileName);
  // One block, released by a single LocalFree: the pointers, then the texts.
  size_t size = (args.size() + 1) * sizeof(LPWSTR);
  for (const std::wstring& arg : args) size += (arg.size() + 1) * sizeof(wchar_t);
  char* block = static_cast<char*>(malloc(size));
  LPWSTR* vector = reinterpret_cast<LPWSTR*>(block);
  wchar_t* text = reinterpret_cast<wchar_t*>(block + (args.size() + 1) * sizeof(LPWSTR));
  for (size_t n = 0; n < args.size(); ++n) {
    vector[n] = text;
    wmemcpy(text, args[n].c_str(), args[n].size() + 1);
    text += args[n].size() + 1;
  }
  vector[args.size()] = nullptr;
  *count = static_cast<int>(args.size());
  sim::CountOpen(sim::HandleKind::LocalMemory);
  return vector;
}
