// What the controller's registers mean, each computed once (the aperture
// layout is in aperture.h): the screen mode, the video memory, the chip
// identity, the clock synthesiser and the overlay and capture geometry.  The
// library, the state decoder behind kovactl status and kovasim's summary, the
// simulated controller and its video model all compute these values here.
//
// Header only and constexpr: the hardware object modules that include it gain
// no data, no constructors and no symbols.  Reading the registers stays with
// the callers, each in its own order.
#pragma once

#include <array>
#include <cstdint>

#include "aperture.h"
#include "register_map.h"
#include "utility.h"

namespace kova::decode {

// ---------------------------------------------------------------------------
// Screen mode: CRT display-end registers and the GR 77 depth code.

// Horizontal display end plus one, in character clocks of 8 pixels.
constexpr std::uint16_t visible_width(std::uint8_t cr01, std::uint8_t cr53) {
    return static_cast<std::uint16_t>((cr01 + 256u * reg::kExtendedHorizontal.field().extract(cr53)) * 8u +
                                      8u);
}

// Vertical display end plus one.
constexpr std::uint16_t visible_height(std::uint8_t cr12, std::uint8_t cr07, std::uint8_t gr11) {
    return static_cast<std::uint16_t>(cr12 + 256u * reg::overflow::kVde8.extract(cr07) +
                                      512u * reg::overflow::kVde9.extract(cr07) +
                                      1024u * reg::kExtendedVertical.field().extract(gr11) + 1u);
}

// Depth code of GR 77 to bits per pixel: code 3 is 32 bits and code 4 is 24;
// codes 2 and 6 are both 16; codes 0, 5 and 7 are 4.
constexpr std::uint8_t bits_per_pixel(std::uint8_t gr77) {
    switch (reg::kPixelDepth.field().extract(gr77)) {
    case 1:
        return 8;
    case 2:
    case 6:
        return 16;
    case 3:
        return 32;
    case 4:
        return 24;
    default:
        return 4;
    }
}

// ---------------------------------------------------------------------------
// Video memory: the GR 72 size code and bus width.

// Size code 0 is 1 MiB, code n is 2n MiB.
constexpr unsigned video_memory_mib(std::uint8_t gr72) {
    const unsigned code = reg::memory_config::kSizeCode.extract(gr72);
    return code == 0 ? 1u : 2u * code;
}

constexpr bool wide_bus(std::uint8_t gr72) {
    return reg::memory_config::kWideBus.extract(gr72) != 0;
}

// ---------------------------------------------------------------------------
// Chip identity.

inline constexpr std::uint16_t kNoChipId = 0xFFFF;
inline constexpr std::uint16_t kLastEarlierGeneration = 7;

// Identifiers above 7 (kNoChipId included) are the later generation.
constexpr bool later_generation(std::uint16_t id) {
    return id > kLastEarlierGeneration;
}

// The chip without an identifier: GR 91's revision field reads 0, and a second
// read of it (read_again, made only then) reads all ones.
template <typename ReadAgain>
constexpr bool no_chip_id(std::uint8_t gr91, ReadAgain read_again) {
    constexpr reg::Field revision = reg::kChipRevision.field();
    return revision.extract(gr91) == 0 && revision.extract(read_again()) == revision.mask() >> revision.shift;
}

// ---------------------------------------------------------------------------
// Clocks in MHz.

// The clock select code of port 0x3CC that runs the pixel clock from the
// synthesiser; codes 0 and 1 are fixed clocks, code 2 is no clock.
inline constexpr unsigned kSynthesisedClock = 3;

constexpr double fixed_pixel_clock(unsigned select) {
    return select == 0 ? 25.175 : select == 1 ? 28.322 : KOVA_CLOCK_NONE;
}

// Synthesiser output for the N byte, the M/post-divider byte and the high
// bits: reference * (feedback + 1) / (post divider * (reference divider + 1)).
constexpr double synthesiser_mhz(std::uint8_t n, std::uint8_t m, std::uint8_t h, bool later) {
    using namespace reg::clock;
    constexpr double kEarlierReference = 1431818.0; // 14.31818 MHz in 10 Hz units
    constexpr double kLaterReference = 2457600.0;   // 24.576 MHz in 10 Hz units
    constexpr double kTenHzPerMHz = 100000.0;
    constexpr std::array<double, 8> kLaterDivisors{1, 2, 4, 6, 8, 0, 0, 0}; // 0: no divisor
    constexpr std::array<double, 4> kEarlierDivisors{1, 2, 4, 8};
    const double feedback = n + 256.0 * kFeedbackHigh.extract(h);
    const double reference_divider = kReferenceLow.extract(m) + 32.0 * kReferenceHigh.extract(h);
    const double post_divider =
        later ? kLaterDivisors[kPostDivider.extract(m) | kPostDividerHigh.extract(h) << 2]
              : kEarlierDivisors[kPostDivider.extract(m)];
    if (post_divider == 0) return KOVA_CLOCK_NO_DIVISOR;
    const double reference = later ? kLaterReference : kEarlierReference;
    return reference * (feedback + 1) / (post_divider * (reference_divider + 1)) / kTenHzPerMHz;
}

// ---------------------------------------------------------------------------
// Engine addresses and geometry.

// Scale factors of both engines are 4.12 fixed point.
inline constexpr std::uint32_t kScaleOne = 0x1000;

// Start addresses of both engines are in 4-byte units; the capture and guard
// addresses are 20-bit fields of them.
inline constexpr std::uint32_t kAddressUnit = 4;
inline constexpr std::uint32_t kCaptureAddressUnits = 0x100000;

// Overlay pitch and fetch count are in 8-byte units.
inline constexpr std::uint32_t kOverlayPitchUnit = 8;

// Bytes per pixel of an overlay format code (OVL DB bits 0-2).
inline constexpr std::array<std::uint8_t, 8> kOverlayFormatBytes{2, 2, 2, 3, 4, 1, 2, 1};

// The capture engine writes 2-byte pixels (4:2:2); its pitch is in units of
// 4 pixels, one byte of them.
inline constexpr std::uint32_t kCaptureBytesPerPixel = 2;
inline constexpr std::uint32_t kCapturePitchUnit = 4;
inline constexpr std::uint32_t kMaxCapturePitch = reg::kCapPitch.field().mask() * kCapturePitchUnit;

// The size the capture engine writes for a source size (pixels or lines)
// and its 4.12 factor, destination over source: rounded to the nearest.
constexpr std::uint32_t capture_size(std::uint32_t source_size, std::uint16_t factor) {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(source_size) * factor + kScaleOne / 2) >>
                                      12);
}

// Where the capture engine writes line `line` of field `field` (a byte
// offset, unbounded).  Field 0 holds the even lines of the frame.  Double
// buffered, field 0 goes to the destination and field 1 to the back buffer,
// each at line 2 x line with field scaling; otherwise field scaling weaves
// line j of field f into line 2j + f, and without it both fields write line
// j (the later overwrites the earlier).  `Capture` is a record of the
// capture registers (state::CaptureState): destination and back_buffer in
// bytes, pitch in pixels, double_buffer and field_scaling.
template <typename Capture>
constexpr std::uint64_t capture_line_offset(const Capture &c, int field, std::uint32_t line) {
    const std::uint64_t pitch = static_cast<std::uint64_t>(c.pitch) * kCaptureBytesPerPixel;
    if (c.double_buffer) {
        const std::uint64_t base = field == 0 ? c.destination : c.back_buffer;
        return base + (c.field_scaling ? 2ull * line : line) * pitch;
    }
    if (c.field_scaling) return c.destination + (2ull * line + static_cast<unsigned>(field)) * pitch;
    return c.destination + line * pitch;
}

// The capture input window's horizontal registers: 2 x first pixel + 1 and
// 2 x end pixel + 2.
constexpr std::uint32_t capture_x_start(std::uint32_t first_pixel) {
    return 2u * first_pixel + 1;
}
constexpr std::uint32_t capture_x_end(std::uint32_t end_pixel) {
    return 2u * end_pixel + 2;
}
constexpr std::uint16_t capture_first_pixel(std::uint16_t x_start) {
    return static_cast<std::uint16_t>((x_start - 1) / 2);
}
constexpr std::uint16_t capture_end_pixel(std::uint16_t x_end) {
    return static_cast<std::uint16_t>((x_end - 2) / 2);
}

// The burst the capture engine writes at its guard address: 16 bytes, 32 on
// the wide bus.  The guard register holds the start of that last burst.
constexpr std::uint32_t guard_burst(bool wide) {
    return wide ? 32u : 16u;
}

} // namespace kova::decode
