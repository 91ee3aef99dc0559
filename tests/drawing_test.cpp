// The screen environment and CPU drawing into the simulated video memory.
#include "screen_registers.h"

#include <algorithm>
#include <set>
#include <utility>

namespace {

using kova::registers::Reg;
using Pixel = std::pair<int, int>;
using Pixels = std::set<Pixel>;

class Drawing : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        map();
        wScreenWidth = 0;
        wScreenHeight = 0;
        bBpp = 0;
    }
    std::uint8_t *vram() { return sim.video_memory(); }
    void screen(unsigned short width, unsigned short height, unsigned char bpp) {
        wScreenWidth = width;
        wScreenHeight = height;
        bBpp = bpp;
    }
    // The non-zero pixels of an 8-bit screen.
    Pixels plotted() {
        Pixels pixels;
        for (int y = 0; y < wScreenHeight; ++y)
            for (int x = 0; x < wScreenWidth; ++x)
                if (vram()[y * wScreenWidth + x] != 0) pixels.insert({x, y});
        return pixels;
    }
    std::size_t nonzero_bytes() {
        return kova::sim::Controller::kVideoMemorySize -
               std::count(vram(), vram() + kova::sim::Controller::kVideoMemorySize, 0);
    }
};

// ---------------------------------------------------------------- environment

TEST_F(Drawing, EnvironmentReadsTheModeRegistersInOrder) {
    set_screen(sim, k640x480x16);
    SetEnvironmentVariables();
    EXPECT_EQ(wScreenWidth, 640);
    EXPECT_EQ(wScreenHeight, 480);
    EXPECT_EQ(bBpp, 16);
    EXPECT_EQ(ops(), display_end_reads(k640x480x16) + reg_read(GR, 0x77, 0x02));
}

TEST_F(Drawing, EnvironmentUsesTheOverflowBits) {
    set_screen(sim, {0x3F, 0x02, 0xFF, 0x40, 0x00, 0x03}); // 2560 x 768 at depth code 3
    SetEnvironmentVariables();
    EXPECT_EQ(wScreenWidth, 2560);
    EXPECT_EQ(wScreenHeight, 768);
    EXPECT_EQ(bBpp, 32);
    set_screen(sim, {0x00, 0x00, 0x00, 0x02, 0x02, 0x04}); // 256 + 1024 + 1 lines at depth code 4
    SetEnvironmentVariables();
    EXPECT_EQ(wScreenWidth, 8);
    EXPECT_EQ(wScreenHeight, 1281);
    EXPECT_EQ(bBpp, 24);
}

TEST_F(Drawing, EnvironmentDepthCodes) {
    const unsigned expected[8] = {4, 8, 16, 32, 24, 4, 16, 4};
    for (unsigned code = 0; code < 8; ++code) {
        sim.set(Reg::gr(0x77), static_cast<std::uint8_t>(0xF8 | code));
        SetEnvironmentVariables();
        EXPECT_EQ(bBpp, expected[code]) << "code " << code;
    }
}

TEST_F(Drawing, FrameBufferPointerIsTheMappedVideoMemory) {
    EXPECT_EQ(GetFrameBufferPtr(), vram());
    EXPECT_TRUE(trace().empty());
}

// ---------------------------------------------------------------- pixels

TEST_F(Drawing, PixelsAreStoredLeastSignificantByteFirst) {
    screen(100, 50, 24);
    DrawPixel(3, 2, 0xAB123456); // byte (2 * 100 + 3) * 3 = 609
    EXPECT_EQ(vram()[609], 0x56);
    EXPECT_EQ(vram()[610], 0x34);
    EXPECT_EQ(vram()[611], 0x12);
    EXPECT_EQ(nonzero_bytes(), 3u); // bits 31..24 are not written

    screen(100, 50, 32);
    DrawPixel(1, 1, 0xAB123456); // byte 404
    EXPECT_EQ(vram()[404], 0x56);
    EXPECT_EQ(vram()[405], 0x34);
    EXPECT_EQ(vram()[406], 0x12);
    EXPECT_EQ(vram()[407], 0xAB);

    screen(100, 50, 16);
    DrawPixel(0, 3, 0xAB123456); // byte 600
    EXPECT_EQ(vram()[600], 0x56);
    EXPECT_EQ(vram()[601], 0x34);
    EXPECT_EQ(vram()[602], 0x00);

    screen(100, 50, 8);
    DrawPixel(7, 4, 0xAB123456); // byte 407 again
    EXPECT_EQ(vram()[407], 0x56);
    EXPECT_EQ(nonzero_bytes(), 3u + 4u + 2u);
    EXPECT_TRUE(trace().empty()); // frame-buffer stores are no register accesses
}

TEST_F(Drawing, FourBitDepthDrawsNothing) {
    set_screen(sim, {0x4F, 0x00, 0xDF, 0x02, 0x00, 0x05});
    SetEnvironmentVariables();
    ASSERT_EQ(bBpp, 4);
    DrawPixel(5, 5, 0xFFFFFFFF);
    DrawLine(0, 0, 100, 37, 0xFFFFFFFF);
    FillRect(1, 1, 640, 480, 0xFFFFFFFF);
    EXPECT_EQ(nonzero_bytes(), 0u);
}

TEST_F(Drawing, NothingIsDrawnBeforeTheEnvironmentIsRead) {
    DrawPixel(5, 5, 0xFF);
    FillRect(0, 0, 10, 10, 0xFF);
    EXPECT_EQ(nonzero_bytes(), 0u);
}

// ---------------------------------------------------------------- lines

TEST_F(Drawing, LineWithCoincidingEndsIsOnePixel) {
    screen(32, 32, 8);
    DrawLine(7, 9, 7, 9, 1);
    EXPECT_EQ(plotted(), (Pixels{{7, 9}}));
}

TEST_F(Drawing, ReversedHorizontalLineCoversBothEnds) {
    screen(32, 32, 8);
    DrawLine(10, 5, 0, 5, 1);
    Pixels expected;
    for (int x = 0; x <= 10; ++x)
        expected.insert({x, 5});
    EXPECT_EQ(plotted(), expected);
}

TEST_F(Drawing, HalfwayCoordinatesGoToTheHigherPixel) {
    screen(32, 32, 8);
    DrawLine(0, 0, 3, 1, 1);
    EXPECT_EQ(plotted(), (Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    std::fill(vram(), vram() + 32 * 32, 0);
    DrawLine(0, 0, 2, 1, 1); // y = 0.5 at x = 1
    EXPECT_EQ(plotted(), (Pixels{{0, 0}, {1, 1}, {2, 1}}));
    std::fill(vram(), vram() + 32 * 32, 0);
    DrawLine(0, 0, 14, 1, 1); // seven steps of 1/14 sum to exactly 0.5 in single precision
    EXPECT_EQ(plotted(), (Pixels{{0, 0},
                                 {1, 0},
                                 {2, 0},
                                 {3, 0},
                                 {4, 0},
                                 {5, 0},
                                 {6, 0},
                                 {7, 1},
                                 {8, 1},
                                 {9, 1},
                                 {10, 1},
                                 {11, 1},
                                 {12, 1},
                                 {13, 1},
                                 {14, 1}}));
}

TEST_F(Drawing, SinglePrecisionAccumulationDecidesThePixels) {
    screen(32, 32, 8);
    // Steps of 1/6: after 3 steps exactly 0.5 (up to 1), after 9 steps the
    // float sum is 1.4999999 where the exact value 1.5 would round up: (9, 1).
    DrawLine(0, 0, 12, 2, 1);
    EXPECT_EQ(plotted(), (Pixels{{0, 0},
                                 {1, 0},
                                 {2, 0},
                                 {3, 1},
                                 {4, 1},
                                 {5, 1},
                                 {6, 1},
                                 {7, 1},
                                 {8, 1},
                                 {9, 1},
                                 {10, 2},
                                 {11, 2},
                                 {12, 2}}));
    std::fill(vram(), vram() + 32 * 32, 0);
    // Steps of 5/6: after 9 steps the float sum is 7.5000005 (up to 8), where a
    // double accumulation gives 7.4999999 (7).
    DrawLine(0, 0, 12, 10, 1);
    EXPECT_EQ(plotted(), (Pixels{{0, 0},
                                 {1, 1},
                                 {2, 2},
                                 {3, 3},
                                 {4, 3},
                                 {5, 4},
                                 {6, 5},
                                 {7, 6},
                                 {8, 7},
                                 {9, 8},
                                 {10, 8},
                                 {11, 9},
                                 {12, 10}}));
}

TEST_F(Drawing, SteepLinesStepAlongY) {
    screen(32, 32, 8);
    DrawLine(3, 12, 0, 0, 1); // x steps of -1/4: x = 2.5 at y = 10 goes to 3
    EXPECT_EQ(plotted(), (Pixels{{3, 12},
                                 {3, 11},
                                 {3, 10},
                                 {2, 9},
                                 {2, 8},
                                 {2, 7},
                                 {2, 6},
                                 {1, 5},
                                 {1, 4},
                                 {1, 3},
                                 {1, 2},
                                 {0, 1},
                                 {0, 0}}));
}

TEST_F(Drawing, LinesBelow2048EndOnTheirEndPoint) {
    screen(2048, 2048, 8); // all 4 MiB
    const int ends[][4] = {{0, 0, 2047, 1365}, {0, 0, 2047, 2046}, {2047, 0, 0, 2047},
                           {2047, 2047, 3, 1}, {5, 2047, 2047, 6}, {100, 7, 1999, 2043},
                           {0, 0, 1999, 7},    {1234, 0, 1, 2047}, {2047, 1000, 0, 1001},
                           {1, 2, 1536, 2047}};
    int colour = 1;
    for (const auto &e : ends) {
        for (int k = 0; k < 40; ++k, ++colour) {
            // Fan out from each end pair so that many slopes are tried.
            const int x1 = std::clamp(e[2] - 37 * k * (e[2] > e[0] ? 1 : -1), 0, 2047);
            const int y1 = std::clamp(e[3] - 11 * k * (e[3] > e[1] ? 1 : -1), 0, 2047);
            std::uint8_t &end = vram()[y1 * 2048 + x1];
            end = 0;
            DrawLine(static_cast<unsigned short>(e[0]), static_cast<unsigned short>(e[1]),
                     static_cast<unsigned short>(x1), static_cast<unsigned short>(y1),
                     static_cast<unsigned>(colour % 255 + 1));
            ASSERT_EQ(end, colour % 255 + 1) << e[0] << "," << e[1] << " to " << x1 << "," << y1;
        }
    }
}

TEST_F(Drawing, LinePixelsUseTheScreenDepth) {
    screen(16, 16, 24);
    DrawLine(1, 1, 3, 1, 0x00C0FFEE);
    for (int x = 1; x <= 3; ++x) {
        const int at = (16 + x) * 3;
        EXPECT_EQ(vram()[at], 0xEE);
        EXPECT_EQ(vram()[at + 1], 0xFF);
        EXPECT_EQ(vram()[at + 2], 0xC0);
    }
    EXPECT_EQ(nonzero_bytes(), 9u);
}

// ---------------------------------------------------------------- rectangles

TEST_F(Drawing, EmptyRectanglesWriteNothing) {
    screen(64, 64, 32);
    FillRect(5, 5, 5, 10, 0xFFFFFFFF);
    FillRect(5, 5, 10, 5, 0xFFFFFFFF);
    FillRect(10, 5, 5, 10, 0xFFFFFFFF);
    FillRect(5, 10, 10, 5, 0xFFFFFFFF);
    EXPECT_EQ(nonzero_bytes(), 0u);
}

TEST_F(Drawing, RectangleIsHalfOpen) {
    screen(16, 16, 8);
    FillRect(2, 3, 5, 5, 7);
    Pixels expected;
    for (int y = 3; y < 5; ++y)
        for (int x = 2; x < 5; ++x)
            expected.insert({x, y});
    EXPECT_EQ(plotted(), expected);
}

TEST_F(Drawing, BlankingRectangleClearsEachRowAtThePitch) {
    set_screen(sim, {0x7F, 0x00, 0xFF, 0x40, 0x00, 0x02}); // 1024 x 768 x 16
    SetEnvironmentVariables();
    const std::uint32_t pitch = 1024 * 2;
    std::fill(vram(), vram() + pitch * 768, 0xFF);
    FillRect(0, 0, 720, 576, 0);
    for (std::uint32_t y = 0; y < 577; ++y) {
        const std::uint8_t *row = vram() + y * pitch;
        const std::uint8_t *row_end = row + pitch;
        const std::uint8_t *left = y < 576 ? row + 720 * 2 : row; // where the cleared bytes end
        ASSERT_TRUE(std::all_of(row, left, [](std::uint8_t b) { return b == 0x00; })) << "row " << y;
        ASSERT_TRUE(std::all_of(left, row_end, [](std::uint8_t b) { return b == 0xFF; })) << "row " << y;
    }
}

TEST_F(Drawing, WideRectanglePixelsAreWrittenLowByteFirst) {
    screen(10, 10, 24);
    FillRect(3, 1, 5, 3, 0xAB123456); // a row starts at an odd byte: (10 + 3) * 3 = 39
    for (int y = 1; y < 3; ++y)
        for (int x = 3; x < 5; ++x) {
            const int at = (y * 10 + x) * 3;
            EXPECT_EQ(vram()[at], 0x56);
            EXPECT_EQ(vram()[at + 1], 0x34);
            EXPECT_EQ(vram()[at + 2], 0x12);
        }
    EXPECT_EQ(nonzero_bytes(), 2u * 2 * 3);

    std::fill(vram(), vram() + 1024, 0);
    screen(10, 10, 32);
    FillRect(9, 0, 10, 2, 0xAB123456);
    for (int at : {36, 76}) {
        EXPECT_EQ(vram()[at], 0x56);
        EXPECT_EQ(vram()[at + 1], 0x34);
        EXPECT_EQ(vram()[at + 2], 0x12);
        EXPECT_EQ(vram()[at + 3], 0xAB);
    }
    EXPECT_EQ(nonzero_bytes(), 8u);
}

// ---------------------------------------------------------------- byte copies

TEST_F(Drawing, BlockTransferCopiesForwardByteByByte) {
    const unsigned char source[] = {1, 2, 3, 4, 5};
    BitBlockTransfer(source, vram() + 100, 5);
    EXPECT_TRUE(std::equal(source, source + 5, vram() + 100));
    EXPECT_EQ(nonzero_bytes(), 5u);
    BitBlockTransfer(source, vram() + 200, 0);
    EXPECT_EQ(nonzero_bytes(), 5u);
    // Overlapping forward: the first byte runs through the whole range.
    BitBlockTransfer(vram() + 100, vram() + 101, 4);
    const unsigned char smeared[] = {1, 1, 1, 1, 1};
    EXPECT_TRUE(std::equal(smeared, smeared + 5, vram() + 100));
}

} // namespace
