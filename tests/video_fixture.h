// Pictures of the simulated screen: capview's own stop and start sequences
// in-process with the video model on the raster.
#pragma once

#include "capview.h"
#include "capview_settings.h"
#include "sim_fixture.h"
#include "video/model.h"

#include <cstdlib>
#include <functional>
#include <memory>

namespace video = kova::sim::video;
namespace picture = kova::picture;
using picture::Image;
using picture::Rgb;

inline Rgb at(const Image &image, int x, int y) {
    const std::uint8_t *p = image.row(y) + x * 3;
    return {p[0], p[1], p[2]};
}

inline bool near(Rgb a, Rgb b, int tolerance = 3) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

inline bool white(Rgb p) {
    return p.r >= 250 && p.g >= 250 && p.b >= 250;
}

inline constexpr std::uint32_t kBuffer = 1536 * 1024; // first KiB behind the 1024x768x16 screen

class VideoPicture : public SimTest {
  protected:
    std::unique_ptr<video::Model> model;

    void SetUp() override {
        SimTest::SetUp();
        capview_start_settings();
    }
    void TearDown() override { model.reset(); }

    // capview with the settings that `settings` makes, then `fields` field
    // periods; the screen after them.  The model starts on the first run,
    // with the PAL test pattern unless another source is given.
    Image run(
        const std::function<void()> &settings = [] {}, int fields = 2, bool stop_only = false,
        std::unique_ptr<video::Source> source = nullptr) {
        if (!source) source = video::make_pattern(video::Standard::Pal);
        if (!model) model = std::make_unique<video::Model>(sim, std::move(source));
        settings();
        EXPECT_EQ(DisableOverlay(), 0);
        if (!stop_only) EnableOverlay();
        for (int i = 0; i < fields; ++i)
            sim.next_field();
        return screen();
    }
    Image screen() const {
        Image image;
        model->screen(image);
        return image;
    }
    // A fresh controller and model.
    void restart() {
        model.reset();
        SetUp();
    }
    // The screen when no window was ever shown: the desktop alone.  Restarts.
    Image desktop() {
        Image image = run([] {}, 0, true);
        restart();
        return image;
    }
};
