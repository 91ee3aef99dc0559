// CPU drawing into video memory: the blanking rectangle of the start sequence
// and long lines.
#include "controller.h"
#include "physmap.h"
#include "portmem.h"

#include <benchmark/benchmark.h>

namespace {

void screen_1024x768(unsigned char bpp) {
    kova::sim::controller().reset();
    MapKOVAMemory();
    wScreenWidth = 1024;
    wScreenHeight = 768;
    bBpp = bpp;
}

// FillRect(0, 0, 720, 576, 0), the blanking of a PAL-sized window.
void BM_BlankWindow(benchmark::State &state) {
    screen_1024x768(static_cast<unsigned char>(state.range(0)));
    for (auto _ : state) {
        FillRect(0, 0, 720, 576, 0);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 720 * 576);
}
BENCHMARK(BM_BlankWindow)->Arg(16)->Arg(24)->Arg(32);

// A diagonal across the screen: 1023 steps of the single-precision DDA.
void BM_DiagonalLine(benchmark::State &state) {
    screen_1024x768(16);
    for (auto _ : state) {
        DrawLine(0, 0, 1023, 767, 0xFFFF);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_DiagonalLine);

} // namespace
