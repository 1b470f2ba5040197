#include "folder/product_folder.h"

#include "folder/directory_tree.h"
#include "folder/walk_checks.h"

static const wchar_t kToolsSuffix[] = L"\\tools";
static const wchar_t kProductFolderName[] = L"telvarine";

// Names are compared on lower-cased copies; the file system is always handed
// the path in the case it was given, which matters where names are
// case-sensitive.
bool RemoveProductFolder(UninstallOptions& options, WalkTally* tally) {
  WalkTally unused;
  if (!tally) tally = &unused;
  WidePath executableDirectory;
  if (!GetExecutableDirectory(executableDirectory)) return false;
  WidePath lowered = executableDirectory;
  ToLowerInPlace(lowered);

  if (EndsWith(lowered, kToolsSuffix)) {
    // A game ships the uninstaller in its tools directory: the folder can be
    // anywhere in the game's tree.
    options.installDir = executableDirectory.substr(0, executableDirectory.rfind(L'\\'));
    if (!SearchDirectoryTree(tally, options.installDir, ProductFolderVisitor, tally)) {
      PrintWide(L"Telvarine folder not found.\n");
    }
    return true;
  }

  if (options.installDir == L".") options.installDir = executableDirectory;
  if (options.installDir.size() < 2) return true;
  // The given directory is held while its folder is deleted, as the search
  // holds the directories above the folder it finds; a link is not followed.
  const WidePath target = Concat(options.installDir, L"\\Telvarine");
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE held = OpenAsItself(options.installDir.c_str(), &self);
  tally->folder = target;
  if (held == INVALID_HANDLE_VALUE) {
    tally->error = GetLastError();  // found stays false: absent when the directory is missing
    return true;
  }
  if (IsPlainDirectory(self)) {
    DeleteDirectoryTree(target.c_str(), tally);
  } else {
    tally->found = true;  // whatever the link leads to is left alone
    NoteStayed(tally, options.installDir.c_str(), L"link left in place", 0);
  }
  CloseHandle(held);
  return true;
}

bool ProductFolderVisitor(const WidePath& fullPath, const WidePath& name, void* tally) {
  WidePath lowered = name;
  ToLowerInPlace(lowered);
  if (lowered != kProductFolderName) return true;
  PrintWide(L"Found 'Telvarine', stopping recursion.\n");
  if (tally) static_cast<WalkTally*>(tally)->folder = fullPath;
  DeleteDirectoryTree(fullPath.c_str(), static_cast<WalkTally*>(tally));
  return false;
}
