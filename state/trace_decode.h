// Reading register traces: each line of a trace with the registers it reaches,
// decoded from the register map, and two traces aligned line by line.
//
// A trace line is an event ("iopl 3", "open /dev/mem", "mmap E0000000 400000",
// "close") or an access: "out8 PPPP VV" and "in8 PPPP VV" by port I/O,
// "w8/r8/w16/r16/w32/r32 OOOOO VALUE" in the register window; " FAIL" where a
// call failed.  A timed trace ends each line with " @SECONDS" (the seconds
// since the program started, "@0.000153"); other text after the fields is
// kept as it is.
//
// The decoder follows the index and page registers as the controller does:
// the index ports hold the index of GR, SR and CR, a data port reaches the
// register at the current index in the current page (GR FA or GR BF), and a
// wider access is its bytes in ascending order (a 16-bit store to 3CE sets the
// index and writes the register at once).  A trace from a program that started
// on a controller in an unknown state shows "??" for an index or page not yet
// written or read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kova::trace {

struct Event {
    enum class Kind : std::uint8_t { Iopl, Open, Mmap, Close, Out8, In8, W8, R8, W16, R16, W32, R32 };
    Kind kind = Kind::Iopl;
    bool failed = false;
    std::uint32_t address = 0; // iopl level, mmap physical address, port or window offset
    std::uint32_t value = 0;   // mmap length, or the value written or read
};

bool is_read(Event::Kind kind);
bool is_write(Event::Kind kind);

// One trace line taken apart: its event, the text after the event's fields
// (without a FAIL among them, and without the time), and the time of a timed
// line ("@0.000153", "" for a line without).  nullopt for a line that is no
// event.
struct ParsedLine {
    Event event;
    std::string extra;
    std::string time;
};
std::optional<ParsedLine> parse_line(std::string_view line);

// The line of an event in the trace format, without any extra text: what two
// traces are compared on.
std::string canonical(const Event &event);

// A register an access reaches, decoded.
struct Field {
    const char *meaning;
    std::uint32_t value;
    unsigned width;
};
struct Register {
    std::string name;    // "GRE5@00", "TVE47C", "P03DA", "GRE5@??", "window 12345"
    std::string meaning; // from the register map, "" for a register it does not name
    std::uint32_t value = 0;
    int digits = 2;
    std::string note; // "byte 1 of 2", "selects GRE8 capture control"
    std::vector<Field> fields;
};

struct DecodedLine {
    std::string text; // the line as it was
    std::optional<ParsedLine> parsed;
    std::vector<Register> registers; // what an access reaches, byte or register by register
    std::string summary;             // what another event does (mmap: which mapping)
};

// Decodes a trace line by line, keeping the index and page registers.
class Decoder {
  public:
    DecodedLine decode(std::string_view line);

  private:
    void access(const Event &event, DecodedLine &out);
    Register port_byte(std::uint16_t port, std::uint8_t value);
    Register indexed(int file, std::uint8_t value);
    std::string selected(int file) const;
    std::string mmap_summary(const Event &event) const;

    std::optional<std::uint8_t> index_[3]; // GR, SR, CR
    std::optional<std::uint8_t> page_fa_, page_bf_, aperture_base_;
};

// "NAME=VALUE meaning, note: field=value; field=value"
std::string describe(const Register &reg);
// The line as it was, then what it reaches (or its summary); a timed line's
// time comes last, after what it reaches.
std::string describe(const DecodedLine &line);

// Decodes a whole trace.
std::vector<DecodedLine> decode_all(const std::vector<std::string> &lines);

// A difference between two traces: lines [a_begin, a_end) of the one stand
// where lines [b_begin, b_end) of the other do.
struct Hunk {
    std::size_t a_begin, a_end, b_begin, b_end;
};

// Aligns two traces on their events (extra text ignored) as diff does, with
// at most max_edits lines added or removed; past that, everything between
// the common start and the common end is one hunk (`bounded` is set).
std::vector<Hunk> align(const std::vector<DecodedLine> &a, const std::vector<DecodedLine> &b,
                        std::size_t max_edits, bool &bounded);

// What a hunk means: the paired lines that are reads of one register with
// other values (the card and the model disagree), or a difference in the
// program (writes, and lines on one side only).
struct HunkKind {
    bool reads_differ = false;
    bool program_differs = false;
};
HunkKind classify(const Hunk &hunk, const std::vector<DecodedLine> &a, const std::vector<DecodedLine> &b);

} // namespace kova::trace
