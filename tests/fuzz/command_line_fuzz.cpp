// From the raw process command line through the split, the parse and the
// product folder removal, on a fixed simulated game.
#include <cstdint>

#include "app/uninstall.h"
#include "folder/product_folder.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::Reset();
  fuzz::StageGame();
  // The first byte decides where the executable sits: a tools directory or not.
  const bool tools = size > 0 && (data[0] & 1);
  sim::SetModuleFileName(tools ? L"C:\\Game\\tools\\tvuninst.exe" : L"C:\\Game\\tvuninst.exe");
  sim::SetCommandLine(fuzz::Units(data + (size > 0), size > 0 ? size - 1 : 0));
  const std::vector<std::wstring> before = sim::AllEntries();

  UninstallOptions options;
  const bool accepted = ReadCommandLine(options);
  fuzz::Check(accepted || options.showHelp, "a rejected line asks for the usage text");
  fuzz::Check(sim::OpenHandles(sim::HandleKind::LocalMemory) == 0, "the argument vector is released");
  RunRecord record;
  if (accepted && !options.showHelp)
    fuzz::Check(RemoveProductFolder(options.installDir, record), "the directory is known");
  fuzz::CheckAfter(before);
  return 0;
}
