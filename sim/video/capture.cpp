// The capture engine: one field of the source into video memory.
#include "model.h"

#include <algorithm>
#include <vector>

namespace kova::sim::video {

namespace {

constexpr Yuv kBlack = {16, 128, 128};

} // namespace

FieldResult capture_field(const CaptureState &c, const Frame &frame, int source_field, int field,
                          std::uint8_t *memory, std::uint32_t memory_size) {
    FieldResult result;
    result.written = true;
    if (c.end_pixel <= c.first_pixel || c.end_line <= c.first_line) return result;
    const std::uint32_t source_width = c.end_pixel - c.first_pixel, source_height = c.end_line - c.first_line;
    const std::uint32_t width = scaled_size(source_width, c.h_factor);
    const std::uint32_t height = scaled_size(source_height, c.v_factor);
    const std::uint64_t limit = c.guard_on ? guard_limit(c) : UINT64_MAX;

    std::vector<std::uint32_t> columns(width);
    for (std::uint32_t i = 0; i < width; ++i)
        columns[i] = c.first_pixel + std::min(capture_source_index(i, c.h_factor), source_width - 1);

    for (std::uint32_t j = 0; j < height; ++j) {
        const std::uint32_t field_line =
            c.first_line + std::min(capture_source_index(j, c.v_factor), source_height - 1);
        const std::uint64_t frame_line = 2ull * field_line + static_cast<unsigned>(source_field);
        const bool in_picture = frame_line < static_cast<std::uint64_t>(frame.height);
        const int line = in_picture ? static_cast<int>(frame_line) : 0;
        const std::uint64_t start = capture_line_address(c, field, j);
        for (std::uint32_t i = 0; i < width; ++i) {
            const std::uint64_t at = start + 2ull * i;
            if (at + 2 > limit) {
                result.guard_stop = true;
                return result;
            }
            if (at + 2 > memory_size) break; // past the end of video memory: nothing to write to
            const std::uint32_t x = columns[i];
            const Yuv p = in_picture && x < static_cast<std::uint32_t>(frame.width)
                              ? frame.at(static_cast<int>(x), line)
                              : kBlack;
            memory[at] = p.y;
            memory[at + 1] = i & 1 ? p.v : p.u;
        }
    }
    return result;
}

} // namespace kova::sim::video
