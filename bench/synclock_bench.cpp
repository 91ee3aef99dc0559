// A whole sync lock and its clean-up on the simulated controller: time and
// register accesses per round.
#include "controller.h"
#include "physmap.h"
#include "synclock.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

void BM_SyncLockAndCleanup(benchmark::State &state) {
    auto &sim = kova::sim::controller();
    sim.reset();
    MapKOVAMemory();
    sim.set_recording(false); // count the accesses, keep no trace
    wSyncLock = 0;
    std::uint64_t accesses = 0;
    for (auto _ : state) {
        const std::uint64_t before = sim.access_count();
        Kova_DoSyncLock(0, 0, 3, 1);
        Kova_CleanupSyncLock();
        accesses = sim.access_count() - before;
    }
    state.counters["accesses"] = static_cast<double>(accesses);
    state.counters["accesses/s"] =
        benchmark::Counter(static_cast<double>(accesses * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SyncLockAndCleanup)->Unit(benchmark::kMicrosecond);

} // namespace
