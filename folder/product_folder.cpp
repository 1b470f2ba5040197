#include "folder/product_folder.h"

#include "folder/directory_tree.h"
#include "folder/walk_checks.h"

static const wchar_t kToolsSuffix[] = L"\\tools";
static const wchar_t kProductFolderName[] = L"telvarine";

// Names are compared on lower-cased copies; the file system is always handed
// the path in the case it was given, which matters where names are
// case-sensitive.
bool RemoveProductFolder(UninstallOptions& options) {
  WidePath executableDirectory;
  if (!GetExecutableDirectory(executableDirectory)) return false;
  WidePath lowered = executableDirectory;
  ToLowerInPlace(lowered);

  if (EndsWith(lowered, kToolsSuffix)) {
    // A game ships the uninstaller in its tools directory: the folder can be
    // anywhere in the game's tree.
    options.installDir = executableDirectory.substr(0, executableDirectory.rfind(L'\\'));
    if (!SearchDirectoryTree(&options.installDir, options.installDir, ProductFolderVisitor)) {
      PrintWide(L"Telvarine folder not found.\n");
    }
    return true;
  }

  if (options.installDir == L".") options.installDir = executableDirectory;
  if (options.installDir.size() < 2) return true;
  // The given directory is held while its folder is deleted, as the search
  // holds the directories above the folder it finds; a link is not followed.
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE held = OpenAsItself(options.installDir.c_str(), &self);
  if (held == INVALID_HANDLE_VALUE) return true;
  if (IsPlainDirectory(self)) {
    const WidePath target = Concat(options.installDir, L"\\Telvarine");
    DeleteDirectoryTree(target.c_str());
  }
  CloseHandle(held);
  return true;
}

bool ProductFolderVisitor(const WidePath& fullPath, const WidePath& name, void*) {
  WidePath lowered = name;
  ToLowerInPlace(lowered);
  if (lowered != kProductFolderName) return true;
  PrintWide(L"Found 'Telvarine', stopping recursion.\n");
  DeleteDirectoryTree(fullPath.c_str());
  return false;
}
