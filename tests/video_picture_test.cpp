// What capview's settings put on the simulated screen: capview's own stop and
// start sequences in-process, the video model on the raster, and pictures
// checked against the test pattern's geometry.
#include "capture.h"
#include "video_fixture.h"

namespace {

TEST_F(VideoPicture, DefaultRunShowsTheBarsInTheWindowAndTheDesktopOutside) {
    const Image desk = desktop();
    const Image image = run();
    ASSERT_EQ(image.width, 1024);
    ASSERT_EQ(image.height, 768);
    for (int bar = 0; bar < video::pattern::kBarCount; ++bar)
        EXPECT_TRUE(near(at(image, bar * 90 + 45, 200), video::pattern::kBars[bar])) << "bar " << bar;
    for (int y = 0; y < image.height; ++y)
        for (int x = y < 576 ? 720 : 0; x < image.width; ++x)
            ASSERT_EQ(at(image, x, y), at(desk, x, y)) << x << "," << y;
    EXPECT_FALSE(at(image, 100, 100) == at(desk, 100, 100));
}

// The white one-pixel frame of the picture lands exactly on these screen
// columns and rows (inclusive).
struct FrameCase {
    const char *name;
    std::function<void()> settings;
    int left, top, right, bottom;
};

void PrintTo(const FrameCase &c, std::ostream *out) {
    *out << c.name;
}

class VideoFrameEdge : public VideoPicture, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(VideoFrameEdge, LiesWhereTheSettingsPutIt) {
    const FrameCase &c = GetParam();
    const Image image = run(c.settings);
    for (int x = c.left; x <= c.right; ++x) {
        ASSERT_TRUE(white(at(image, x, c.top))) << "top edge at x " << x;
        ASSERT_TRUE(white(at(image, x, c.bottom))) << "bottom edge at x " << x;
    }
    for (int y = c.top; y <= c.bottom; ++y) {
        ASSERT_TRUE(white(at(image, c.left, y))) << "left edge at y " << y;
        ASSERT_TRUE(white(at(image, c.right, y))) << "right edge at y " << y;
    }
    const int middle = (c.top + c.bottom) / 2, centre = (c.left + c.right) / 2;
    EXPECT_TRUE(c.left == 0 || !white(at(image, c.left - 1, middle)));
    EXPECT_TRUE(c.top == 0 || !white(at(image, centre, c.top - 1)));
    EXPECT_FALSE(white(at(image, c.right + 1, middle)));
    EXPECT_FALSE(white(at(image, centre, c.bottom + 1)));
    EXPECT_FALSE(white(at(image, c.left + 1, middle)));
    EXPECT_FALSE(white(at(image, centre, c.top + 1)));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, VideoFrameEdge,
    ::testing::Values(FrameCase{"Default", [] {}, 0, 0, 719, 575},
                      FrameCase{"Offset", [] { offsetX = 100, offsetY = 50; }, 100, 50, 819, 625},
                      // 710 x 570 pictures in the window (5,3)-(715,573).
                      FrameCase{"Shrink", [] { shrinkX = 10, shrinkY = 6; }, 5, 3, 714, 572},
                      FrameCase{"ShrinkAndOffset",
                                [] { shrinkX = 10, shrinkY = 6, offsetX = 200, offsetY = 100; }, 205, 103,
                                914, 672}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(VideoPicture, BitclipShiftsTheSourceLeftByItsPixels) {
    const Image plain = run();
    restart();
    const Image cut = run([] { bitclipWidth = 8; });
    for (int y : {0, 100, 300, 400, 520, 575}) {
        for (int x = 0; x < 712; ++x)
            ASSERT_EQ(at(cut, x, y), at(plain, x + 8, y)) << x << "," << y;
        for (int x = 712; x < 720; ++x) // past the active picture
            ASSERT_TRUE(at(cut, x, y) == (Rgb{0, 0, 0})) << x << "," << y;
    }
}

TEST_F(VideoPicture, BobAndWeaveDifferExactlyWhereTheFieldsDiffer) {
    const Image weave = run();
    restart();
    const Image bob = run([] { overlayMode = 1; });
    const int field = model->last_field();
    ASSERT_GE(field, 0);
    const auto l = video::pattern::layout(video::Standard::Pal);
    long marker_differences = 0;
    for (int y = 0; y < 576; ++y)
        for (int x = 0; x < 720; ++x) {
            // BOB shows line y / 2 of the field captured last: the frame line
            // that WEAVE shows at 2 (y / 2) + field.
            ASSERT_EQ(at(bob, x, y), at(weave, x, y / 2 * 2 + field)) << x << "," << y;
            const bool in_marker = x >= l.marker_x0 && x < l.marker_x1 && y >= l.marker_y0 && y < l.marker_y1;
            const bool edge_row = y <= 1 || y >= 574;
            if (!(at(bob, x, y) == at(weave, x, y))) {
                ASSERT_TRUE(in_marker || edge_row) << x << "," << y;
                marker_differences += in_marker;
            } else {
                ASSERT_FALSE(in_marker && y % 2 != field) << x << "," << y;
            }
        }
    EXPECT_EQ(marker_differences, (l.marker_x1 - l.marker_x0) * (l.marker_y1 - l.marker_y0) / 2);
}

TEST_F(VideoPicture, DoubleBufferingShowsTheBuffersInTurn) {
    run([] { bDoubleBuf = 1; }, 0);
    const auto l = video::pattern::layout(video::Standard::Pal);
    Image previous;
    for (int frame = 0; frame < 4; ++frame) {
        sim.next_field();
        const Image image = screen();
        // Each buffer holds one field: the marker is solid in the colour of
        // the field shown.
        const Rgb marker = model->last_field() == 0 ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
        for (int y = l.marker_y0; y < l.marker_y1; ++y)
            ASSERT_TRUE(near(at(image, (l.marker_x0 + l.marker_x1) / 2, y), marker)) << frame << ": " << y;
        EXPECT_TRUE(frame == 0 || image.rgb != previous.rgb) << frame;
        previous = image;
    }
    EXPECT_EQ(model->fields_captured(), 4u);
}

TEST_F(VideoPicture, BlankingClearsTheDesktopUnderTheWindow) {
    const Image desk = desktop();
    const Image image = run([] { bBlank = 1, shrinkX = 100, shrinkY = 100; });
    for (int y = 0; y < 600; y += 3)
        for (int x = 0; x < 760; x += 3) {
            const bool window = x >= 50 && x < 670 && y >= 50 && y < 526;
            const bool cleared = x < 720 && y < 576;
            if (window) continue;
            const Rgb expected = cleared ? Rgb{0, 0, 0} : at(desk, x, y);
            ASSERT_EQ(at(image, x, y), expected) << x << "," << y;
        }
}

TEST_F(VideoPicture, StopOnlyRunLeavesNoWindow) {
    const Image desk = desktop();
    run();
    EXPECT_NE(screen().rgb, desk.rgb);
    const Image stopped = run([] {}, 2, true);
    EXPECT_EQ(stopped.rgb, desk.rgb);
    const auto captured = model->fields_captured();
    sim.next_field();
    EXPECT_EQ(model->fields_captured(), captured); // capture stopped too
}

TEST_F(VideoPicture, GuardInsideTheBufferStopsCaptureThereAndIsCounted) {
    run([] {}, 0);
    const std::uint32_t guard = kBuffer + 1440 * 100 + 720; // halfway along buffer line 100
    Kova_SetCapSafeGuardAddr(guard);
    std::uint8_t *memory = sim.video_memory();
    std::fill(memory + kBuffer, memory + kBuffer + 720 * 576 * 2, 0xAA);
    sim.next_field();
    sim.next_field();
    EXPECT_EQ(model->fields_captured(), 2u);
    EXPECT_EQ(model->guard_stops(), 2u);
    EXPECT_TRUE(std::none_of(memory + kBuffer, memory + guard, [](std::uint8_t b) { return b == 0xAA; }));
    EXPECT_TRUE(std::all_of(memory + guard, memory + kBuffer + 720 * 576 * 2,
                            [](std::uint8_t b) { return b == 0xAA; }));
}

// Without a picture to show, the model counts what a drawing one counts
// (fields, captures, guard stops) and leaves video memory as the program
// left it.
TEST_F(VideoPicture, CountsWithoutPixelsMatchAndTouchNothing) {
    for (const std::uint32_t guard : {kBuffer + 1440 * 100 + 720, 0x400000u}) {
        std::uint64_t counts[2][3];
        for (const auto pixels : {video::Model::Pixels::Drawn, video::Model::Pixels::CountsOnly}) {
            restart();
            model = std::make_unique<video::Model>(sim, video::make_pattern(video::Standard::Pal), pixels);
            const int n = pixels == video::Model::Pixels::Drawn ? 0 : 1;
            EXPECT_EQ(video_pages_in_use(sim) == 0, n == 1); // no desktop without pixels
            run([] {}, 0);
            Kova_SetCapSafeGuardAddr(guard);
            const std::uint8_t *memory = sim.video_memory();
            const std::vector<std::uint8_t> before(memory, memory + kova::sim::Controller::kVideoMemorySize);
            for (int i = 0; i < 3; ++i)
                sim.next_field();
            counts[n][0] = model->fields(), counts[n][1] = model->fields_captured();
            counts[n][2] = model->guard_stops();
            // Capview's own writes only: no captured pixels.
            EXPECT_EQ(std::equal(before.begin(), before.end(), memory), n == 1);
        }
        EXPECT_EQ(counts[0][1], 3u);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(counts[0][i], counts[1][i]) << guard;
    }
}

TEST_F(VideoPicture, DefaultGuardLetsTheWholeBufferBeWritten) {
    run();
    EXPECT_EQ(model->fields_captured(), 2u);
    EXPECT_EQ(model->guard_stops(), 0u);
}

// The frame buffer at every depth: the desktop comes back through the
// display's decoding, the window still shows the bars.
struct DepthCase {
    std::uint8_t code; // GR 77
    int tolerance;     // of the desktop's background colour; -1: the buffer covers the screen
};

class VideoDepth : public VideoPicture, public ::testing::WithParamInterface<DepthCase> {};

TEST_P(VideoDepth, DesktopAndWindowShowAtEveryDepth) {
    sim.set(kova::registers::Reg::gr(0x77), GetParam().code);
    const Image image = run();
    EXPECT_TRUE(GetParam().tolerance < 0 || near(at(image, 900, 100), {40, 96, 144}, GetParam().tolerance));
    EXPECT_TRUE(near(at(image, 45 + 90, 200), video::pattern::kBars[1]));
}

INSTANTIATE_TEST_SUITE_P(Depths, VideoDepth,
                         ::testing::Values(DepthCase{0x00, -1}, DepthCase{0x01, 12}, DepthCase{0x02, 4},
                                           DepthCase{0x03, 0}, DepthCase{0x04, 0}));

} // namespace
