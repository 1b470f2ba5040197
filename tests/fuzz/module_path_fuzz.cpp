// Module paths of any shape through the executable directory and both layouts.
#include <cstdint>

#include "folder/product_folder.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::Reset();
  fuzz::StageGame();
  static const wchar_t* const values[] = {L"", L".", L"./", L"C:\\Game", L"C", L"C:\\Game\\"};
  const uint8_t selector = size > 0 ? data[0] : 0;
  const std::wstring module = fuzz::Units(data + (size > 0), size > 0 ? size - 1 : 0);
  sim::SetModuleFileName(module);
  sim::SetModuleNameTerminatedWhenCut(selector & 0x80);
  const std::vector<std::wstring> before = sim::AllEntries();

  RunRecord record;
  const bool result = RemoveProductFolder(values[selector % 6], record);
  const std::wstring name = module.substr(0, module.find(L'\0'));
  const bool determinable = module.size() < MAX_PATH && name.find_first_of(L"\\/") != std::wstring::npos;
  if (!module.empty() && determinable)
    fuzz::Check(result, "a module path with a separator gives a directory");
  if (module.size() >= MAX_PATH) fuzz::Check(!result, "a cut module path is never used");
  fuzz::CheckAfter(before);
  return 0;
}
