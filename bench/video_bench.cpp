// The video model's speed: one captured PAL field, and one composed
// 1024x768 screen with a 720x576 overlay window, each beside a plain copy of
// the same bytes (the memory bandwidth limit); and what a live view costs a
// field: the field brought through the capture engine and the screen
// composed.  Goals: a composed screen within 3 times its copy, at least 5,000
// captured fields per second, a field brought and composed in under 1 ms.
#include "capview.h"
#include "controller.h"
#include "video/model.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

namespace video = kova::sim::video;
namespace picture = kova::picture;

constexpr std::uint32_t kBuffer = 1536 * 1024;
constexpr std::uint32_t kMemory = kova::sim::Controller::kVideoMemorySize;

// A PAL field of 720 x 288 into a 720-pixel pitch, 1:1, as capview sets it.
kova::sim::CaptureState pal_capture() {
    kova::sim::CaptureState c{};
    c.enabled = true;
    c.first_pixel = 0, c.end_pixel = 720, c.first_line = 0, c.end_line = 288;
    c.destination = kBuffer, c.pitch = 720;
    c.h_factor = c.v_factor = 0x1000;
    c.field_scaling = true;
    return c;
}

void rate(benchmark::State &state, std::size_t bytes) {
    state.counters["per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// The plain copy of as many bytes: what a conversion costs beyond it.
void copy_bytes(benchmark::State &state, std::size_t bytes) {
    std::vector<std::uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    rate(state, bytes);
}

void BM_CapturePalField(benchmark::State &state) {
    std::vector<std::uint8_t> memory(kMemory);
    auto source = video::make_pattern(video::Standard::Pal);
    const video::Frame &frame = source->frame(0);
    const kova::sim::CaptureState capture = pal_capture();
    int field = 0;
    for (auto _ : state) {
        video::capture_field(capture, frame, field, field, memory.data(), kMemory);
        field ^= 1;
        benchmark::DoNotOptimize(memory.data());
    }
    rate(state, 720 * 288 * 2);
}
BENCHMARK(BM_CapturePalField);

void BM_CopyPalField(benchmark::State &state) {
    copy_bytes(state, 720 * 288 * 2);
}
BENCHMARK(BM_CopyPalField);

void BM_ComposeScreen(benchmark::State &state) {
    std::vector<std::uint8_t> memory(kMemory);
    const kova::sim::DisplayState display{1024, 768, 16, 2048};
    video::paint_desktop(display, memory.data(), kMemory);
    auto source = video::make_pattern(video::Standard::Pal);
    for (int field = 0; field < 2; ++field)
        video::capture_field(pal_capture(), source->frame(0), field, field, memory.data(), kMemory);
    video::OverlayView views[2] = {};
    kova::sim::OverlayState &o = views[0].state;
    o.on = true;
    o.left = 0, o.top = 0, o.right = 720, o.bottom = 576;
    o.source = kBuffer, o.pitch = 1440, o.fetch = 180;
    o.h_factor = o.v_factor = 0x1000;
    picture::Image screen;
    for (auto _ : state) {
        video::compose(display, views, 0, memory.data(), kMemory, screen);
        benchmark::DoNotOptimize(screen.rgb.data());
    }
    rate(state, 1024 * 768 * 3);
}
BENCHMARK(BM_ComposeScreen);

void BM_CopyScreen(benchmark::State &state) {
    copy_bytes(state, 1024 * 768 * 3);
}
BENCHMARK(BM_CopyScreen);

// capview's default run (live video in a 720x576 window on the 1024x768
// screen), then one field after another as the viewer shows them.
void BM_FieldBroughtAndComposed(benchmark::State &state) {
    auto &sim = kova::sim::controller();
    sim.reset();
    destWidth = 720;
    tvMode = 3;
    DisableOverlay();
    EnableOverlay();
    video::Model model(sim, video::make_pattern(video::Standard::Pal));
    picture::Image screen;
    for (auto _ : state) {
        sim.next_field();
        model.screen(screen);
        benchmark::DoNotOptimize(screen.rgb.data());
    }
    if (model.fields_captured() != model.fields() || screen.width != 1024 || screen.height != 768)
        state.SkipWithError("capview's default run did not capture every field into a 1024x768 screen");
    state.counters["per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FieldBroughtAndComposed)->Unit(benchmark::kMicrosecond);

} // namespace
