// Throughput of the simulated controller: traced register accesses per second.
#include "controller.h"
#include "misc.h"
#include "physmap.h"
#include "portmem.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <string>

namespace {

void map_fresh_controller() {
    kova::sim::controller().reset();
    MapKOVAMemory();
}

// A mix of what the engines do: byte writes and reads on the index pairs,
// masked writes, 16-bit index/data stores and TV register accesses.
void traced_accesses(benchmark::State &state) {
    auto &sim = kova::sim::controller();
    for (auto _ : state) {
        Out_Video_Reg(0xFA, 0x00);
        Out_Video_Reg_M(0xE5, 0x04, 0xFB);
        benchmark::DoNotOptimize(ReadReg(0x3C4, 0x4F));
        kovaoutpw(0x3D4, 0x1234);
        WriteTVReg(0xE430, 0x5678);
        benchmark::DoNotOptimize(ReadTVReg(0xE430));
        benchmark::DoNotOptimize(kovainp(0x3DA));
        // 11 accesses per iteration; keep the trace from growing without bound.
        if (sim.events().size() > (1u << 22)) sim.clear_trace();
    }
    state.SetItemsProcessed(state.iterations() * 11);
    state.counters["accesses/s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * 11), benchmark::Counter::kIsRate);
}

void BM_TracedRegisterAccesses(benchmark::State &state) {
    map_fresh_controller();
    traced_accesses(state);
}
BENCHMARK(BM_TracedRegisterAccesses);

// The same on a virtual card: every store goes to the shared mapping.
void BM_TracedRegisterAccessesOnCard(benchmark::State &state) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kova-bench-card";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directory(dir);
    std::string error;
    auto card = kova::sim::Card::open((dir / "card").string(), {}, error);
    if (!card) {
        state.SkipWithError(error.c_str());
        return;
    }
    auto &sim = kova::sim::controller();
    sim.attach(std::move(card));
    map_fresh_controller();
    traced_accesses(state);
    sim.detach();
    map_fresh_controller(); // the library's mapping back on the controller's own storage
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_TracedRegisterAccessesOnCard);

void BM_FormatTrace(benchmark::State &state) {
    map_fresh_controller();
    auto &sim = kova::sim::controller();
    for (int i = 0; i < 10000; ++i)
        Out_Video_Reg(static_cast<unsigned char>(i), static_cast<unsigned char>(i >> 8));
    for (auto _ : state)
        benchmark::DoNotOptimize(sim.trace_text());
    state.SetItemsProcessed(state.iterations() * static_cast<long>(sim.events().size()));
}
BENCHMARK(BM_FormatTrace);

} // namespace
