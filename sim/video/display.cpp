// The display: the frame buffer with the overlay windows over it, and the
// power-on desktop picture.
#include "model.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

namespace kova::sim::video {

namespace {

// The part of the screen a window covers; empty when it is off.
struct Area {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

Area screen_area(const DisplayState &d, const OverlayState &o) {
    if (!o.on) return {};
    const Span across = window_span(o.left, o.right), down = window_span(o.top, o.bottom);
    Area a{std::max(across.first, 0), std::max(down.first, 0),
           std::min(across.end, static_cast<int>(d.width)), std::min(down.end, static_cast<int>(d.height))};
    if (a.x0 >= a.x1 || a.y0 >= a.y1) return {};
    return a;
}

void draw_window(const DisplayState &d, const OverlayView &view, const std::uint8_t *memory,
                 std::uint32_t memory_size, picture::Image &out) {
    const OverlayState &o = view.state;
    const Area area = screen_area(d, o);
    if (area.x0 == area.x1) return;
    const Span across = window_span(o.left, o.right), down = window_span(o.top, o.bottom);
    const int x0 = area.x0, x1 = area.x1, y0 = area.y0, y1 = area.y1;

    std::vector<std::uint32_t> columns(static_cast<std::size_t>(x1 - x0));
    for (int x = x0; x < x1; ++x)
        columns[static_cast<std::size_t>(x - x0)] =
            overlay_source_index(static_cast<std::uint32_t>(x - across.first), o.h_factor);
    const std::uint32_t fetched = o.fetch * decode::kOverlayPitchUnit;
    const std::size_t left = static_cast<std::size_t>(x0) * 3, bytes = static_cast<std::size_t>(x1 - x0) * 3;
    std::uint64_t previous = ~std::uint64_t{0};
    for (int y = y0; y < y1; ++y) {
        const std::uint32_t line =
            overlay_source_index(static_cast<std::uint32_t>(y - down.first), o.v_factor);
        const std::uint64_t at = overlay_line_address(o, view.shift, view.bob_field, line);
        // A source line shown again (scaled up, or BOB): the pixels of the line above.
        if (at == previous) {
            std::memcpy(out.row(y) + left, out.row(y - 1) + left, bytes);
            continue;
        }
        previous = at;
        const std::uint32_t available =
            at >= memory_size
                ? 0
                : std::min<std::uint32_t>(fetched, static_cast<std::uint32_t>(memory_size - at));
        picture::decode_row(o.format, memory + (available ? at : 0), available, columns.data(), x1 - x0,
                            out.row(y) + left);
    }
}

// The frame buffer's pixels [first, end) of line y, whose bytes start at
// `line`: decoded, or, where `reuse` says the line above shows the same
// pixels of the frame buffer and their bytes are the same, copied from it
// (desktops repeat their lines).
void frame_buffer_pixels(const DisplayState &d, const std::uint8_t *line, int y, int first, int end,
                         bool reuse, picture::Image &out) {
    if (first >= end) return;
    const std::size_t from = static_cast<std::size_t>(first) * d.bpp / 8;
    const std::size_t to = (static_cast<std::size_t>(end) * d.bpp + 7) / 8;
    if (reuse && std::memcmp(line + from, line - d.pitch + from, to - from) == 0) {
        const std::size_t left = static_cast<std::size_t>(first) * 3;
        std::memcpy(out.row(y) + left, out.row(y - 1) + left, static_cast<std::size_t>(end - first) * 3);
        return;
    }
    picture::decode_screen_row(d.bpp, line, first, end, out.row(y));
}

// Lines whose pixels desktop_colour() makes alike: within the taskbar its top
// line, the button's lines and the rest; above it, whether an icon and the
// grid cross the line.
constexpr int kDesktopLineKinds = 7;

int desktop_line_kind(const DisplayState &d, int y) {
    const int taskbar = d.height - 28;
    if (y >= taskbar) return y == taskbar ? 0 : y >= taskbar + 4 && y < d.height - 4 ? 1 : 2;
    bool icon = false;
    for (int i = 0; i < 4; ++i)
        icon |= y >= 24 + 80 * i && y < 24 + 80 * i + 40;
    return 3 + (icon ? 2 : 0) + (y % 64 == 0 ? 1 : 0);
}

picture::Rgb desktop_colour(const DisplayState &d, int x, int y) {
    const int taskbar = d.height - 28;
    if (y >= taskbar) {
        if (y == taskbar) return {224, 224, 224};
        if (x >= 4 && x < 68 && y >= taskbar + 4 && y < d.height - 4) return {0, 128, 64};
        return {192, 192, 192};
    }
    for (int icon = 0; icon < 4; ++icon) {
        const int top = 24 + 80 * icon;
        if (x >= 24 && x < 64 && y >= top && y < top + 40) return {230, 200, 80};
    }
    if (x % 64 == 0 || y % 64 == 0) return {70, 120, 170};
    return {40, 96, 144};
}

} // namespace

void compose(const DisplayState &d, const OverlayView views[2], int on_top, const std::uint8_t *memory,
             std::uint32_t memory_size, picture::Image &out) {
    if (out.width != d.width || out.height != d.height) out.reset(d.width, d.height);
    // The frame buffer, except where a window will cover it.
    const Area covered[2] = {screen_area(d, views[0].state), screen_area(d, views[1].state)};
    unsigned previous_cover = ~0u;
    for (int y = 0; y < d.height; ++y) {
        const std::uint64_t at = static_cast<std::uint64_t>(y) * d.pitch;
        if (at + d.pitch > memory_size) {
            std::fill_n(out.row(y), static_cast<std::size_t>(d.width) * 3, 0);
            continue;
        }
        Area spans[2];
        int n = 0;
        unsigned cover = 0; // the windows that cross the line
        for (int i = 0; i < 2; ++i)
            if (y >= covered[i].y0 && y < covered[i].y1) spans[n++] = covered[i], cover |= 1u << i;
        if (n == 2 && spans[1].x0 < spans[0].x0) std::swap(spans[0], spans[1]);
        // The line above shows the frame buffer where this one does.
        const bool reuse = cover == previous_cover;
        previous_cover = cover;
        int x = 0;
        for (int i = 0; i < n; ++i) {
            frame_buffer_pixels(d, memory + at, y, x, spans[i].x0, reuse, out);
            x = std::max(x, spans[i].x1);
        }
        frame_buffer_pixels(d, memory + at, y, x, d.width, reuse, out);
    }
    draw_window(d, views[on_top ? 0 : 1], memory, memory_size, out);
    draw_window(d, views[on_top ? 1 : 0], memory, memory_size, out);
}

void paint_desktop(const DisplayState &d, std::uint8_t *memory, std::uint32_t memory_size) {
    // A line of the desktop is one of a few kinds; each kind is drawn once
    // and copied to the other lines of its kind (unless lines overlap or
    // share a byte).
    const std::size_t line_bytes =
        (static_cast<std::size_t>(d.width) * static_cast<std::size_t>(d.bpp) + 7) / 8;
    const bool copy_lines = d.pitch >= line_bytes && d.width * d.bpp % 8 == 0; // whole bytes, apart
    int drawn[kDesktopLineKinds];
    std::fill(std::begin(drawn), std::end(drawn), -1);
    for (int y = 0; y < d.height; ++y) {
        const std::uint64_t at = static_cast<std::uint64_t>(y) * d.pitch;
        if (at + d.pitch > memory_size) break;
        const int kind = desktop_line_kind(d, y);
        if (copy_lines && drawn[kind] >= 0) {
            std::memcpy(memory + at, memory + static_cast<std::uint64_t>(drawn[kind]) * d.pitch, line_bytes);
            continue;
        }
        for (int x = 0; x < d.width; ++x)
            picture::encode_screen_pixel(d.bpp, memory + at, x, desktop_colour(d, x, y));
        drawn[kind] = y;
    }
}

} // namespace kova::sim::video
