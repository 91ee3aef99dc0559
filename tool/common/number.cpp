#include "number.h"

#include <cstdio>

namespace kova::tool {

namespace {

// The value of one digit in `base`, or -1.
int digit(char c, int base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string hex_text(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

} // namespace

bool parse_number(std::string_view text, std::uint32_t &value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t v = 0;
    for (const char c : text) {
        const int d = digit(c, base);
        if (d < 0) return false;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFu) return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

bool parse_number_in(std::string_view text, std::uint32_t min, std::uint32_t max, std::uint32_t &value) {
    std::uint32_t v = 0;
    if (!parse_number(text, v) || v < min || v > max) return false;
    value = v;
    return true;
}

std::string number_range(std::uint32_t min, std::uint32_t max, bool hex) {
    return hex ? "a number from " + hex_text(min) + " to " + hex_text(max)
               : "a number from " + std::to_string(min) + " to " + std::to_string(max);
}

} // namespace kova::tool
