// The one way the suites write an expected trace.
//
// Two spellings of the same accesses:
//
// * The register form, the default: decode() turns the simulator's bus trace
//   into register operations, so that expectations read like the register
//   sequences they check.  It is lossless: encode(decode(raw)) == raw for every
//   trace, so an expectation in this form fails whenever the bus trace differs.
//
//     GR 56=04      index write, then data write            w8 003CE 56 / w8 003CF 04
//     GR 56?00      index write, then data read             w8 003CE 56 / r8 003CF 00
//     GR 56'=04     data write with the index already in    w8 003CF 04
//     GR 56'?00     data read with the index already in     r8 003CF 00
//                   the index port (the prime: "the same register again")
//     GR FA:=03     16-bit index/data store                 w16 003CE 03FA
//     GR E5         index write alone (no data access of    w8 003CE E5
//                   its pair follows)
//     TV E430=4003  16-bit TV register write / read (?)     w16 BE430 4003
//     DAC=40        port 0x3C6 write / read (?)             w8 003C6 40
//     STATUS?08     port 0x3DA read / write (=)             r8 003DA 08
//
//   GR, SR and CR are the pairs 0x3CE/0x3CF, 0x3C4/0x3C5 and 0x3D4/0x3D5.  So a
//   masked write is "GR 56?00", "GR 56'=04", and a read-modify-write that
//   writes the index again is "GR DE?00", "GR DE=40".  Everything else (a data
//   access before any index write, other ports, 8- and 32-bit accesses to the
//   TV region, direct port I/O, mapping events) stays in the bus form.
//
// * The bus form, where the bus shape itself is the point (the primitives,
//   mapping, direct port I/O): the trace lines as the simulator writes them,
//   "w8 003CE FA", "r16 BE430 BEEF", "mmap E0000000 400000", compared with
//   SimTest::trace().
#pragma once

#include "controller.h"
#include "register_map.h"

#include <cstdio>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using Lines = std::vector<std::string>;

// ---------------------------------------------------------------- building expectations

// The indexed register files and the TV register region.
enum class File { GR, SR, CR };
inline constexpr File GR = File::GR;
inline constexpr File SR = File::SR;
inline constexpr File CR = File::CR;

inline const char *file_name(File file) {
    return file == GR ? "GR" : file == SR ? "SR" : "CR";
}

namespace expected_detail {
inline std::string indexed(File file, unsigned index, const char *op, unsigned value) {
    char text[24];
    std::snprintf(text, sizeof text, "%s %02X%s%02X", file_name(file), index & 0xFF, op, value & 0xFF);
    return text;
}
} // namespace expected_detail

// "GR 56=04": index write, data write.
inline std::string reg_write(File file, unsigned index, unsigned value) {
    return expected_detail::indexed(file, index, "=", value);
}
// "GR 56?00": index write, data read.
inline std::string reg_read(File file, unsigned index, unsigned value) {
    return expected_detail::indexed(file, index, "?", value);
}
// "GR 56'=04" / "GR 56'?00": a data access that reuses the index in the port.
inline std::string reg_write_again(File file, unsigned index, unsigned value) {
    return expected_detail::indexed(file, index, "'=", value);
}
inline std::string reg_read_again(File file, unsigned index, unsigned value) {
    return expected_detail::indexed(file, index, "'?", value);
}
// "GR FA:=03": one 16-bit store of index and value.
inline std::string reg_store16(File file, unsigned index, unsigned value) {
    return expected_detail::indexed(file, index, ":=", value);
}
// A masked write: index, read of old, write of now.
inline Lines reg_masked(File file, unsigned index, unsigned old, unsigned now) {
    return {reg_read(file, index, old), reg_write_again(file, index, now)};
}
// One index write, then reads of the data port: count reads of each value.
inline Lines reg_polled(File file, unsigned index,
                        std::initializer_list<std::pair<unsigned, unsigned>> runs) {
    Lines out;
    for (const auto &[value, count] : runs)
        for (unsigned i = 0; i < count; ++i)
            out.push_back(out.empty() ? reg_read(file, index, value) : reg_read_again(file, index, value));
    return out;
}

// "TV E430=4003" / "TV E430?4003".
inline std::string tv_write(unsigned index, unsigned value) {
    char text[24];
    std::snprintf(text, sizeof text, "TV %04X=%04X", index & 0xFFFF, value & 0xFFFF);
    return text;
}
inline std::string tv_read(unsigned index, unsigned value) {
    char text[24];
    std::snprintf(text, sizeof text, "TV %04X?%04X", index & 0xFFFF, value & 0xFFFF);
    return text;
}

// "DAC=40", "DAC?FF", "STATUS?08".
inline std::string dac_write(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "DAC=%02X", value & 0xFF);
    return text;
}
inline std::string dac_read(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "DAC?%02X", value & 0xFF);
    return text;
}
inline std::string status_read(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "STATUS?%02X", value & 0xFF);
    return text;
}

// A line of the bus form: bus("r8", 0x3CC, 0xFC) is "r8 003CC FC"; 16- and
// 32-bit accesses get 4 and 8 digits.
inline std::string bus(const char *kind, unsigned address, unsigned value) {
    const std::string k = kind;
    const int digits = k.find("16") != std::string::npos ? 4 : k.find("32") != std::string::npos ? 8 : 2;
    char text[32];
    std::snprintf(text, sizeof text, "%s %05X %0*X", kind, address, digits, value);
    return text;
}

inline Lines operator+(Lines a, const Lines &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline Lines operator+(Lines a, std::string b) {
    a.push_back(std::move(b));
    return a;
}
inline void append(Lines &to, const Lines &more) {
    to.insert(to.end(), more.begin(), more.end());
}

// ---------------------------------------------------------------- decoding and encoding

namespace expected_detail {

struct Pair {
    File file;
    unsigned index_port; // the data port follows it
};
inline constexpr Pair kPairs[3] = {
    {GR, kova::reg::kGrIndex.index}, {SR, kova::reg::kSrIndex.index}, {CR, kova::reg::kCrIndex.index}};
inline constexpr unsigned kDacPort = kova::reg::kDacMask.index;
inline constexpr unsigned kStatusPort = kova::reg::kInputStatus.index;
inline constexpr unsigned kTvBase = kova::sim::Controller::kTvBase;
inline constexpr unsigned kTvEnd = kTvBase + kova::sim::Controller::kTvSize;

// One bus trace line taken apart: "w8 003CF 04" is kind "w8", address 0x3CF, value 4.
struct Access {
    std::string kind;
    unsigned address = 0;
    unsigned value = 0;
    bool plain = false; // exactly "<kind> <address> <value>" of a window or port access
};

inline Access parse(const std::string &line) {
    Access a;
    std::istringstream in(line);
    std::string where, value, rest;
    if (!(in >> a.kind >> where >> value) || (in >> rest)) return a;
    if (a.kind != "w8" && a.kind != "r8" && a.kind != "w16" && a.kind != "r16" && a.kind != "out8" &&
        a.kind != "in8")
        return a;
    try {
        std::size_t used_where = 0, used_value = 0;
        a.address = static_cast<unsigned>(std::stoul(where, &used_where, 16));
        a.value = static_cast<unsigned>(std::stoul(value, &used_value, 16));
        a.plain = used_where == where.size() && used_value == value.size();
    } catch (const std::exception &) {
        a.plain = false;
    }
    return a;
}

inline bool is_sign(const std::string &sign) {
    return sign == "=" || sign == "?" || sign == "'=" || sign == "'?" || sign == ":=";
}

// The pair whose index (0) or data (1) port this is, or -1.
inline int pair_of(unsigned address, int *data) {
    for (int p = 0; p < 3; ++p) {
        if (address == kPairs[p].index_port || address == kPairs[p].index_port + 1) {
            *data = address == kPairs[p].index_port ? 0 : 1;
            return p;
        }
    }
    return -1;
}

} // namespace expected_detail

// The register form of a bus trace (see the top of this file).
inline Lines decode(const Lines &raw) {
    using namespace expected_detail;
    Lines ops;
    int index[3] = {-1, -1, -1}; // what each index port holds, -1 before the trace shows it
    char text[32];
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const Access a = parse(raw[i]);
        int data = 0;
        const int p = a.plain ? pair_of(a.address, &data) : -1;
        const bool write = a.kind[0] == 'w' || a.kind == "out8";

        if (p >= 0 && a.kind == "out8" && data == 0) index[p] = static_cast<int>(a.value); // stays raw
        if (p >= 0 && a.kind == "w8" && data == 0) {
            index[p] = static_cast<int>(a.value);
            const Access next = i + 1 < raw.size() ? parse(raw[i + 1]) : Access{};
            int next_data = 0;
            if (next.plain && (next.kind == "w8" || next.kind == "r8") &&
                pair_of(next.address, &next_data) == p && next_data == 1) {
                ops.push_back(next.kind == "w8" ? reg_write(kPairs[p].file, a.value, next.value)
                                                : reg_read(kPairs[p].file, a.value, next.value));
                ++i;
            } else {
                std::snprintf(text, sizeof text, "%s %02X", file_name(kPairs[p].file), a.value);
                ops.push_back(text);
            }
        } else if (p >= 0 && a.kind == "w16" && data == 0) {
            index[p] = static_cast<int>(a.value & 0xFF);
            ops.push_back(reg_store16(kPairs[p].file, a.value & 0xFF, a.value >> 8));
        } else if (p >= 0 && (a.kind == "w8" || a.kind == "r8") && data == 1 && index[p] >= 0) {
            const unsigned at = static_cast<unsigned>(index[p]);
            ops.push_back(write ? reg_write_again(kPairs[p].file, at, a.value)
                                : reg_read_again(kPairs[p].file, at, a.value));
        } else if (a.plain && (a.kind == "w16" || a.kind == "r16") && a.address >= kTvBase &&
                   a.address < kTvEnd) {
            ops.push_back(write ? tv_write(a.address - kTvBase, a.value)
                                : tv_read(a.address - kTvBase, a.value));
        } else if (a.plain && (a.kind == "w8" || a.kind == "r8") &&
                   (a.address == kDacPort || a.address == kStatusPort)) {
            std::snprintf(text, sizeof text, "%s%c%02X", a.address == kDacPort ? "DAC" : "STATUS",
                          write ? '=' : '?', a.value);
            ops.push_back(text);
        } else {
            ops.push_back(raw[i]); // anything else stays in the bus form
        }
    }
    return ops;
}

// The bus trace of operations in the register form: the inverse of decode().
inline Lines encode(const Lines &ops) {
    using namespace expected_detail;
    Lines raw;
    char text[32];
    const auto line = [&](const char *kind, unsigned address, unsigned value, int digits) {
        std::snprintf(text, sizeof text, "%s %05X %0*X", kind, address, digits, value);
        raw.push_back(text);
    };
    for (const std::string &op : ops) {
        unsigned index = 0, value = 0;
        char sign[4] = {};
        int used = 0;
        bool done = false;
        for (const Pair &pair : kPairs) {
            const std::string name = std::string(file_name(pair.file)) + " ";
            if (op.rfind(name, 0) != 0) continue;
            const char *rest = op.c_str() + name.size();
            if (std::sscanf(rest, "%2X%n", &index, &used) == 1 && rest[used] == '\0' && used == 2) {
                line("w8", pair.index_port, index, 2);
                done = true;
            } else if (std::sscanf(rest, "%2X%2[?=':]%2X%n", &index, sign, &value, &used) == 3 &&
                       rest[used] == '\0' && is_sign(sign)) {
                const std::string s = sign;
                if (s == "=" || s == "?") line("w8", pair.index_port, index, 2);
                if (s == ":=")
                    line("w16", pair.index_port, value << 8 | index, 4);
                else
                    line(s.back() == '=' ? "w8" : "r8", pair.index_port + 1, value, 2);
                done = true;
            }
        }
        if (done) continue;
        if (std::sscanf(op.c_str(), "TV %4X%1[?=]%4X%n", &index, sign, &value, &used) == 3 &&
            op[used] == '\0') {
            line(sign[0] == '=' ? "w16" : "r16", kTvBase + index, value, 4);
        } else if (std::sscanf(op.c_str(), "DAC%1[?=]%2X%n", sign, &value, &used) == 2 && op[used] == '\0') {
            line(sign[0] == '=' ? "w8" : "r8", kDacPort, value, 2);
        } else if (std::sscanf(op.c_str(), "STATUS%1[?=]%2X%n", sign, &value, &used) == 2 &&
                   op[used] == '\0') {
            line(sign[0] == '=' ? "w8" : "r8", kStatusPort, value, 2);
        } else {
            raw.push_back(op);
        }
    }
    return raw;
}

// ---------------------------------------------------------------- reading decoded traces

// The writes among the operations, in order, in their own spelling.
inline Lines writes_of(const Lines &ops) {
    Lines out;
    for (const std::string &op : ops)
        if (op.find('=') != std::string::npos) out.push_back(op);
    return out;
}

// Position of the first op equal to what, at or after from; -1 if none.
inline long find_op(const Lines &ops, const std::string &what, long from = 0) {
    for (long i = from < 0 ? 0 : from; i < static_cast<long>(ops.size()); ++i)
        if (ops[static_cast<std::size_t>(i)] == what) return i;
    return -1;
}

// The masked-write shape among the operations: registers ("GR 56") whose
// write reuses the index right after a read of the same register, in order.
inline Lines masked_writes(const Lines &ops) {
    Lines out;
    for (std::size_t i = 1; i < ops.size(); ++i) {
        const std::string &op = ops[i];
        const std::size_t at = op.find("'=");
        if (at == std::string::npos) continue;
        const std::string reg = op.substr(0, at);
        const std::string &before = ops[i - 1];
        if (before.rfind(reg + "?", 0) == 0 || before.rfind(reg + "'?", 0) == 0) out.push_back(reg);
    }
    return out;
}
