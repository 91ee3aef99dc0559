#include "trace_decode.h"

#include "aperture.h"
#include "register_map.h"
#include "register_text.h"
#include "synclock.h"
#include "vga_ports.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <cstdlib>
#include <span>
#include <unordered_map>

namespace kova::trace {

namespace {

// ------------------------------------------------------------------ the trace format

// Each event kind's word, and the hex digits of its address and value (0:
// neither is shown), in the order of Event::Kind.
struct Layout {
    const char *word;
    int address_digits, value_digits;
};
constexpr Layout kLayouts[] = {
    {.word = "iopl", .address_digits = 0, .value_digits = 0},
    {.word = "open", .address_digits = 0, .value_digits = 0},
    {.word = "mmap", .address_digits = 8, .value_digits = 6},
    {.word = "close", .address_digits = 0, .value_digits = 0},
    {.word = "out8", .address_digits = 4, .value_digits = 2},
    {.word = "in8", .address_digits = 4, .value_digits = 2},
    {.word = "w8", .address_digits = 5, .value_digits = 2},
    {.word = "r8", .address_digits = 5, .value_digits = 2},
    {.word = "w16", .address_digits = 5, .value_digits = 4},
    {.word = "r16", .address_digits = 5, .value_digits = 4},
    {.word = "w32", .address_digits = 5, .value_digits = 8},
    {.word = "r32", .address_digits = 5, .value_digits = 8},
};
static_assert(std::size(kLayouts) == static_cast<std::size_t>(Event::Kind::R32) + 1);

const Layout &layout_of(Event::Kind kind) {
    return kLayouts[static_cast<std::size_t>(kind)];
}

// The bytes an access moves: 1 for port I/O and w8/r8, else 2 or 4.
unsigned access_bytes(Event::Kind kind) {
    return static_cast<unsigned>(layout_of(kind).value_digits) / 2;
}

bool is_access(Event::Kind kind) {
    return kind >= Event::Kind::Out8;
}

// The next word of `text` (spaces and tabs between words), taken off it.
std::string_view next_word(std::string_view &text) {
    const auto start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(start);
    const auto end = std::min(text.find_first_of(" \t"), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

bool parse_number(std::string_view word, int base, std::uint32_t &value) {
    if (word.empty() || word.size() > 8) return false;
    value = 0;
    for (const char c : word) {
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else
            return false;
        value = value * static_cast<unsigned>(base) + d;
    }
    return true;
}

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// The fields of an event after its word; false when they are not there.
bool parse_fields(const Layout &layout, Event &event, std::string_view &rest) {
    if (event.kind == Event::Kind::Iopl) return parse_number(next_word(rest), 10, event.address);
    if (event.kind == Event::Kind::Open) { // "open /dev/mem", or "open" alone
        std::string_view ahead = rest;
        if (next_word(ahead).starts_with("/")) rest = ahead;
        return true;
    }
    if (layout.address_digits == 0) return true;
    return parse_number(next_word(rest), 16, event.address) && parse_number(next_word(rest), 16, event.value);
}

// A time word: "@", digits, and a fraction of digits or none.
bool is_time(std::string_view word) {
    if (word.size() < 2 || word[0] != '@') return false;
    const std::string_view seconds = word.substr(1);
    const auto point = seconds.find('.');
    const std::string_view whole = seconds.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? "1" : seconds.substr(point + 1);
    const auto digits = [](std::string_view text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return digits(whole) && digits(fraction);
}

// Takes a timed line's last word, the time, off the line; "" for a line
// without.
std::string take_time(std::string_view &line) {
    const std::string_view trimmed = line.substr(0, line.find_last_not_of(" \t") + 1);
    const auto start = trimmed.find_last_of(" \t");
    if (start == std::string_view::npos || !is_time(trimmed.substr(start + 1))) return "";
    line = trimmed.substr(0, start);
    return std::string(trimmed.substr(start + 1));
}

// The register names' printer, in one place.
std::string indexed_name(reg::File file, std::uint8_t index, std::optional<std::uint8_t> page, bool paged) {
    if (!paged) return registers::register_name(registers::Reg{file, index, reg::kCurrentPage});
    if (!page) return registers::register_name(registers::Reg{file, index, reg::kCurrentPage}) + "@??";
    return registers::register_name(registers::Reg{file, index, *page});
}

// ------------------------------------------------------------------ the register map

constexpr std::array<reg::File, 3> kIndexedFiles{reg::File::GR, reg::File::SR, reg::File::CR};
constexpr std::array<reg::Pager, 256> kGrPagers = reg::pagers_of(reg::File::GR);
constexpr std::array<reg::Pager, 256> kSrPagers = reg::pagers_of(reg::File::SR);

// The pager of index `index` of indexed file `file` (0 GR, 1 SR, 2 CR).
reg::Pager pager_at(int file, std::uint8_t index) {
    if (file == 0) return kGrPagers[index];
    if (file == 1) return kSrPagers[index];
    return reg::pager_of(reg::File::CR, index);
}

// Whether map entry r is the register at index `index` of `file` in `page`
// (nullopt: not known); `exact` asks for a register of that one page.
bool matches(const reg::Register &r, reg::File file, std::uint8_t index, std::optional<std::uint8_t> page,
             bool exact) {
    if (!reg::lives_in(r, file) || index < r.index || index >= r.index + r.span) return false;
    if (r.pager == reg::Pager::None) return !exact;
    if (r.page != reg::kCurrentPage) return exact && page && *page == r.page;
    if (exact) return false;
    // A capture register lives in the pages of the two engines.
    return r.file != reg::File::CAP ||
           (page && (*page == reg::page::kCommon || *page == reg::page::kEngine1));
}

const reg::Register *find_indexed(reg::File file, std::uint8_t index, std::optional<std::uint8_t> page) {
    for (const bool exact : {true, false})
        for (const reg::Register &r : reg::kRegisters)
            if (matches(r, file, index, page, exact)) return &r;
    return nullptr;
}

const reg::Register *find(reg::File file, std::uint16_t index) {
    for (const reg::Register &r : reg::kRegisters)
        if (r.file == file && r.index == index) return &r;
    return nullptr;
}

// The meaning of a map entry: its name, with the engine or window of a
// register file.
std::string meaning_of(const reg::Register &r, reg::File file, std::optional<std::uint8_t> page) {
    std::string text = r.name;
    if (r.file == reg::File::CAP) text += page == reg::page::kEngine1 ? " (engine 1)" : " (engine 0)";
    if (r.file == reg::File::OVL) text += file == reg::File::SR ? " (window 1)" : " (window 0)";
    return text;
}

// Byte `byte` of map entry r holds `value`: the fields that lie in that byte
// (all of them for a register of one byte), and which byte it is.
void add_fields(const reg::Register &r, unsigned byte, unsigned bytes, std::uint32_t value, Register &out) {
    const unsigned total = r.width() / 8;
    const std::uint32_t in_access = (bytes >= 4 ? ~0u : (1u << (8 * bytes)) - 1u) << (8 * byte);
    if (bytes < total)
        out.note = bytes == 1 ? "byte " + std::to_string(byte) + " of " + std::to_string(total)
                              : "bytes " + std::to_string(byte) + "-" + std::to_string(byte + bytes - 1);
    for (std::size_t i = 0; i < r.field_count(); ++i) {
        const reg::Field &f = r.fields[i];
        if ((f.mask() & ~in_access) == 0)
            out.fields.push_back({f.meaning, f.extract(value << (8 * byte)), f.width});
    }
}

// The TV registers that the sync lock writes from its register images (no
// name of their own in the map): "sync-lock image 16-bit entry 3", "sync-lock
// image 32-bit entry 7, high half"; empty for another index.
std::string image_entry(std::uint16_t index) {
    constexpr std::uint32_t kEntries16 = sizeof wTVReg16 / sizeof wTVReg16[0];
    constexpr std::uint32_t kEntries32 = sizeof dwTVReg32 / sizeof dwTVReg32[0];
    const std::uint32_t from16 = index - reg::kTvImage16First.index;
    if (index >= reg::kTvImage16First.index && from16 % 4 == 0 && from16 / 4 < kEntries16)
        return "sync-lock image 16-bit entry " + std::to_string(from16 / 4);
    const std::uint32_t from32 = index - reg::kTvImage32First.index;
    if (index >= reg::kTvImage32First.index && from32 % 4 != 1 && from32 % 4 != 3 && from32 / 4 < kEntries32)
        return "sync-lock image 32-bit entry " + std::to_string(from32 / 4) +
               (from32 % 4 == 0 ? ", low half" : ", high half");
    return "";
}

Register named(std::string name, std::uint32_t value, int digits) {
    Register reg;
    reg.name = std::move(name);
    reg.value = value;
    reg.digits = digits;
    return reg;
}

} // namespace

bool is_read(Event::Kind kind) {
    return kind == Event::Kind::In8 || kind == Event::Kind::R8 || kind == Event::Kind::R16 ||
           kind == Event::Kind::R32;
}

bool is_write(Event::Kind kind) {
    return is_access(kind) && !is_read(kind);
}

std::optional<ParsedLine> parse_line(std::string_view line) {
    std::string_view rest = line;
    ParsedLine parsed;
    parsed.time = take_time(rest);
    const std::string_view word = next_word(rest);
    const auto *const found =
        std::ranges::find_if(kLayouts, [word](const Layout &l) { return word == l.word; });
    if (found == std::end(kLayouts)) return std::nullopt;
    parsed.event.kind = static_cast<Event::Kind>(found - std::begin(kLayouts));
    if (!parse_fields(*found, parsed.event, rest)) return std::nullopt;
    std::string_view ahead = rest;
    if (next_word(ahead) == "FAIL") {
        parsed.event.failed = true;
        rest = ahead;
    }
    const auto start = rest.find_first_not_of(" \t");
    if (start != std::string_view::npos) parsed.extra = rest.substr(start);
    if (!parsed.event.failed && std::string_view(parsed.extra).ends_with(" FAIL")) parsed.event.failed = true;
    return parsed;
}

std::string canonical(const Event &e) {
    const Layout &layout = layout_of(e.kind);
    std::string text = layout.word;
    if (e.kind == Event::Kind::Iopl)
        text += " " + std::to_string(e.address);
    else if (layout.address_digits != 0)
        text += " " + hex(e.address, layout.address_digits) + " " + hex(e.value, layout.value_digits);
    return e.failed ? text + " FAIL" : text;
}

// ------------------------------------------------------------------ the decoder

std::string Decoder::selected(int file) const {
    const reg::File f = kIndexedFiles[static_cast<std::size_t>(file)];
    const std::uint8_t index = *index_[file];
    const reg::Pager pager = pager_at(file, index);
    const std::optional<std::uint8_t> page = pager == reg::Pager::GrBF ? page_bf_ : page_fa_;
    std::string text = "selects " + indexed_name(f, index, page, pager != reg::Pager::None);
    if (const reg::Register *r = find_indexed(f, index, page)) text += " " + meaning_of(*r, f, page);
    return text;
}

// A byte through the data port of indexed file `file` (0 GR, 1 SR, 2 CR).
Register Decoder::indexed(int file, std::uint8_t value) {
    const reg::File f = kIndexedFiles[static_cast<std::size_t>(file)];
    if (!index_[file])
        return named(registers::register_name(registers::Reg{f, 0, reg::kCurrentPage}).substr(0, 2) + "??",
                     value, 2);
    const std::uint8_t index = *index_[file];
    const reg::Pager pager = pager_at(file, index);
    const std::optional<std::uint8_t> page = pager == reg::Pager::GrBF ? page_bf_ : page_fa_;
    Register out = named(indexed_name(f, index, page, pager != reg::Pager::None), value, 2);
    if (const reg::Register *r = find_indexed(f, index, page)) {
        out.meaning = meaning_of(*r, f, page);
        add_fields(*r, index - r->index, 1, value, out);
    }
    if (f == reg::File::GR && index == reg::kPageSelect.at()) page_fa_ = value;
    if (f == reg::File::GR && index == reg::kPageSelectB.at()) page_bf_ = value;
    if (f == reg::File::GR && index == reg::kApertureBase.at()) aperture_base_ = value;
    return out;
}

// A byte at a port (or its mirror in the register window), read or written.
Register Decoder::port_byte(std::uint16_t port, std::uint8_t value) {
    for (int file = 0; file < 3; ++file) {
        const reg::File f = kIndexedFiles[static_cast<std::size_t>(file)];
        if (port == vga::index_port(f)) {
            index_[file] = value;
            Register out = named("P" + hex(port, 4), value, 2);
            out.meaning = find(reg::File::Port, port)->name;
            out.note = selected(file);
            return out;
        }
        if (port == vga::data_port(f)) return indexed(file, value);
    }
    Register out = named("P" + hex(port, 4), value, 2);
    if (const reg::Register *r = find(reg::File::Port, port)) {
        out.meaning = r->name;
        add_fields(*r, 0, 1, value, out);
    }
    return out;
}

void Decoder::access(const Event &e, DecodedLine &out) {
    const unsigned bytes = access_bytes(e.kind);
    const std::uint32_t tv_end = decode::kTvBase + decode::kTvSpan;
    if (e.address < decode::kPortSpan && e.address + bytes <= decode::kPortSpan) {
        for (unsigned i = 0; i < bytes; ++i)
            out.registers.push_back(port_byte(static_cast<std::uint16_t>(e.address + i),
                                              static_cast<std::uint8_t>(e.value >> (8 * i))));
        return;
    }
    if (e.address < decode::kTvBase || e.address + bytes > tv_end) {
        out.registers.push_back(named("window " + hex(e.address, 5), e.value, static_cast<int>(2 * bytes)));
        return;
    }
    // TV registers: 16 bits each, at even offsets; a byte or an odd offset is part of one.
    for (unsigned at = 0; at < bytes;) {
        const std::uint32_t offset = e.address + at - decode::kTvBase;
        const unsigned n = offset % 2 == 0 && bytes - at >= 2 ? 2 : 1;
        const auto index = static_cast<std::uint16_t>(offset & ~1u);
        const std::uint32_t value = (e.value >> (8 * at)) & (n == 2 ? 0xFFFFu : 0xFFu);
        Register reg =
            named(registers::register_name(registers::Reg::tv(index)), value, static_cast<int>(2 * n));
        if (const reg::Register *r = find(reg::File::TV, index)) {
            reg.meaning = r->name;
            add_fields(*r, offset % 2, n, value, reg);
        } else {
            reg.meaning = image_entry(index);
            if (n == 1) reg.note = offset % 2 == 0 ? "low byte" : "high byte";
        }
        out.registers.push_back(std::move(reg));
        at += n;
    }
}

std::string Decoder::mmap_summary(const Event &e) const {
    if (!aperture_base_) return "";
    const std::uint32_t base = static_cast<std::uint32_t>(*aperture_base_) << 24;
    if (e.address == base + decode::kFrameBufferOffset) return "frame buffer";
    if (e.address == base + decode::kRegisterWindowOffset) return "register window";
    return "outside the controller's aperture (GR35=" + hex(*aperture_base_, 2) + ")";
}

DecodedLine Decoder::decode(std::string_view line) {
    DecodedLine out;
    out.text = line;
    out.parsed = parse_line(line);
    if (!out.parsed) {
        if (line.find_first_not_of(" \t") != std::string_view::npos) out.summary = "? not a trace event";
        return out;
    }
    const Event &e = out.parsed->event;
    if (is_access(e.kind))
        access(e, out);
    else if (e.kind == Event::Kind::Mmap)
        out.summary = mmap_summary(e);
    if (e.failed && !out.summary.empty()) out.summary += ", failed";
    return out;
}

std::vector<DecodedLine> decode_all(const std::vector<std::string> &lines) {
    Decoder decoder;
    std::vector<DecodedLine> out;
    out.reserve(lines.size());
    for (const std::string &line : lines)
        out.push_back(decoder.decode(line));
    return out;
}

// ------------------------------------------------------------------ text

std::string describe(const Register &r) {
    std::string text = r.name + "=" + hex(r.value, r.digits);
    if (!r.meaning.empty()) text += " " + r.meaning;
    if (!r.note.empty()) text += (r.meaning.empty() ? " " : ", ") + r.note;
    for (std::size_t i = 0; i < r.fields.size(); ++i) {
        const Field &f = r.fields[i];
        text += (i == 0 ? ": " : "; ") + std::string(f.meaning) + "=" +
                (f.width == 1 ? std::to_string(f.value) : "0x" + hex(f.value, 0));
    }
    return text;
}

std::string describe(const DecodedLine &line) {
    constexpr std::size_t kColumn = 20;
    std::string decoded = line.summary;
    for (const Register &r : line.registers)
        decoded += (decoded.empty() ? "" : " | ") + describe(r);
    if (decoded.empty()) return line.text;
    const std::string time = line.parsed ? line.parsed->time : std::string();
    std::string text = line.text;
    if (!time.empty()) text.resize(text.find_last_not_of(" \t", text.rfind(time) - 1) + 1);
    text.resize(std::max(text.size(), kColumn), ' ');
    text += "  " + decoded;
    return time.empty() ? text : text + "  " + time;
}

// ------------------------------------------------------------------ alignment

namespace {

// The lines as numbers, equal where the events are (extra text ignored; a
// line that is no event stands for its text).
std::array<std::vector<std::uint32_t>, 2> number_lines(const std::vector<DecodedLine> &a,
                                                       const std::vector<DecodedLine> &b) {
    std::unordered_map<std::string, std::uint32_t> ids;
    const auto id = [&ids](const DecodedLine &line) {
        const std::string key = line.parsed ? canonical(line.parsed->event) : "\n" + line.text;
        return ids.try_emplace(key, static_cast<std::uint32_t>(ids.size())).first->second;
    };
    std::array<std::vector<std::uint32_t>, 2> numbers;
    for (const DecodedLine &line : a)
        numbers[0].push_back(id(line));
    for (const DecodedLine &line : b)
        numbers[1].push_back(id(line));
    return numbers;
}

enum class Step : std::uint8_t { Same, Remove, Add };

// The shortest edit script from a to b (Myers' greedy algorithm), or false
// when it is longer than max_edits.
bool shortest_edit(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b, std::size_t max_edits,
                   std::vector<Step> &steps) {
    const auto n = static_cast<long>(a.size()), m = static_cast<long>(b.size());
    const long limit = std::min(n + m, static_cast<long>(max_edits));
    std::vector<long> v(static_cast<std::size_t>(2 * limit + 3), 0);
    const long off = limit + 1;
    std::vector<std::vector<long>> history;
    long d = 0;
    for (;; ++d) {
        if (d > limit) return false;
        for (long k = -d; k <= d; k += 2) {
            const bool down = k == -d || (k != d && v[static_cast<std::size_t>(off + k - 1)] <
                                                        v[static_cast<std::size_t>(off + k + 1)]);
            long x = down ? v[static_cast<std::size_t>(off + k + 1)]
                          : v[static_cast<std::size_t>(off + k - 1)] + 1;
            long y = x - k;
            while (x < n && y < m && a[static_cast<std::size_t>(x)] == b[static_cast<std::size_t>(y)])
                ++x, ++y;
            v[static_cast<std::size_t>(off + k)] = x;
        }
        history.push_back(v);
        if (std::abs(n - m) <= d && (n - m + d) % 2 == 0 && v[static_cast<std::size_t>(off + n - m)] >= n)
            break;
    }
    // Back from the end, one edit at a time.
    long x = n, y = m;
    for (; d > 0; --d) {
        const std::vector<long> &before = history[static_cast<std::size_t>(d - 1)];
        const long k = x - y;
        const bool down = k == -d || (k != d && before[static_cast<std::size_t>(off + k - 1)] <
                                                    before[static_cast<std::size_t>(off + k + 1)]);
        const long pk = down ? k + 1 : k - 1;
        const long px = before[static_cast<std::size_t>(off + pk)], py = px - pk;
        const long sx = down ? px : px + 1; // where the edit ends and the common run starts
        for (; x > sx; --x, --y)
            steps.push_back(Step::Same);
        steps.push_back(down ? Step::Add : Step::Remove);
        x = px, y = py;
    }
    for (; x > 0; --x)
        steps.push_back(Step::Same);
    std::ranges::reverse(steps);
    return true;
}

} // namespace

std::vector<Hunk> align(const std::vector<DecodedLine> &a, const std::vector<DecodedLine> &b,
                        std::size_t max_edits, bool &bounded) {
    const auto [na, nb] = number_lines(a, b);
    // The common start and end need no alignment.
    const std::size_t shorter = std::min(na.size(), nb.size());
    std::size_t head = 0, tail = 0;
    while (head < shorter && na[head] == nb[head])
        ++head;
    while (head + tail < shorter && na[na.size() - 1 - tail] == nb[nb.size() - 1 - tail])
        ++tail;
    const std::span<const std::uint32_t> ma(na.data() + head, na.size() - head - tail);
    const std::span<const std::uint32_t> mb(nb.data() + head, nb.size() - head - tail);
    std::vector<Step> steps;
    bounded = !shortest_edit(ma, mb, max_edits, steps);
    if (bounded) {
        return {{head, head + ma.size(), head, head + mb.size()}};
    }
    std::vector<Hunk> hunks;
    std::size_t x = head, y = head;
    for (std::size_t s = 0; s < steps.size();) {
        if (steps[s] == Step::Same) {
            ++x, ++y, ++s;
            continue;
        }
        Hunk h{x, x, y, y};
        for (; s < steps.size() && steps[s] != Step::Same; ++s)
            (steps[s] == Step::Remove ? h.a_end : h.b_end)++;
        x = h.a_end, y = h.b_end;
        hunks.push_back(h);
    }
    return hunks;
}

HunkKind classify(const Hunk &h, const std::vector<DecodedLine> &a, const std::vector<DecodedLine> &b) {
    HunkKind kind;
    const std::size_t na = h.a_end - h.a_begin, nb = h.b_end - h.b_begin;
    if (na != nb) kind.program_differs = true;
    for (std::size_t i = 0; i < std::min(na, nb); ++i) {
        const auto &pa = a[h.a_begin + i].parsed, &pb = b[h.b_begin + i].parsed;
        const bool same_read = pa && pb && is_read(pa->event.kind) && pa->event.kind == pb->event.kind &&
                               pa->event.address == pb->event.address;
        (same_read ? kind.reads_differ : kind.program_differs) = true;
    }
    return kind;
}

} // namespace kova::trace
