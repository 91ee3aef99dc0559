#include "assumptions.h"

#include <array>
#include <cstring>

namespace kova::sim::video {

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

// 4:2:2 in either byte order: the luma of pixel x and the chroma of its pair.
void decode_422(const std::uint8_t *line, std::uint32_t available, const std::uint32_t *columns, int n,
                std::uint8_t *out, int y_at, int u_at, int v_at) {
    for (int i = 0; i < n; ++i, out += 3) {
        const std::uint32_t x = columns[i];
        const std::uint64_t pair = static_cast<std::uint64_t>(x / 2) * 4;
        if (pair + 4 > available) {
            put(out, {0, 0, 0});
            continue;
        }
        const std::uint8_t *p = line + pair;
        put(out, yuv_to_rgb({p[y_at + 2 * (x & 1)], p[u_at], p[v_at]}));
    }
}

} // namespace

int format_bytes(std::uint8_t format) {
    static constexpr int kBytes[8] = {2, 2, 2, 3, 4, 1, 2, 1};
    return kBytes[format & 7];
}

void decode_row(std::uint8_t format, const std::uint8_t *line, std::uint32_t available,
                const std::uint32_t *columns, int n, std::uint8_t *out) {
    format &= 7;
    if (format == 0) return decode_422(line, available, columns, n, out, 0, 1, 3);
    if (format == 6) return decode_422(line, available, columns, n, out, 1, 0, 2);
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

Rgb default_palette(int index) {
    return palette()[static_cast<std::size_t>(index & 0xFF)];
}

void decode_screen_row(int bpp, const std::uint8_t *row, int width, std::uint8_t *out) {
    switch (bpp) {
    case 16:
        for (int x = 0; x < width; ++x, out += 3)
            put(out, from565(row[2 * x] | row[2 * x + 1] << 8u));
        break;
    case 24:
    case 32: {
        const int step = bpp / 8;
        for (int x = 0; x < width; ++x, out += 3, row += step)
            out[0] = row[2], out[1] = row[1], out[2] = row[0];
        break;
    }
    case 8:
        for (int x = 0; x < width; ++x, out += 3)
            put(out, palette()[row[x]]);
        break;
    default:
        for (int x = 0; x < width; ++x, out += 3)
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

std::uint64_t capture_line_address(const CaptureState &c, int field, std::uint32_t line) {
    const std::uint64_t pitch = static_cast<std::uint64_t>(c.pitch) * 2;
    if (c.double_buffer) {
        const std::uint64_t base = field == 0 ? c.destination : c.back_buffer;
        return base + (c.field_scaling ? 2ull * line : line) * pitch;
    }
    if (c.field_scaling) return c.destination + (2ull * line + static_cast<unsigned>(field)) * pitch;
    return c.destination + line * pitch;
}

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
