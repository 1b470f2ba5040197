// The two walks on the simulated platform: platform calls, heap allocations
// and peak heap per entry as the tree grows. The allocations include the
// simulation's own (its call log and listings), which dominate them.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdlib>
#include <new>
#include <string>

#include "folder/directory_tree.h"
#include "sim/sim_control.h"
#include "support/delete_at.h"

namespace {
size_t allocations = 0;
size_t liveBytes = 0;
size_t peakBytes = 0;
}  // namespace

void* operator new(size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  ++allocations;
  liveBytes += malloc_usable_size(block);
  if (liveBytes > peakBytes) peakBytes = liveBytes;
  return block;
}

void operator delete(void* block) noexcept {
  if (block) liveBytes -= malloc_usable_size(block);
  std::free(block);
}

#include "support/other_new_forms.h"

void operator delete(void* block, size_t) noexcept {
  operator delete(block);
}

namespace {

// `directories` directories of ten files each, in one folder.
size_t StageFolder(const std::wstring& folder, int directories) {
  for (int d = 0; d < directories; ++d) {
    const std::wstring directory = folder + L"\\Dir" + std::to_wstring(d);
    for (int f = 0; f < 10; ++f) sim::MakeFile(directory + L"\\File" + std::to_wstring(f) + L".dat");
  }
  return static_cast<size_t>(directories) * 11;
}

void Report(benchmark::State& state, size_t entries, size_t calls, size_t allocated, size_t peak) {
  state.counters["calls/entry"] = static_cast<double>(calls) / entries;
  state.counters["allocs/entry"] = static_cast<double>(allocated) / entries;
  state.counters["peak KiB"] = static_cast<double>(peak) / 1024;
}

void DeleteTree(benchmark::State& state) {
  const std::wstring folder = L"C:\\Game\\Telvarine";
  for (auto _ : state) {
    state.PauseTiming();
    sim::Reset();
    const size_t entries = StageFolder(folder, static_cast<int>(state.range(0)));
    sim::ClearCalls();
    const size_t before = allocations;
    peakBytes = liveBytes;
    const size_t base = liveBytes;
    state.ResumeTiming();
    benchmark::DoNotOptimize(DeleteDirectoryAt(folder));
    state.PauseTiming();
    Report(state, entries, sim::Calls().size(), allocations - before, peakBytes - base);
    state.ResumeTiming();
  }
}

bool KeepSearching(HANDLE, const ListedEntry&, const WidePath&, void*) {
  return true;
}

void SearchTree(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    sim::Reset();
    const size_t entries = StageFolder(L"C:\\Game\\data", static_cast<int>(state.range(0)));
    sim::ClearCalls();
    const size_t before = allocations;
    peakBytes = liveBytes;
    const size_t base = liveBytes;
    state.ResumeTiming();
    benchmark::DoNotOptimize(SearchDirectoryTree(nullptr, L"C:\\Game", KeepSearching));
    state.PauseTiming();
    Report(state, entries, sim::Calls().size(), allocations - before, peakBytes - base);
    state.ResumeTiming();
  }
}

}  // namespace

BENCHMARK(DeleteTree)->Arg(100)->Arg(1000)->Arg(10000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(SearchTree)->Arg(100)->Arg(1000)->Arg(10000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
