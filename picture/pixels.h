// Pixels: the overlay source formats (OVL DB bits 0-2) and the screen depths
// as they lie in video memory, and their conversion to and from RGB (BT.601,
// studio range).  What each format code and depth holds is one of the video
// model's choices, listed with the others at the top of
// sim/video/assumptions.h (1-3 and 11); kovactl grab reads the capture
// engine's 4:2:2 pixels on the hardware by the same conversion.
#pragma once

#include <cstdint>

namespace kova::picture {

struct Rgb {
    std::uint8_t r, g, b;
    friend bool operator==(const Rgb &, const Rgb &) = default;
};

struct Yuv {
    std::uint8_t y, u, v;
};

// --- colour

inline std::uint8_t clamp8(int v) {
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Y'CbCr to RGB in 8.8 fixed point: each of R, G and B is the sum of a luma
// term and chroma terms, shifted down by 8 and clamped.
struct YuvToRgb {
    static int luma(int y) { return 298 * (y - 16) + 128; }
    static int red_v(int v) { return 409 * (v - 128); }
    static int green_u(int u) { return -100 * (u - 128); }
    static int green_v(int v) { return -208 * (v - 128); }
    static int blue_u(int u) { return 516 * (u - 128); }
};

// The conversion every picture uses: in a build with the SIMD pixel library
// its BT.601 studio-range conversion (whose rounding of a few values differs
// by one from the 8.8 sums above), otherwise those sums.  Every picture of
// the build converts through the same one, so expectations taken from it hold.
Rgb yuv_to_rgb(Yuv p);

inline Yuv rgb_to_yuv(Rgb p) {
    return {static_cast<std::uint8_t>(((66 * p.r + 129 * p.g + 25 * p.b + 128) >> 8) + 16),
            static_cast<std::uint8_t>(((-38 * p.r - 74 * p.g + 112 * p.b + 128) >> 8) + 128),
            static_cast<std::uint8_t>(((112 * p.r - 94 * p.g - 18 * p.b + 128) >> 8) + 128)};
}

// --- overlay source formats

// The two 4:2:2 format codes; YUYV is also the capture engine's.
inline constexpr std::uint8_t kYuyv = 0;
inline constexpr std::uint8_t kUyvy = 6;

// Bytes per pixel of an overlay format code (the library's table).
int format_bytes(std::uint8_t format);

// Writes n RGB pixels to out: pixel i is source pixel columns[i] of the line
// at `line`, of which `available` bytes may be read; pixels that lie wholly
// or partly past them are black.
void decode_row(std::uint8_t format, const std::uint8_t *line, std::uint32_t available,
                const std::uint32_t *columns, int n, std::uint8_t *out);

// --- screen depths

// Writes the RGB pixels [first, end) of a frame-buffer line at the given
// depth to the same pixels of `out`.
void decode_screen_row(int bpp, const std::uint8_t *row, int first, int end, std::uint8_t *out);
void encode_screen_pixel(int bpp, std::uint8_t *row, int x, Rgb colour);

} // namespace kova::picture
