// The capture engine: one field of the source into video memory.
#include "model.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if KOVA_HAVE_LIBYUV
#include <libyuv/planar_functions.h>
#endif

namespace kova::sim::video {

namespace {

constexpr picture::Yuv kBlack = {16, 128, 128};

// The field's size on the engine's output.
struct FieldSize {
    std::uint32_t source_width = 0, source_height = 0, width = 0, height = 0;
};

FieldSize field_size(const CaptureState &c) {
    if (c.end_pixel <= c.first_pixel || c.end_line <= c.first_line) return {};
    const std::uint32_t w = c.end_pixel - c.first_pixel, h = c.end_line - c.first_line;
    return {w, h, decode::capture_size(w, c.h_factor), decode::capture_size(h, c.v_factor)};
}

// The pixels of output line j that are written: all up to the guard and the
// end of video memory.  A line the guard cuts short ends the field.
struct LineSpan {
    std::uint64_t start = 0;
    std::uint32_t pixels = 0;
    bool guard_stop = false;
};

// Pixels of a line starting at `start` whose last byte lies before `end`.
std::uint64_t room(std::uint64_t start, std::uint64_t end) {
    return end >= start + 2 ? (end - start) / 2 : 0;
}

LineSpan line_span(const CaptureState &c, int field, std::uint32_t j, std::uint32_t width,
                   std::uint32_t memory_size) {
    // Pixel by pixel the engine checks the guard first, then the end of
    // memory, which ends only the line.
    LineSpan span;
    span.start = decode::capture_line_offset(c, field, j);
    const std::uint64_t guard = c.guard_on ? room(span.start, guard_limit(c)) : UINT64_MAX;
    const std::uint64_t memory = room(span.start, memory_size);
    span.pixels = static_cast<std::uint32_t>(std::min<std::uint64_t>({width, guard, memory}));
    span.guard_stop = guard < width && guard <= memory;
    return span;
}

// Pixels [0, n) of a line, the source pixel of each in columns; columns at or
// past frame_width are black.
void pack_line(const Frame &frame, int line, const std::uint32_t *columns, std::uint32_t n,
               std::uint32_t contiguous, std::uint8_t *out) {
    const std::uint8_t *y = frame.y_row(line), *cb = frame.cb_row(line), *cr = frame.cr_row(line);
    std::uint32_t i = 0;
#if KOVA_HAVE_LIBYUV
    // One source pixel per output pixel from an even column: the library's packing.
    if (contiguous >= 2 && columns[0] % 2 == 0) {
        const std::uint32_t pairs = std::min(n, contiguous) / 2 * 2;
        libyuv::I422ToYUY2(y + columns[0], 0, cb + columns[0] / 2, 0, cr + columns[0] / 2, 0, out, 0,
                           static_cast<int>(pairs), 1);
        i = pairs;
    }
#else
    if (contiguous >= 2 && columns[0] % 2 == 0) {
        const std::uint32_t pairs = std::min(n, contiguous) / 2 * 2;
        const std::uint8_t *py = y + columns[0], *pu = cb + columns[0] / 2, *pv = cr + columns[0] / 2;
        for (std::uint32_t k = 0; k < pairs / 2; ++k)
            out[4 * k] = py[2 * k], out[4 * k + 1] = pu[k], out[4 * k + 2] = py[2 * k + 1],
                    out[4 * k + 3] = pv[k];
        i = pairs;
    }
#endif
    for (; i < n; ++i) {
        const std::uint32_t x = columns[i];
        const bool inside = x < static_cast<std::uint32_t>(frame.width);
        out[2 * i] = inside ? y[x] : kBlack.y;
        out[2 * i + 1] = inside ? (i & 1 ? cr[x / 2] : cb[x / 2]) : kBlack.u;
    }
}

void black_line(std::uint32_t n, std::uint8_t *out) {
    for (std::uint32_t i = 0; i < n; ++i)
        out[2 * i] = kBlack.y, out[2 * i + 1] = kBlack.u;
}

} // namespace

FieldResult field_reach(const CaptureState &c, int field, std::uint32_t memory_size) {
    FieldResult result;
    result.written = true;
    const FieldSize s = field_size(c);
    for (std::uint32_t j = 0; j < s.height; ++j)
        if (line_span(c, field, j, s.width, memory_size).guard_stop) {
            result.guard_stop = true;
            break;
        }
    return result;
}

FieldResult capture_field(const CaptureState &c, const Frame &frame, int source_field, int field,
                          std::uint8_t *memory, std::uint32_t memory_size) {
    FieldResult result;
    result.written = true;
    const FieldSize s = field_size(c);
    if (s.width == 0 || s.height == 0) return result;

    std::vector<std::uint32_t> columns(s.width);
    std::uint32_t contiguous = 0; // leading columns that are frame columns one after another
    for (std::uint32_t i = 0; i < s.width; ++i) {
        columns[i] = c.first_pixel + std::min(capture_source_index(i, c.h_factor), s.source_width - 1);
        if (contiguous == i && columns[i] == columns[0] + i &&
            columns[i] < static_cast<std::uint32_t>(frame.width))
            ++contiguous;
    }

    for (std::uint32_t j = 0; j < s.height; ++j) {
        const LineSpan span = line_span(c, field, j, s.width, memory_size);
        const std::uint32_t field_line =
            c.first_line + std::min(capture_source_index(j, c.v_factor), s.source_height - 1);
        const std::uint64_t frame_line = 2ull * field_line + static_cast<unsigned>(source_field);
        std::uint8_t *out = memory + span.start;
        if (span.pixels == 0) {
            // nothing of this line lies inside
        } else if (frame_line < static_cast<std::uint64_t>(frame.height)) {
            pack_line(frame, static_cast<int>(frame_line), columns.data(), span.pixels, contiguous, out);
        } else {
            black_line(span.pixels, out);
        }
        if (span.guard_stop) {
            result.guard_stop = true;
            return result;
        }
    }
    return result;
}

} // namespace kova::sim::video
