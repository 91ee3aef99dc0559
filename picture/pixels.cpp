#include "pixels.h"

#include "decode.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#if KOVA_HAVE_LIBYUV
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>
#endif

namespace kova::picture {

namespace {

void put(std::uint8_t *out, Rgb p) {
    out[0] = p.r, out[1] = p.g, out[2] = p.b;
}

// 5 and 6 bits widened to 8 by repeating their top bits.
std::uint8_t widen5(unsigned v) {
    return static_cast<std::uint8_t>(v << 3 | v >> 2);
}
std::uint8_t widen6(unsigned v) {
    return static_cast<std::uint8_t>(v << 2 | v >> 4);
}

Rgb from555(unsigned v) {
    return {widen5(v >> 10 & 31), widen5(v >> 5 & 31), widen5(v & 31)};
}

Rgb from565(unsigned v) {
    return {widen5(v >> 11 & 31), widen6(v >> 5 & 63), widen5(v & 31)};
}

const std::array<Rgb, 256> &palette() {
    static const std::array<Rgb, 256> table = [] {
        std::array<Rgb, 256> t{};
        // The sixteen colours of a text-mode palette, a 6 x 6 x 6 colour cube
        // and a grey ramp.
        static constexpr std::uint8_t kText[16][3] = {
            {0, 0, 0},     {0, 0, 170},     {0, 170, 0},    {0, 170, 170},  {170, 0, 0},   {170, 0, 170},
            {170, 85, 0},  {170, 170, 170}, {85, 85, 85},   {85, 85, 255},  {85, 255, 85}, {85, 255, 255},
            {255, 85, 85}, {255, 85, 255},  {255, 255, 85}, {255, 255, 255}};
        for (int i = 0; i < 16; ++i)
            t[i] = {kText[i][0], kText[i][1], kText[i][2]};
        for (int i = 0; i < 216; ++i)
            t[16 + i] = {static_cast<std::uint8_t>(i / 36 * 51), static_cast<std::uint8_t>(i / 6 % 6 * 51),
                         static_cast<std::uint8_t>(i % 6 * 51)};
        for (int i = 0; i < 24; ++i)
            t[232 + i] = {static_cast<std::uint8_t>(8 + 10 * i), static_cast<std::uint8_t>(8 + 10 * i),
                          static_cast<std::uint8_t>(8 + 10 * i)};
        return t;
    }();
    return table;
}

int nearest_palette_index(Rgb colour, int entries) {
    // Pictures use few colours: remember the last answer.
    static thread_local Rgb last_colour{};
    static thread_local int last_entries = 0, last_index = 0;
    if (entries == last_entries && colour == last_colour) return last_index;
    int best = 0;
    long best_distance = -1;
    for (int i = 0; i < entries; ++i) {
        const Rgb p = palette()[static_cast<std::size_t>(i)];
        const long d = (p.r - colour.r) * (p.r - colour.r) + (p.g - colour.g) * (p.g - colour.g) +
                       (p.b - colour.b) * (p.b - colour.b);
        if (best_distance < 0 || d < best_distance) best = i, best_distance = d;
    }
    last_colour = colour, last_entries = entries, last_index = best;
    return best;
}

#if KOVA_HAVE_LIBYUV

// Pixels converted by the library a chunk at a time, through a buffer on the stack.
constexpr int kChunk = 1024;

// 4:2:2 in either byte order: the luma of pixel x and the chroma of its pair,
// gathered into full-resolution planes and converted by the library.
void decode_422(const std::uint8_t *line, std::uint32_t available, const std::uint32_t *columns, int n,
                std::uint8_t *out, int y_at, int u_at, int v_at) {
    // One source pixel per screen pixel from an even column, all fetched: the
    // library's packed conversion (the same colours as its planar one).
    if (n > 0 && columns[0] % 2 == 0 && columns[n - 1] == columns[0] + static_cast<std::uint32_t>(n - 1) &&
        static_cast<std::uint64_t>(columns[n - 1] / 2) * 4 + 4 <= available) {
        const std::uint8_t *p = line + columns[0] / 2 * 4;
        std::uint8_t argb[4 * kChunk];
        for (int first = 0; first < n; first += kChunk) {
            const int count = std::min(kChunk, n - first);
            if (y_at == 0)
                libyuv::YUY2ToARGB(p + 2 * first, 0, argb, 0, count, 1);
            else
                libyuv::UYVYToARGB(p + 2 * first, 0, argb, 0, count, 1);
            libyuv::ARGBToRAW(argb, 0, out + 3 * first, 0, count, 1);
        }
        return;
    }
    std::uint8_t y[kChunk], u[kChunk], v[kChunk];
    bool black[kChunk];
    for (int first = 0; first < n; first += kChunk) {
        const int count = std::min(kChunk, n - first);
        bool any_black = false;
        for (int i = 0; i < count; ++i) {
            const std::uint32_t x = columns[first + i];
            const std::uint64_t pair = static_cast<std::uint64_t>(x / 2) * 4;
            black[i] = pair + 4 > available;
            any_black |= black[i];
            const std::uint8_t *p = black[i] ? line : line + pair;
            y[i] = black[i] ? 0 : p[y_at + 2 * (x & 1)];
            u[i] = black[i] ? 0 : p[u_at];
            v[i] = black[i] ? 0 : p[v_at];
        }
        std::uint8_t *to = out + 3 * first;
        libyuv::I444ToRAW(y, 0, u, 0, v, 0, to, 0, count, 1);
        if (any_black)
            for (int i = 0; i < count; ++i)
                if (black[i]) put(to + 3 * i, {0, 0, 0});
    }
}

// RGB 5:6:5 through the library's 8-bit-per-channel row.
void decode_565(const std::uint8_t *row, int first, int end, std::uint8_t *out) {
    std::uint8_t argb[4 * kChunk];
    for (int x = first; x < end; x += kChunk) {
        const int count = std::min(kChunk, end - x);
        libyuv::RGB565ToARGB(row + 2 * x, 0, argb, 0, count, 1);
        libyuv::ARGBToRAW(argb, 0, out + 3 * (x - first), 0, count, 1);
    }
}

#else

// 0-255 without a branch: values above 255 become 255, below 0 become 0.
// (C++20 defines >> of a negative int as the arithmetic shift these rely on.)
inline std::uint8_t saturate(int v) {
    // cppcheck-suppress shiftTooManyBitsSigned
    const int high = (255 - v) >> 31; // all ones above 255
    // cppcheck-suppress shiftTooManyBitsSigned
    const int low = ~(v >> 31); // all zeros below 0
    return static_cast<std::uint8_t>(((v | high) & low) & 0xFF);
}

// yuv_to_rgb by tables, for whole lines.
struct YuvTables {
    int luma[256], red_v[256], green_u[256], green_v[256], blue_u[256];

    YuvTables() {
        for (int i = 0; i < 256; ++i) {
            luma[i] = YuvToRgb::luma(i), red_v[i] = YuvToRgb::red_v(i), green_u[i] = YuvToRgb::green_u(i);
            green_v[i] = YuvToRgb::green_v(i), blue_u[i] = YuvToRgb::blue_u(i);
        }
    }
    void put(std::uint8_t *out, int y, int red, int green, int blue) const {
        const int c = luma[y];
        out[0] = saturate((c + red) >> 8);
        out[1] = saturate((c + green) >> 8);
        out[2] = saturate((c + blue) >> 8);
    }
};

const YuvTables &yuv_tables() {
    static const YuvTables tables;
    return tables;
}

// 4:2:2 in either byte order: the luma of pixel x and the chroma of its pair.
void decode_422(const std::uint8_t *line, std::uint32_t available, const std::uint32_t *columns, int n,
                std::uint8_t *out, int y_at, int u_at, int v_at) {
    const YuvTables &t = yuv_tables();
    const auto pixel = [&](std::uint32_t x, std::uint8_t *to) {
        const std::uint64_t pair = static_cast<std::uint64_t>(x / 2) * 4;
        if (pair + 4 > available) return put(to, {0, 0, 0});
        const std::uint8_t *p = line + pair;
        t.put(to, p[y_at + 2 * (x & 1)], t.red_v[p[v_at]], t.green_u[p[u_at]] + t.green_v[p[v_at]],
              t.blue_u[p[u_at]]);
    };
    int i = 0;
    // One source pixel per screen pixel, all fetched: a pair at a time.
    if (n > 0 && columns[n - 1] == columns[0] + static_cast<std::uint32_t>(n - 1) &&
        static_cast<std::uint64_t>(columns[n - 1] / 2) * 4 + 4 <= available) {
        if (columns[0] & 1) pixel(columns[0], out), ++i;
        // A single odd column is done already: there is no pair left to read.
        if (i + 1 < n) {
            const std::uint8_t *p = line + (columns[i] / 2) * 4;
            std::uint8_t *to = out + 3 * i;
            for (; i + 1 < n; i += 2, p += 4, to += 6) {
                const int u = p[u_at], v = p[v_at];
                const int red = t.red_v[v], green = t.green_u[u] + t.green_v[v], blue = t.blue_u[u];
                t.put(to, p[y_at], red, green, blue);
                t.put(to + 3, p[y_at + 2], red, green, blue);
            }
        }
    }
    for (; i < n; ++i)
        pixel(columns[i], out + 3 * i);
}

// RGB 5:6:5 by a table.
const std::uint8_t *rgb565_table() {
    static const std::vector<std::uint8_t> table = [] {
        std::vector<std::uint8_t> t(65536 * 3);
        for (unsigned v = 0; v < 65536; ++v) {
            const Rgb c = from565(v);
            t[3 * v] = c.r, t[3 * v + 1] = c.g, t[3 * v + 2] = c.b;
        }
        return t;
    }();
    return table.data();
}

void decode_565(const std::uint8_t *row, int first, int end, std::uint8_t *out) {
    const std::uint8_t *table = rgb565_table();
    for (int x = first; x < end; ++x, out += 3)
        std::memcpy(out, table + 3 * (row[2 * x] | row[2 * x + 1] << 8u), 3);
}

#endif

} // namespace

int format_bytes(std::uint8_t format) {
    return decode::kOverlayFormatBytes[format & 7];
}

void decode_row(std::uint8_t format, const std::uint8_t *line, std::uint32_t available,
                const std::uint32_t *columns, int n, std::uint8_t *out) {
    format &= 7;
    if (format == kYuyv) return decode_422(line, available, columns, n, out, 0, 1, 3);
    if (format == kUyvy) return decode_422(line, available, columns, n, out, 1, 0, 2);
    const std::uint64_t bytes = static_cast<std::uint64_t>(format_bytes(format));
    for (int i = 0; i < n; ++i, out += 3) {
        const std::uint64_t at = columns[i] * bytes;
        if (at + bytes > available) {
            put(out, {0, 0, 0});
            continue;
        }
        const std::uint8_t *p = line + at;
        switch (format) {
        case 1:
            put(out, from555(p[0] | p[1] << 8u));
            break;
        case 2:
            put(out, from565(p[0] | p[1] << 8u));
            break;
        case 3:
        case 4:
            put(out, {p[2], p[1], p[0]});
            break;
        case 5:
            put(out, palette()[p[0]]);
            break;
        default:
            put(out, {p[0], p[0], p[0]});
            break;
        }
    }
}

Rgb yuv_to_rgb(Yuv p) {
#if KOVA_HAVE_LIBYUV
    std::uint8_t out[3];
    libyuv::I444ToRAW(&p.y, 0, &p.u, 0, &p.v, 0, out, 0, 1, 1);
    return {out[0], out[1], out[2]};
#else
    using K = YuvToRgb;
    const int c = K::luma(p.y);
    return {clamp8((c + K::red_v(p.v)) >> 8), clamp8((c + K::green_u(p.u) + K::green_v(p.v)) >> 8),
            clamp8((c + K::blue_u(p.u)) >> 8)};
#endif
}

void decode_screen_row(int bpp, const std::uint8_t *row, int first, int end, std::uint8_t *out) {
    out += 3 * first;
    switch (bpp) {
    case 16:
        decode_565(row, first, end, out);
        break;
    case 24:
    case 32: {
        const int step = bpp / 8;
        for (int x = first; x < end; ++x, out += 3)
            out[0] = row[x * step + 2], out[1] = row[x * step + 1], out[2] = row[x * step];
        break;
    }
    case 8:
        for (int x = first; x < end; ++x, out += 3)
            put(out, palette()[row[x]]);
        break;
    default:
        for (int x = first; x < end; ++x, out += 3)
            put(out, palette()[x & 1 ? row[x / 2] & 0x0F : row[x / 2] >> 4]);
        break;
    }
}

void encode_screen_pixel(int bpp, std::uint8_t *row, int x, Rgb c) {
    switch (bpp) {
    case 16: {
        const unsigned v = (c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3;
        row[2 * x] = static_cast<std::uint8_t>(v);
        row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
        break;
    }
    case 24:
    case 32: {
        std::uint8_t *p = row + x * (bpp / 8);
        p[0] = c.b, p[1] = c.g, p[2] = c.r;
        if (bpp == 32) p[3] = 0;
        break;
    }
    case 8:
        row[x] = static_cast<std::uint8_t>(nearest_palette_index(c, 256));
        break;
    default: {
        const auto index = static_cast<std::uint8_t>(nearest_palette_index(c, 16));
        std::uint8_t &byte = row[x / 2];
        byte = x & 1 ? static_cast<std::uint8_t>((byte & 0xF0) | index)
                     : static_cast<std::uint8_t>((byte & 0x0F) | index << 4);
        break;
    }
    }
}

} // namespace kova::picture
