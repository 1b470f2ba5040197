// The state of the simulated machine, shared by the files that implement it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim_control.h"

namespace sim {

struct Node {
  std::wstring name;
  DWORD attributes = FILE_ATTRIBUTE_DIRECTORY;
  DWORD reparseTag = 0;
  std::wstring linkTarget;  // for links
  std::string content;      // for files
  DWORD links = 1;          // for files: its names
  DWORD fileType = FILE_TYPE_DISK;
  bool heldOpen = false;
  // Another process holds it with delete sharing until the run has paused this
  // long in all (0: nobody does); a deletion meanwhile leaves it listed, pending.
  DWORD sharedHoldUntil = 0;
  bool refuseRemoval = false;
  unsigned long long id = 0;   // the file ID, unique on the machine
  bool deletePending = false;  // disposed of: goes when its last handle closes
  bool posixDelete = false;    // disposed of with POSIX semantics: goes when that handle closes
  bool caseSensitive = false;
  bool failOpen = false;
  DWORD failOpenError = 0;
  size_t failAfter = static_cast<size_t>(-1);
  DWORD failAfterError = 0;
  Node* parent = nullptr;
  // In creation order; a removed child leaves a hole until the next compaction.
  std::vector<std::unique_ptr<Node>> children;
  size_t holes = 0;
  size_t slot = 0;  // this node's place among its parent's children
  std::multimap<std::wstring, Node*> byUpperName;

  bool IsDirectory() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool IsLink() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

struct Key {
  std::string name;
  Key* parent = nullptr;  // null for a hive, and once deleted
  DWORD denied = 0;       // the rights an open of it is refused
  // A link: its target, as its SymbolicLinkValue names it (a link has no subkeys).
  HKEY linkHive = nullptr;
  std::string linkTarget;
  std::map<std::string, std::string> values;
  std::vector<std::unique_ptr<Key>> children;

  bool IsLink() const { return linkHive != nullptr; }
};

struct KeyHandle {
  Key* key;
  std::string path;  // as opened, for the call log
  DWORD access;
};

struct Service {
  std::string name;
  ServiceSetup setup;
  bool running = false;
  bool marked = false;
  bool stopPending = false;  // asked to stop, still running
  int openHandles = 0;
};

struct Listing {
  std::vector<WIN32_FIND_DATAW> records;
  size_t next = 0;
  size_t failAfter = static_cast<size_t>(-1);
  DWORD failAfterError = 0;
};

struct FileHandle {
  Node* node;
  DWORD access;
  DWORD share;
  size_t position = 0;  // where the next write lands, unless the handle only appends
  bool listed = false;  // a listing through the handle has begun
  Listing listing;      // what it delivers, as the directory was when it began
};

// A standard stream given at the start, or a console handle opened since.
struct Stream {
  StreamKind kind;
  bool writable;  // Wine gives standard input for reading only
  bool opened;    // by CreateFileW, and so counted as an open handle
  std::string text;
  std::string device;  // what an opened console was opened as: CONIN$ or CONOUT$
};

struct Swap {
  size_t ordinal = 0;  // 0: none pending
  std::wstring path;
  std::wstring target;
  DWORD tag = 0;
  SwapResult result = SwapResult::None;
};

struct Injection {
  std::string name;
  DWORD error;
  int times;
};

struct World {
  DWORD lastError = 0;
  std::vector<Call> calls;
  std::vector<Injection> injections;
  size_t failOrdinal = 0;  // 0: none
  DWORD failOrdinalError = 0;
  std::map<HandleKind, int> openHandles;

  std::wstring commandLine;
  std::wstring moduleFileName;
  bool moduleNameTerminatedWhenCut = false;
  bool parentConsole = false;
  bool attached = false;
  std::string consoleText;
  std::map<uintptr_t, Stream> streams;  // by handle
  uintptr_t given[3] = {};              // input, output, error as the process started; 0: none
  uintptr_t standard[3] = {};           // the standard handles now
  uintptr_t nextStream = 0x100;
  std::vector<int> boxAnswers;
  std::vector<Box> boxes;
  std::vector<std::string> debugStrings;
  std::vector<std::string> missingExports;
  DWORD dllSearch = 0;
  bool admin = true;
  // As a player's run sees its desktop: a visible station in session 1, on the console.
  bool stationVisible = true;
  DWORD processSession = 1;
  DWORD consoleSession = 1;

  std::vector<Service> services;
  std::map<uintptr_t, std::string> serviceHandles;  // handle -> service name, "" for the manager
  std::map<uintptr_t, DWORD> serviceAccess;         // handle -> the rights it was opened with
  std::map<uintptr_t, KeyHandle> keyHandles;
  std::vector<std::unique_ptr<Key>> removedKeys;  // kept so that open handles stay valid

  Key currentUser;
  Key localMachine;

  ListingOrder listingOrder = ListingOrder::Creation;
  std::map<wchar_t, std::unique_ptr<Node>> drives;  // by upper-case letter
  std::wstring currentDirectory;
  std::string systemDirectory;
  std::wstring systemRedirect;             // where a 32-bit process's system directory really is
  std::vector<std::wstring> restartQueue;  // paths queued for deletion at the next restart
  std::map<uintptr_t, FileHandle> fileHandles;
  std::vector<std::unique_ptr<Node>> removed;  // kept so that open handles stay valid
  Swap swap;
  uintptr_t nextHandle = 0x1000;
  DispositionSupport dispositionEx;
  DWORD paused = 0;                // milliseconds the run has slept
  std::vector<Node*> sharedHolds;  // entries another process holds with delete sharing
  unsigned long long nextId = 1;
};

World& TheWorld();

// Marks the time spent inside a simulated platform call on this thread.
struct PlatformCall {
  PlatformCall();
  ~PlatformCall();
};

// Begins every logged simulated call, which then reads as behaviour only: the
// time until it ends counts as spent inside the platform, the call is logged
// with its arguments, a swap due at this call happens, and an injected failure
// applies. The injected error becomes the last error, unless the call reports
// a status instead (the registry calls).
class CallEntry {
 public:
  enum Reporting { SetsLastError, ReturnsStatus };
  CallEntry(const char* name, const char* args = "", Reporting reporting = SetsLastError) {
    Begin(name, args, reporting);
  }
  // `describe` forms the arguments' text, inside the platform call.
  template <typename Describe>
  CallEntry(const char* name, Describe describe, Reporting reporting = SetsLastError) {
    Begin(name, describe(), reporting);
  }
  CallEntry(const CallEntry&) = delete;
  CallEntry& operator=(const CallEntry&) = delete;
  bool Failed() const { return failed_; }
  DWORD Error() const { return error_; }

 private:
  void Begin(const char* name, const std::string& args, Reporting reporting);
  PlatformCall inPlatform_;
  bool failed_ = false;
  DWORD error_ = 0;
};

void CountOpen(HandleKind kind);
void CountClose(HandleKind kind);

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);
std::string Upper(const std::string& text);
std::string Hex(unsigned long value);

// File system, shared by the narrow and wide entry points.
struct Lookup {
  Node* node = nullptr;
  Node* parent = nullptr;  // the directory that holds (or would hold) the last name
  std::wstring lastName;
  DWORD error = 0;  // when node is null: 2, 3, 206 ...
};
// The key and everything below it, when it is there.
void RemoveKeyTree(HKEY hive, const std::string& path);

Lookup Resolve(const std::wstring& path);
// The drive letter and the components of a Win32 path, "." and ".." applied;
// false for forms the simulation does not know (UNC, "\\?\").
bool Parse(const std::wstring& path, wchar_t* drive, std::vector<std::wstring>* parts);
Node* ChildNamed(Node* directory, const std::wstring& name);
std::wstring UpperName(const std::wstring& name);
void AddChild(Node* parent, std::unique_ptr<Node> child);
void RemoveChild(Node* child);  // kept aside, so that open handles stay valid
void RenameChild(Node* child, const std::wstring& name);
size_t ChildCount(const Node* directory);
Node* ResolveThroughLink(Node* node);  // the target of a link, the node itself otherwise
std::wstring FullPath(const Node* node);
void ResetFiles();
void PerformSwap();  // the pending swap, when its call has come
// The run pauses: holds that end within the pause end, and what they kept pending goes.
void EndHolds(DWORD milliseconds);

// Only an open with data or delete access takes part in sharing.
bool TakesPartInSharing(DWORD access);
// Whether a handle of this or another process keeps the entry from being
// deleted, renamed or replaced.
bool DeleteBlocked(const Node* node);
// Whether an open with `access` and `share` conflicts with a handle open on the node.
bool SharingRefused(const Node* node, DWORD access, DWORD share);
// A new handle of this process on the node.
HANDLE AddFileHandle(Node* node, DWORD access, DWORD share);
// After a handle on the node closed: a node disposed of goes with its last handle.
void LastHandleClosed(Node* node);
// The records of `directory`, the dot entries included below a root.
void ListDirectory(Node* directory, Listing* listing);
BOOL DeleteFileAt(const std::wstring& path);
// Standard streams and console handles: null for any other handle.
Stream* StreamOf(HANDLE handle);
// CreateFileW of CONOUT$ or CONIN$: a console handle while attached.
HANDLE OpenConsole(const std::wstring& device);
void ResetStreams();
// Sets the last error and fails.
BOOL Fail(DWORD error);

}  // namespace sim
