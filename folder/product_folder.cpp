#include "folder/product_folder.h"

#include "folder/walk_checks.h"
#include "product.h"
#include "text/writer.h"

static const wchar_t kToolsSuffix[] = L"\\tools";

// The given directory is held while its folder is deleted, as the search
// holds the directories above the folder it finds; a link is not followed.
// The folder is found in its listing, and opened relative to it.
// False when the directory itself could not be opened.
static bool RemoveFromGivenDirectory(const WidePath& directory, WalkTally* tally) {
  tally->folder = Concat(Concat(directory, L"\\"), ProductFolderName);
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE held = OpenRootAsItself(directory, &self);
  if (held == INVALID_HANDLE_VALUE) {
    tally->error = GetLastError();  // found stays false: absent when the directory is missing
    return false;
  }
  ListedEntry folder;
  if (!IsPlainDirectory(self)) {
    tally->found = true;  // whatever a link leads to is left alone
    const bool isDirectory = (self.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    NoteStayed(tally, directory, isDirectory ? L"link left in place" : L"not a directory", 0);
  } else if (FindListed(held, ProductFolderName, &folder, &tally->error)) {
    DeleteDirectoryTree(held, folder, tally->folder, tally);
  }
  CloseHandle(held);
  return true;
}

static WidePath WithoutTrailingSeparator(const WidePath& path) {
  return !path.empty() && path.back() == L'\\' ? path.substr(0, path.size() - 1) : path;
}

// Whether the directory at `path` is the root of a volume (a drive's, a
// share's, a volume mounted in a folder): its final path, as the system gives
// it, is the path of the volume it lies on. On Windows a drive substituted
// for a directory has that directory's final path, and is no root; Wine keeps
// the drive's letter. False, with the last error, when that cannot be told.
static bool IsVolumeRoot(const WidePath& path, bool* root) {
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE held = OpenRootAsItself(path, &self);
  if (held == INVALID_HANDLE_VALUE) return false;
  WidePath final;
  const bool told = RawFinalPathOf(held, &final);
  const DWORD error = GetLastError();
  CloseHandle(held);
  if (!told) {
    SetLastError(error);
    return false;
  }
  // A volume's path is at most the final path with a separator added.
  WidePath volume(final.size() + 2, L'\0');
  if (!GetVolumePathNameW(final.c_str(), &volume[0], static_cast<DWORD>(volume.size()))) return false;
  volume.resize(wcslen(volume.c_str()));
  *root = SameText(WithoutTrailingSeparator(final), WithoutTrailingSeparator(volume));
  return true;
}

// Where the folder is looked for: below the game directory in the tools
// layout (`searchRoot`), or directly in `givenDirectory`; `rootNote` says why
// a tools directory was not taken for a game's. False when the executable
// directory is unknown, with the line that says why.
static bool FindLayout(const WidePath& installDir, WidePath* searchRoot, WidePath* givenDirectory,
                       WidePath* rootNote, WidePath* failure) {
  WidePath executableDirectory;
  if (!FindExecutableDirectory(executableDirectory, failure)) return false;
  if (EndsWith(executableDirectory, kToolsSuffix)) {
    // A game ships the uninstaller in its tools directory: the folder can be
    // anywhere in the game's tree, and any -a value plays no part. No game
    // ships it at the root of a volume, where administrators keep their tools:
    // searching there would take any Telvarine folder of the whole volume.
    const WidePath game = executableDirectory.substr(0, executableDirectory.rfind(L'\\'));
    bool root = true;
    if (!IsVolumeRoot(game, &root)) {
      *rootNote = L"the tools directory may be at the root of a volume: error " +
                  std::to_wstring(GetLastError()) + L"; give -a";
    } else if (root) {
      *rootNote = L"the tools directory is at the root of a volume; give -a";
    } else {
      *searchRoot = game;
      return true;
    }
  }
  *givenDirectory = installDir == L"." ? executableDirectory : installDir;
  return true;
}

WidePath GivenProductFolder(const WidePath& installDir) {
  WidePath searchRoot, givenDirectory, rootNote, failure;
  if (!FindLayout(installDir, &searchRoot, &givenDirectory, &rootNote, &failure) || givenDirectory.size() < 2)
    return L"";
  return Concat(Concat(givenDirectory, L"\\"), ProductFolderName);
}

// Names are compared case aside; the file system is always handed the path in
// the case it was given, which matters where names are case-sensitive.
bool RemoveProductFolder(const WidePath& installDir, RunRecord& record) {
  WalkTally tally;
  tally.preview = record.preview;
  tally.record = &record;
  tally.keep = &record.logFinalPath;
  WidePath searchRoot, givenDirectory, rootNote, failure;
  bool givenMissing = false;
  if (!FindLayout(installDir, &searchRoot, &givenDirectory, &rootNote, &failure)) {
    PrintLine(failure);
    AddTarget(record, kFailed, L"folder", ProductFolderName, L"the executable's own directory is unknown");
    return false;
  }
  if (!searchRoot.empty()) {
    if (!installDir.empty())
      AddNote(record,
              L"note: -a " + Shown(installDir) + L" ignored: tvuninst runs from the game's tools directory");
    if (!SearchDirectoryTree(&tally, searchRoot, ProductFolderVisitor, &tally))
      AddSaid(record, L"Telvarine folder not found.");
  } else if (givenDirectory.size() < 2) {
    // Nothing says where the folder is: told in the log, so that a miss is not read as success.
    const WidePath why = !givenDirectory.empty() ? L"-a names no directory"
                         : !rootNote.empty()     ? rootNote
                                                 : L"not in a tools directory and no -a given";
    AddTarget(record, kSkipped, L"folder", ProductFolderName, why);
    return true;
  } else {
    givenMissing = !RemoveFromGivenDirectory(givenDirectory, &tally);
  }
  for (const WidePath& entry : tally.skipped)
    AddTarget(record, kSkipped, L"entry", entry, L"link or unsafe name");
  for (const WidePath& link : tally.linksRemovable) AddTarget(record, kLinkRemovable, L"entry", link);
  for (const WidePath& link : tally.linksLeft) AddTarget(record, kLinkLeft, L"entry", link);
  Judgement judgement = JudgeProductFolder(tally);
  // A -a directory that is not there is named: a typo reads as what it is.
  if (judgement.outcome == kAbsent && givenMissing) judgement.note = L"no directory " + givenDirectory;
  AddJudgement(record, L"folder", tally.folder.empty() ? WidePath(ProductFolderName) : tally.folder,
               judgement);
  return true;
}

bool FolderHolds(const WidePath& folder, const WidePath& file) {
  if (file.empty()) return false;
  FILE_ATTRIBUTE_TAG_INFO self = {};
  HANDLE held = OpenRootAsItself(folder, &self);
  if (held == INVALID_HANDLE_VALUE) return false;
  WidePath final;
  const bool holds = FinalPathOf(held, &final) && LiesInside(file, final);
  CloseHandle(held);
  return holds;
}

bool ProductFolderVisitor(HANDLE parent, const ListedEntry& entry, const WidePath& fullPath, void* context) {
  if (!SameText(entry.name, ProductFolderName)) return true;
  WalkTally* tally = static_cast<WalkTally*>(context);
  if (tally && tally->record) AddSaid(*tally->record, L"Found 'Telvarine', stopping recursion.");
  if (tally) tally->folder = fullPath;
  // Opened relative to the parent the search holds; the deletion itself
  // makes sure the folder does not hold the log.
  DeleteDirectoryTree(parent, entry, fullPath, tally);
  return false;
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
