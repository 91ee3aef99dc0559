// Pixels: their formats in video memory and their conversion to and from RGB.
//
//  Overlay source formats (OVL DB bits 0-2): 0 = YUYV 4:2:2 (Y0 U Y1 V; also
//  what the capture engine writes), 1 = RGB 5:5:5, 2 = RGB 5:6:5, 3 = RGB
//  8:8:8 stored B, G, R, 4 = RGB 8:8:8:8 stored B, G, R, unused, 5 = 8-bit
//  index into the default palette, 6 = UYVY 4:2:2, 7 = 8-bit grey.
//                                                             decode_row()
//  Colour: Y'CbCr is BT.601 with studio range (Y 16-235, Cb and Cr 16-240)
//  in both directions.  To RGB the rounding is the SIMD pixel library's
//  where the build has it (a value may differ by one from the plain 8.8
//  fixed-point sums of a build without it).      yuv_to_rgb(), rgb_to_yuv()
//  Screen depths: 16 bits are RGB 5:6:5, 24 bits B, G, R, 32 bits B, G, R,
//  unused (least significant byte first); 8 bits index the default palette;
//  4 bits index its first 16 entries, two pixels per byte, the left one in
//  the high nibble.                  decode_screen_row(), encode_screen_pixel()
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
