#include <algorithm>
#include <cstdio>

#include "state.h"

namespace sim {

static thread_local int callDepth = 0;

PlatformCall::PlatformCall() {
  ++callDepth;
}

PlatformCall::~PlatformCall() {
  --callDepth;
}

int PlatformCallDepth() {
  return callDepth;
}

World& TheWorld() {
  static World world;
  return world;
}

// The injected failure that applies to this call, if any.
static bool Injected(const char* name, DWORD* error) {
  World& w = TheWorld();
  if (w.failOrdinal != 0 && --w.failOrdinal == 0) {
    *error = w.failOrdinalError;
    return true;
  }
  for (auto it = w.injections.begin(); it != w.injections.end(); ++it) {
    if (it->name != name) continue;
    *error = it->error;
    if (it->times != kAlways && --it->times == 0) w.injections.erase(it);
    return true;
  }
  return false;
}

void CallEntry::Begin(const char* name, const std::string& args, Reporting reporting) {
  World& w = TheWorld();
  w.calls.push_back({name, args});
  if (w.swap.ordinal != 0 && --w.swap.ordinal == 0) PerformSwap();
  failed_ = Injected(name, &error_);
  if (failed_ && reporting == SetsLastError) SetLastError(error_);
}

void CountOpen(HandleKind kind) {
  ++TheWorld().openHandles[kind];
}

void CountClose(HandleKind kind) {
  --TheWorld().openHandles[kind];
}

const std::vector<Call>& Calls() {
  return TheWorld().calls;
}

std::vector<std::string> CallNames() {
  std::vector<std::string> names;
  for (const Call& call : TheWorld().calls) names.push_back(call.name);
  return names;
}

std::vector<std::string> CallsNamed(const std::string& name) {
  std::vector<std::string> found;
  for (const Call& call : TheWorld().calls) {
    if (call.name == name) found.push_back(call.name + "(" + call.args + ")");
  }
  return found;
}

void ClearCalls() {
  TheWorld().calls.clear();
}

void FailCall(const std::string& name, DWORD error, int times) {
  TheWorld().injections.push_back({name, error, times});
}

void FailNthCall(size_t ordinal, DWORD error) {
  TheWorld().failOrdinal = ordinal;
  TheWorld().failOrdinalError = error;
}

int OpenHandles(HandleKind kind) {
  auto it = TheWorld().openHandles.find(kind);
  return it == TheWorld().openHandles.end() ? 0 : it->second;
}

int OpenHandlesTotal() {
  int total = 0;
  for (const auto& entry : TheWorld().openHandles) total += entry.second;
  return total;
}

void Reset() {
  World& w = TheWorld();
  w = World();
  w.moduleFileName = L"C:\\Games\\Title\\tvuninst.exe";
  w.commandLine = L"\"" + w.moduleFileName + L"\"";
  w.currentUser.name = "HKCU";
  w.localMachine.name = "HKLM";
  ResetFiles();
  ResetStreams();
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    unsigned long u = static_cast<unsigned long>(c);
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (u >> 18));
      out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

// Narrow texts of the system are ANSI; byte for code unit is enough here.
std::wstring Widen(const std::string& text) {
  std::wstring out;
  for (unsigned char c : text) out += static_cast<wchar_t>(c);
  return out;
}

std::string Upper(const std::string& text) {
  std::string out = text;
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); });
  return out;
}

std::string Hex(unsigned long value) {
  char text[32];
  snprintf(text, sizeof text, "0x%lx", value);
  return text;
}

}  // namespace sim

DWORD GetLastError() {
  return sim::TheWorld().lastError;
}

void SetLastError(DWORD error) {
  sim::TheWorld().lastError = error;
}
