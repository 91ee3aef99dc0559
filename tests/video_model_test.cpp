// The video model's parts on their own: line decoding, and what the capture
// engine and the display do at the edges of video memory and of the screen.
#include "video/model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

namespace video = kova::sim::video;
using video::Rgb;

// Whole lines (the fast path) decode like pixel by pixel, for both 4:2:2
// byte orders, odd starts, and lines cut short.
TEST(VideoDecode, LinesOf422AgreeWithThePixelFormula) {
    std::vector<std::uint8_t> line(64);
    for (std::size_t i = 0; i < line.size(); ++i)
        line[i] = static_cast<std::uint8_t>(i * 37 + 11);
    const struct {
        std::uint8_t format;
        int y_at, u_at, v_at;
    } orders[] = {{0, 0, 1, 3}, {6, 1, 0, 2}};
    const struct {
        std::uint32_t first;
        int n;
        std::uint32_t available;
    } runs[] = {{0, 16, 64}, {1, 15, 64}, {3, 10, 64}, {0, 16, 30}, {5, 12, 24}};
    for (const auto &o : orders)
        for (const auto &r : runs) {
            std::vector<std::uint32_t> columns;
            for (int i = 0; i < r.n; ++i)
                columns.push_back(r.first + static_cast<std::uint32_t>(i));
            std::vector<std::uint8_t> out(static_cast<std::size_t>(r.n) * 3);
            video::decode_row(o.format, line.data(), r.available, columns.data(), r.n, out.data());
            for (int i = 0; i < r.n; ++i) {
                const std::uint32_t x = columns[static_cast<std::size_t>(i)], pair = x / 2 * 4;
                const Rgb expected = pair + 4 > r.available
                                         ? Rgb{0, 0, 0}
                                         : video::yuv_to_rgb({line[pair + o.y_at + 2 * (x & 1)],
                                                              line[pair + o.u_at], line[pair + o.v_at]});
                const Rgb got{out[3 * i], out[3 * i + 1], out[3 * i + 2]};
                ASSERT_EQ(got, expected)
                    << "format " << int(o.format) << " first " << r.first << " pixel " << x;
            }
        }
}

TEST(VideoDecode, RgbFormatsAndFetchLimit) {
    const std::uint8_t line[8] = {0x1F, 0x7C, 0xE0, 0x07, 0x10, 0x20, 0x30, 0x40};
    const std::uint32_t columns[2] = {0, 1};
    const struct {
        std::uint8_t format;
        std::uint32_t available;
        Rgb first, second;
    } cases[] = {
        {1, 8, {255, 0, 255}, {8, 255, 0}},   // 5:5:5: 0x7C1F, 0x07E0
        {2, 8, {123, 130, 255}, {0, 255, 0}}, // 5:6:5
        {3, 8, {0xE0, 0x7C, 0x1F}, {0x20, 0x10, 0x07}},
        {4, 8, {0xE0, 0x7C, 0x1F}, {0x30, 0x20, 0x10}},
        {7, 8, {0x1F, 0x1F, 0x1F}, {0x7C, 0x7C, 0x7C}},
        {4, 7, {0xE0, 0x7C, 0x1F}, {0, 0, 0}}, // the second pixel is not fetched
    };
    for (const auto &c : cases) {
        std::uint8_t out[6];
        video::decode_row(c.format, line, c.available, columns, 2, out);
        EXPECT_EQ((Rgb{out[0], out[1], out[2]}), c.first) << int(c.format);
        EXPECT_EQ((Rgb{out[3], out[4], out[5]}), c.second) << int(c.format);
    }
}

kova::sim::CaptureState capture_at(std::uint32_t destination) {
    kova::sim::CaptureState c{};
    c.enabled = true;
    c.first_pixel = 0, c.end_pixel = 720, c.first_line = 0, c.end_line = 288;
    c.destination = destination, c.pitch = 720;
    c.h_factor = c.v_factor = 0x1000;
    c.field_scaling = true;
    return c;
}

// A buffer that runs past the end of video memory is written up to the end
// and no further (the sanitizers watch the rest).
TEST(VideoCapture, StopsAtTheEndOfVideoMemory) {
    constexpr std::uint32_t kSize = kova::sim::Controller::kVideoMemorySize;
    std::vector<std::uint8_t> memory(kSize, 0xAA);
    auto source = video::make_pattern(video::Standard::Pal);
    const std::uint32_t start = kSize - 1440 * 10 - 100;
    const video::FieldResult result =
        video::capture_field(capture_at(start), source->frame(0), 0, 0, memory.data(), kSize);
    EXPECT_TRUE(result.written);
    EXPECT_FALSE(result.guard_stop);
    // Field lines 0-4 fit, line 5 starts 100 bytes before the end; the odd
    // lines between them belong to the other field.
    EXPECT_NE(memory[start + 4 * 2880], 0xAA);
    EXPECT_EQ(memory[start + 4 * 2880 + 1440], 0xAA);
    EXPECT_EQ(memory[kSize - 101], 0xAA);
    EXPECT_NE(memory[kSize - 100], 0xAA);
    EXPECT_NE(memory[kSize - 1], 0xAA);
}

TEST(VideoCapture, GuardBelowTheDestinationStopsAtOnce) {
    std::vector<std::uint8_t> memory(0x200000, 0xAA);
    auto source = video::make_pattern(video::Standard::Pal);
    kova::sim::CaptureState c = capture_at(0x100000);
    c.guard_on = true, c.guard = 0x80000;
    const video::FieldResult result =
        video::capture_field(c, source->frame(0), 0, 0, memory.data(), 0x200000);
    EXPECT_TRUE(result.guard_stop);
    EXPECT_EQ(std::count(memory.begin(), memory.end(), 0xAA), 0x200000);
}

// A window partly off the screen, partly past the fetch count and partly past
// the end of video memory shows black where there is nothing to read.
TEST(VideoDisplay, WindowsAtTheEdgesOfScreenFetchAndMemory) {
    constexpr std::uint32_t kSize = 0x100000, kSource = kSize - 32 * 8; // 8 source lines fit
    std::vector<std::uint8_t> memory(kSize, 0xFF);                      // a white 5:6:5 desktop
    for (std::uint32_t at = kSource; at < kSize; at += 2)
        memory[at] = 0x1F, memory[at + 1] = 0x00; // blue 5:6:5 source
    const kova::sim::DisplayState display{64, 32, 16, 128};
    video::OverlayView views[2] = {};
    kova::sim::OverlayState &o = views[0].state;
    o.on = true, o.format = 2;
    o.left = -8, o.top = -4, o.right = 16, o.bottom = 8; // shows source columns 8-23, lines 4-11
    o.source = kSource, o.pitch = 32, o.fetch = 2;       // 16 bytes fetched: columns 0-7
    o.h_factor = o.v_factor = 0x1000;
    video::Image screen;
    video::compose(display, views, 0, memory.data(), kSize, screen);
    const auto pixel = [&](int x, int y) {
        const std::uint8_t *p = screen.row(y) + x * 3;
        return Rgb{p[0], p[1], p[2]};
    };
    const Rgb black{0, 0, 0}, white{255, 255, 255}, blue{0, 0, 255};
    EXPECT_EQ(pixel(0, 0), black); // column 8: past the fetch
    o.fetch = 4;                   // 32 bytes: columns 0-15
    video::compose(display, views, 0, memory.data(), kSize, screen);
    EXPECT_EQ(pixel(0, 0), blue);
    EXPECT_EQ(pixel(7, 3), blue);
    EXPECT_EQ(pixel(8, 0), black); // column 16: past the fetch
    EXPECT_EQ(pixel(0, 4), black); // line 8: past the end of memory
    EXPECT_EQ(pixel(15, 7), black);
    EXPECT_EQ(pixel(16, 0), white); // the desktop beside and below
    EXPECT_EQ(pixel(0, 8), white);
}

} // namespace
