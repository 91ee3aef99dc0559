// capview's stop and start sequences driven in-process, where the frame
// buffer (which the trace does not show) matters: blanking the window area.
#include "capview.h"
#include "capview_settings.h"
#include "sim_fixture.h"

#include <algorithm>

namespace {

using kova::registers::Reg;

class CapviewSequence : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        // The settings as capview starts with them.
        capview_start_settings();
        std::fill_n(sim.video_memory(), kova::sim::Controller::kVideoMemorySize, 0xFF);
    }

    // Bytes of video memory from `offset` that are still 0xFF.
    bool untouched(std::size_t offset, std::size_t count) const {
        return std::all_of(sim.video_memory() + offset, sim.video_memory() + offset + count,
                           [](std::uint8_t b) { return b == 0xFF; });
    }
    bool cleared(std::size_t offset, std::size_t count) const {
        return std::all_of(sim.video_memory() + offset, sim.video_memory() + offset + count,
                           [](std::uint8_t b) { return b == 0x00; });
    }
};

TEST_F(CapviewSequence, BlankingClearsTheWindowAreaAfterCaptureHasStarted) {
    bBlank = 1;
    // Watch the frame buffer while capture start-up waits for its vertical syncs.
    bool cleared_before_capture_start = false;
    sim.on_read(Reg::gr(0x43, 0x03), [&](std::uint16_t natural, std::uint64_t) {
        cleared_before_capture_start |= sim.video_memory()[0] == 0x00;
        return natural;
    });
    ASSERT_EQ(DisableOverlay(), 0);
    EnableOverlay();
    EXPECT_FALSE(cleared_before_capture_start);

    const std::size_t row = 1024 * 2;
    EXPECT_TRUE(cleared(0, 720 * 2));
    EXPECT_TRUE(untouched(720 * 2, row - 720 * 2)); // right of the window
    EXPECT_TRUE(cleared(575 * row, 720 * 2));
    EXPECT_TRUE(untouched(576 * row, row)); // below the window
}

TEST_F(CapviewSequence, WithoutBlankingTheScreenIsLeftAlone) {
    ASSERT_EQ(DisableOverlay(), 0);
    EnableOverlay();
    EXPECT_TRUE(untouched(0, kova::sim::Controller::kVideoMemorySize));
}

TEST_F(CapviewSequence, BlankingIsClippedToTheScreen) {
    // 640x480 at 16 bits per pixel, and a window larger than the screen.
    sim.set(Reg::cr(0x01), 0x4F);
    sim.set(Reg::cr(0x12), 0xDF);
    sim.set(Reg::cr(0x07), 0x02);
    bBlank = 1;
    destWidth = 1920;
    destHeight = 1080;
    ASSERT_EQ(DisableOverlay(), 0);
    const std::size_t registers_before = sim.access_count();
    EnableOverlay();
    EXPECT_GT(sim.access_count(), registers_before);

    const std::size_t row = 640 * 2;
    EXPECT_TRUE(cleared(0, 480 * row));
    EXPECT_TRUE(untouched(480 * row, kova::sim::Controller::kVideoMemorySize - 480 * row));
}

TEST_F(CapviewSequence, BlankingStaysInsideTheMappedFrameBuffer) {
    // 2560x768 at 32 bits per pixel is 7.5 MiB: only the first 4 MiB are mapped.
    sim.set(Reg::cr(0x01), 0x3F);
    sim.set(Reg::cr(0x53), 0x02);
    sim.set(Reg::gr(0x77), 0x03);
    bBlank = 1;
    destWidth = 1920;
    destHeight = 1080;
    ASSERT_EQ(DisableOverlay(), 0);
    EnableOverlay();

    const std::size_t row = 2560 * 4;
    const std::size_t rows = kova::sim::Controller::kVideoMemorySize / row; // 409 whole rows fit
    EXPECT_TRUE(cleared((rows - 1) * row, 1920 * 4));
    EXPECT_TRUE(untouched((rows - 1) * row + 1920 * 4, row - 1920 * 4));
    EXPECT_TRUE(untouched(rows * row, kova::sim::Controller::kVideoMemorySize - rows * row));
}

TEST_F(CapviewSequence, ZeroSizesDoNotCrash) {
    srcWidth = 0;
    srcHeight = 1;
    destWidth = 0;
    destHeight = 0;
    ASSERT_EQ(DisableOverlay(), 0);
    EnableOverlay();
    destWidth = 720;
    destHeight = 576;
    EnableOverlay();
    SUCCEED();
}

} // namespace
