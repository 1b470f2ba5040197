#include "folder/product_folder.h"

#include "folder/walk_checks.h"
#include "product.h"

static const wchar_t kToolsSuffix[] = L"\\tools";

static bool IsProductFolderName(const WidePath& name) {
  WidePath lowered = name, product = ProductFolderName;
  ToLowerInPlace(lowered);
  ToLowerInPlace(product);
  return lowered == product;
}

// The given directory is held while its folder is deleted, as the search
// holds the directories above the folder it finds; a link is not followed.
static void RemoveFromGivenDirectory(const WidePath& directory, WalkTally* tally) {
  tally->folder = Concat(Concat(directory, L"\\"), ProductFolderName);
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE held = OpenAsItself(directory.c_str(), &self);
  if (held == INVALID_HANDLE_VALUE) {
    tally->error = GetLastError();  // found stays false: absent when the directory is missing
    return;
  }
  if (IsPlainDirectory(self)) {
    DeleteDirectoryTree(tally->folder.c_str(), tally);
  } else {
    tally->found = true;  // whatever the link leads to is left alone
    NoteStayed(tally, directory.c_str(), L"link left in place", 0);
  }
  CloseHandle(held);
}

// Names are compared on lower-cased copies; the file system is always handed
// the path in the case it was given, which matters where names are
// case-sensitive.
bool RemoveProductFolder(const WidePath& installDir, RunRecord& record) {
  WalkTally tally;
  tally.preview = record.preview;
  tally.record = &record;
  WidePath executableDirectory;
  if (!GetExecutableDirectory(executableDirectory)) {
    AddTarget(record, kFailed, L"folder", ProductFolderName, L"the executable's own directory is unknown");
    return false;
  }
  WidePath lowered = executableDirectory;
  ToLowerInPlace(lowered);
  if (EndsWith(lowered, kToolsSuffix)) {
    // A game ships the uninstaller in its tools directory: the folder can be
    // anywhere in the game's tree, and any -a value plays no part.
    const WidePath gameDirectory = executableDirectory.substr(0, executableDirectory.rfind(L'\\'));
    if (!SearchDirectoryTree(&tally, gameDirectory, ProductFolderVisitor, &tally))
      AddSaid(record, L"Telvarine folder not found.");
  } else {
    const WidePath directory = installDir == L"." ? executableDirectory : installDir;
    if (directory.size() >= 2) RemoveFromGivenDirectory(directory, &tally);
  }
  for (const WidePath& entry : tally.skipped)
    AddTarget(record, kSkipped, L"entry", entry, L"link or unsafe name");
  for (const WidePath& link : tally.linksRemovable) AddTarget(record, kLinkRemovable, L"entry", link);
  for (const WidePath& link : tally.linksLeft) AddTarget(record, kLinkLeft, L"entry", link);
  AddJudgement(record, L"folder", tally.folder.empty() ? WidePath(ProductFolderName) : tally.folder,
               JudgeProductFolder(tally));
  return true;
}

bool ProductFolderVisitor(const WidePath& fullPath, const WidePath& name, void* context) {
  if (!IsProductFolderName(name)) return true;
  WalkTally* tally = static_cast<WalkTally*>(context);
  if (tally && tally->record) AddSaid(*tally->record, L"Found 'Telvarine', stopping recursion.");
  if (tally) tally->folder = fullPath;
  DeleteDirectoryTree(fullPath.c_str(), tally);
  return false;
}

// Only "not found" means not there; anything else may hide what is there.
static bool IsNotFound(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

static WidePath Counted(const WalkTally& tally) {
  return std::to_wstring(tally.files) + L" files, " + std::to_wstring(tally.directories) + L" directories";
}

Judgement JudgeProductFolder(const WalkTally& tally) {
  if (tally.found && tally.reason == nullptr) return {kRemoved, Counted(tally), 0};
  if (tally.found) {
    return {kFailed, Counted(tally) + L" removed; " + tally.firstFailure + L" " + tally.reason, tally.error};
  }
  if (tally.folder.empty() && tally.searchError != 0)
    return {kFailed, L"not fully searched", tally.searchError};
  if (tally.reason == nullptr && (tally.error == 0 || IsNotFound(tally.error))) return {kAbsent, L"", 0};
  return {kFailed, tally.reason ? tally.reason : L"", tally.error};
}
