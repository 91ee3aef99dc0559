#include "assumptions.h"

namespace kova::sim::video {

std::uint32_t overlay_buffer_shift(int window, const CaptureState &c, int last_field) {
    if (window != 0 || !c.double_buffer || last_field != 1) return 0;
    return c.back_buffer - c.destination;
}

std::uint64_t overlay_line_address(const OverlayState &o, std::uint32_t shift, int bob_field,
                                   std::uint32_t line) {
    const std::uint64_t start = static_cast<std::uint32_t>(o.source + shift);
    if (o.bob) return start + (2ull * line + static_cast<unsigned>(bob_field)) * o.pitch;
    return start + static_cast<std::uint64_t>(line) * o.pitch;
}

} // namespace kova::sim::video
