// The video model's parts on their own: line decoding, and what the capture
// engine and the display do at the edges of video memory and of the screen.
#include "video/model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

namespace video = kova::sim::video;
namespace picture = kova::picture;
using picture::Rgb;

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
            picture::decode_row(o.format, line.data(), r.available, columns.data(), r.n, out.data());
            for (int i = 0; i < r.n; ++i) {
                const std::uint32_t x = columns[static_cast<std::size_t>(i)], pair = x / 2 * 4;
                const Rgb expected = pair + 4 > r.available
                                         ? Rgb{0, 0, 0}
                                         : picture::yuv_to_rgb({line[pair + o.y_at + 2 * (x & 1)],
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
        picture::decode_row(c.format, line, c.available, columns, 2, out);
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
    picture::Image screen;
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

// Lines that repeat the line above, wholly or beside a window only, and
// windows that show a source line twice compose as if every pixel were
// decoded on its own, at every depth.
TEST(VideoDisplay, RepeatedLinesComposeLikeEachPixelDecoded) {
    constexpr std::uint32_t kSize = 0x10000, kPitch = 256, kSource = 0x8000;
    std::vector<std::uint8_t> memory(kSize);
    for (std::uint32_t at = 0; at < kSize; ++at) // lines in pairs, and a source of distinct lines
        memory[at] =
            static_cast<std::uint8_t>(at < kSource ? (at / kPitch / 2) * 7 + at % kPitch * 3 : at * 5);
    memory[9 * kPitch + 20] ^= 0x5A; // line 9 differs from line 8 under window 0 only
    memory[13 * kPitch + 1] ^= 0x5A; // line 13 differs from line 12 left of them
    video::OverlayView views[2] = {};
    for (int w = 0; w < 2; ++w) {
        kova::sim::OverlayState &o = views[w].state;
        o.on = true, o.source = kSource + 64u * w, o.pitch = 128, o.fetch = 16;
        o.h_factor = 0x1000, o.v_factor = w == 0 ? 0x800 : 0x1000; // window 0: each line twice
        o.left = static_cast<std::int16_t>(4 + 20 * w), o.top = static_cast<std::int16_t>(6 + 6 * w);
        o.right = static_cast<std::int16_t>(o.left + 24), o.bottom = static_cast<std::int16_t>(o.top + 12);
    }
    for (const int bpp : {4, 8, 16, 32}) {
        SCOPED_TRACE(bpp);
        const kova::sim::DisplayState display{64, 24, static_cast<std::uint8_t>(bpp), kPitch};
        picture::Image screen;
        video::compose(display, views, 1, memory.data(), kSize, screen);
        std::vector<std::uint8_t> line(64 * 3);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 64; ++x) {
                const kova::sim::OverlayState *shown = nullptr;
                for (const video::OverlayView &v : views) // window 1 on top
                    if (x >= v.state.left && x < v.state.right && y >= v.state.top && y < v.state.bottom)
                        shown = &v.state;
                if (shown == nullptr) {
                    picture::decode_screen_row(bpp, memory.data() + y * kPitch, x, x + 1, line.data());
                } else {
                    const std::uint32_t column = static_cast<std::uint32_t>(x - shown->left);
                    const std::uint64_t at = video::overlay_line_address(
                        *shown, 0, 0, video::overlay_source_index(y - shown->top, shown->v_factor));
                    picture::decode_row(0, memory.data() + at, 128, &column, 1, line.data() + 3 * x);
                }
                ASSERT_TRUE(std::equal(line.data() + 3 * x, line.data() + 3 * x + 3, screen.row(y) + 3 * x))
                    << x << "," << y;
            }
    }
}

} // namespace

namespace {

// The engine pixel by pixel, checking guard and memory at every pixel: what
// the per-line spans must write.
video::FieldResult capture_per_pixel(const kova::sim::CaptureState &c, const video::Frame &frame, int field,
                                     std::uint8_t *memory, std::uint32_t memory_size) {
    video::FieldResult result{true, false};
    const std::uint32_t sw = c.end_pixel - c.first_pixel, sh = c.end_line - c.first_line;
    const std::uint64_t limit = c.guard_on ? video::guard_limit(c) : UINT64_MAX;
    for (std::uint32_t j = 0; j < kova::decode::capture_size(sh, c.v_factor); ++j) {
        const std::uint32_t line =
            2 * (c.first_line + std::min(video::capture_source_index(j, c.v_factor), sh - 1)) +
            static_cast<std::uint32_t>(field);
        for (std::uint32_t i = 0; i < kova::decode::capture_size(sw, c.h_factor); ++i) {
            const std::uint64_t at = kova::decode::capture_line_offset(c, field, j) + 2ull * i;
            if (at + 2 > limit) return result.guard_stop = true, result;
            if (at + 2 > memory_size) break;
            const std::uint32_t x =
                c.first_pixel + std::min(video::capture_source_index(i, c.h_factor), sw - 1);
            const bool inside = line < static_cast<std::uint32_t>(frame.height) &&
                                x < static_cast<std::uint32_t>(frame.width);
            const picture::Yuv p =
                inside ? frame.at(static_cast<int>(x), static_cast<int>(line)) : picture::Yuv{16, 128, 128};
            memory[at] = p.y, memory[at + 1] = i & 1 ? p.v : p.u;
        }
    }
    return result;
}

} // namespace

// Captures by spans write what the engine writes pixel by pixel, and the
// geometry alone reports the same guard stops: scaled, odd first pixels,
// windows past the picture, guards inside a line and the end of memory.
TEST(VideoCapture, SpansAndReachAgreeWithThePixelByPixelEngine) {
    constexpr std::uint32_t kSize = 0x200000;
    struct Case {
        std::uint32_t first_pixel, end_pixel, end_line;
        std::uint16_t h_factor, v_factor;
        std::uint32_t destination;
        bool guard_on;
        std::uint32_t guard;
    } cases[] = {
        {0, 720, 288, 0x1000, 0x1000, 0x100000, false, 0},
        {1, 720, 288, 0x1000, 0x1000, 0x100001, false, 0},
        {100, 700, 300, 0x0800, 0x0C00, 0x100000, false, 0},
        {3, 720, 288, 0x1800, 0x1000, 0x100000, false, 0},
        {600, 900, 320, 0x1000, 0x1000, 0x100000, false, 0},
        {0, 720, 288, 0x1000, 0x1000, 0x100000, true, 0x100000 + 2880 * 50 + 701},
        {0, 720, 288, 0x1000, 0x1000, kSize - 2880 * 10 - 99, false, 0},
        {0, 720, 288, 0x1000, 0x1000, kSize - 2880 * 10, true, kSize - 8},
        {0, 720, 288, 0x1000, 0x1000, kSize - 2880 * 10, true, kSize + 64},
    };
    auto source = video::make_pattern(video::Standard::Pal);
    for (const Case &k : cases) {
        kova::sim::CaptureState c = capture_at(k.destination);
        c.first_pixel = k.first_pixel, c.end_pixel = k.end_pixel, c.end_line = k.end_line;
        c.h_factor = k.h_factor, c.v_factor = k.v_factor, c.guard_on = k.guard_on, c.guard = k.guard;
        for (int field = 0; field < 2; ++field) {
            std::vector<std::uint8_t> spans(kSize, 0xAA), pixels(kSize, 0xAA);
            const auto a = video::capture_field(c, source->frame(0), field, field, spans.data(), kSize);
            const auto b = capture_per_pixel(c, source->frame(0), field, pixels.data(), kSize);
            const auto reach = video::field_reach(c, field, kSize);
            EXPECT_EQ(a.guard_stop, b.guard_stop) << k.first_pixel << " " << k.destination;
            EXPECT_EQ(reach.guard_stop, b.guard_stop) << k.first_pixel << " " << k.destination;
            const auto differ = std::mismatch(spans.begin(), spans.end(), pixels.begin());
            EXPECT_TRUE(differ.first == spans.end())
                << k.first_pixel << " " << k.destination << " field " << field << " at "
                << (differ.first - spans.begin()) << ": " << int(*differ.first) << " vs "
                << int(*differ.second);
        }
    }
}
