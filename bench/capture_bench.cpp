// Cost of the capture engine's bounded sync wait on the simulated controller.
#include "capture.h"
#include "controller.h"
#include "physmap.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

using kova::registers::Reg;

// Sends standard output to /dev/null while alive, so that the wait's warning
// lines do not flood the benchmark report.
class SilencedStdout {
  public:
    SilencedStdout() {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~SilencedStdout() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    SilencedStdout(const SilencedStdout &) = delete;
    SilencedStdout &operator=(const SilencedStdout &) = delete;

  private:
    int saved_;
};

// The worst case of one WaitVSync: the sync-status bit stays 0 for the whole
// first phase and then 1 for the whole second phase, so both phases give up
// after 100,001 reads each (200,002 reads and two warnings per wait).  The
// argument says whether the simulated controller records its trace.
void BM_WaitVSyncBothPhasesTimeOut(benchmark::State &state) {
    auto &sim = kova::sim::controller();
    sim.reset();
    MapKOVAMemory();
    sim.set_recording(state.range(0) != 0);
    std::uint64_t reads = 0;
    {
        SilencedStdout silenced;
        for (auto _ : state) {
            state.PauseTiming();
            sim.clear_trace();
            sim.clear_read_scripts();
            sim.on_read(Reg::gr(0x43, 0x03), [](std::uint16_t, std::uint64_t n) -> std::uint16_t {
                return n <= 100001 ? 0x00 : 0x80;
            });
            const std::uint64_t before = sim.access_count();
            state.ResumeTiming();

            WaitVSync();

            state.PauseTiming();
            reads += sim.access_count() - before - 3; // less the three bank and index stores
            state.ResumeTiming();
        }
    }
    if (reads != 200002 * static_cast<std::uint64_t>(state.iterations()))
        state.SkipWithError("WaitVSync did not make 200,002 status reads");
    state.counters["status reads"] = benchmark::Counter(static_cast<double>(reads) / state.iterations());
    sim.set_recording(true);
}
BENCHMARK(BM_WaitVSyncBothPhasesTimeOut)->ArgName("traced")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The same wait with the bit stuck at 0, as the hardware shows it without a
// video clock: 100,001 reads in the first phase and one in the second.
void BM_WaitVSyncStuckBit(benchmark::State &state) {
    auto &sim = kova::sim::controller();
    sim.reset();
    MapKOVAMemory();
    sim.stick_bits(Reg::gr(0x43, 0x03), 0x80, 0x00);
    SilencedStdout silenced;
    for (auto _ : state) {
        WaitVSync();
        state.PauseTiming();
        sim.clear_trace();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WaitVSyncStuckBit)->Unit(benchmark::kMillisecond);

} // namespace
