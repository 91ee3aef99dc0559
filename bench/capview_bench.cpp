// capview's stop and start sequences on the simulated controller: register
// accesses per run and the time of a run (option parsing aside, this is what
// `kovasim` and `kovasim -s 3` do).
#include "capview.h"
#include "controller.h"
#include "synclock.h"

#include <benchmark/benchmark.h>

namespace {

void run_capview(benchmark::State &state, bool synclock) {
    auto &sim = kova::sim::controller();
    std::uint64_t accesses = 0;
    for (auto _ : state) {
        state.PauseTiming();
        sim.reset();
        wSyncLock = 0; // as in a new process: no lock of its own to undo
        destWidth = 720;
        bSynclock = synclock ? 1 : 0;
        tvMode = 3;
        state.ResumeTiming();
        DisableOverlay();
        EnableOverlay();
        accesses = sim.access_count();
    }
    state.counters["register_accesses"] = static_cast<double>(accesses);
}

void BM_CapviewDefault(benchmark::State &state) {
    run_capview(state, false);
}
void BM_CapviewSyncLockMode3(benchmark::State &state) {
    run_capview(state, true);
}

BENCHMARK(BM_CapviewDefault)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CapviewSyncLockMode3)->Unit(benchmark::kMicrosecond);

} // namespace
