// trace: register traces read back (state/trace_decode.h): each line decoded,
// and two traces held against each other.  Files alone: no controller is
// opened, in either flavour.
#include "json.h"
#include "kovactl.h"
#include "trace_decode.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>

namespace kova::ctl {

namespace {

// diff's statuses: the traces are equal, they differ, or trouble.
constexpr int kDiffEqual = 0;
constexpr int kDiffDiffer = 1;
constexpr int kDiffTrouble = 2;
// Lines added or removed that diff aligns; past that, the rest is one hunk.
constexpr std::size_t kMaxEdits = 1000;

constexpr ArgSpec kFile[] = {{.name = "FILE", .kind = ArgSpec::Kind::Text}};
constexpr ArgSpec kFiles[] = {{.name = "A", .kind = ArgSpec::Kind::Text},
                              {.name = "B", .kind = ArgSpec::Kind::Text}};

// An open trace: standard input for "-".
struct Input {
    std::ifstream file;
    std::istream *stream = nullptr;
};

bool open_input(std::string_view name, Input &in) {
    if (name == "-") {
        in.stream = &std::cin;
        return true;
    }
    in.file.open(std::string(name));
    in.stream = &in.file;
    return in.file.is_open();
}

bool read_lines(std::string_view name, std::vector<std::string> &lines) {
    errno = 0;
    Input in;
    if (!open_input(name, in)) return false;
    for (std::string line; std::getline(*in.stream, line);)
        lines.push_back(line);
    return !in.stream->bad();
}

JsonObject register_json(const trace::Register &r) {
    JsonObject fields;
    for (const trace::Field &f : r.fields)
        fields.add(f.meaning, f.value);
    JsonObject j;
    j.add("name", r.name).add("meaning", r.meaning).add("value", r.value);
    return j.add("note", r.note).add("fields", fields);
}

JsonObject line_json(std::size_t number, const trace::DecodedLine &line) {
    JsonObject j;
    j.add("line", number).add("text", line.text);
    if (line.parsed) {
        const trace::Event &e = line.parsed->event;
        const std::string canonical = trace::canonical(e);
        j.add("event", std::string_view(canonical).substr(0, canonical.find(' ')));
        j.add("address", e.address).add("value", e.value).add("failed", e.failed);
        j.add("extra", line.parsed->extra);
        if (!line.parsed->time.empty()) j.add("time", std::string_view(line.parsed->time).substr(1));
    }
    std::vector<JsonObject> registers;
    for (const trace::Register &r : line.registers)
        registers.push_back(register_json(r));
    return j.add("summary", line.summary).add("registers", std::span<const JsonObject>(registers));
}

int decode(const Options &options, const Args &args) {
    const std::string_view name = args.text[0];
    Input in;
    if (!open_input(name, in))
        return error(kExitFailure, "trace decode: %.*s: %s", static_cast<int>(name.size()), name.data(),
                     std::strerror(errno));
    trace::Decoder decoder;
    std::size_t number = 0, strange = 0, first_strange = 0;
    for (std::string text; std::getline(*in.stream, text);) {
        const trace::DecodedLine line = decoder.decode(text);
        ++number;
        if (!line.parsed && !line.summary.empty() && strange++ == 0) first_strange = number;
        if (options.json)
            print_json(line_json(number, line));
        else
            std::printf("%s\n", trace::describe(line).c_str());
    }
    if (in.stream->bad())
        return error(kExitFailure, "trace decode: %.*s: read error", static_cast<int>(name.size()),
                     name.data());
    if (strange != 0)
        return error(kExitFailure, "trace decode: %.*s: %zu line%s not trace events (the first is line %zu)",
                     static_cast<int>(name.size()), name.data(), strange, strange == 1 ? " is" : "s are",
                     first_strange);
    return kExitOk;
}

// diff's range of lines [begin, end) counted from 1: "5", "5,7", or the line
// before an empty range.
std::string range(std::size_t begin, std::size_t end) {
    if (end <= begin + 1) return std::to_string(end <= begin ? begin : end);
    return std::to_string(begin + 1) + "," + std::to_string(end);
}

void print_hunk(const trace::Hunk &h, const std::vector<trace::DecodedLine> &a,
                const std::vector<trace::DecodedLine> &b) {
    const char op = h.a_begin == h.a_end ? 'a' : h.b_begin == h.b_end ? 'd' : 'c';
    const trace::HunkKind kind = trace::classify(h, a, b);
    std::string what;
    if (kind.reads_differ) what = "a read differs: the card and the model disagree";
    if (kind.program_differs) what += std::string(what.empty() ? "" : "; ") + "the program differs";
    std::printf("%s%c%s %s\n", range(h.a_begin, h.a_end).c_str(), op, range(h.b_begin, h.b_end).c_str(),
                what.c_str());
    for (std::size_t i = h.a_begin; i < h.a_end; ++i)
        std::printf("< %s\n", trace::describe(a[i]).c_str());
    if (op == 'c') std::printf("---\n");
    for (std::size_t i = h.b_begin; i < h.b_end; ++i)
        std::printf("> %s\n", trace::describe(b[i]).c_str());
}

int diff(const Options &, const Args &args) {
    if (args.text[0] == "-" && args.text[1] == "-")
        return error(kDiffTrouble, "trace diff: only one of A and B can be standard input");
    std::vector<std::string> lines[2];
    for (int side = 0; side < 2; ++side)
        if (!read_lines(args.text[side], lines[side]))
            return error(kDiffTrouble, "trace diff: %.*s: %s", static_cast<int>(args.text[side].size()),
                         args.text[side].data(), errno != 0 ? std::strerror(errno) : "read error");
    const std::vector<trace::DecodedLine> a = trace::decode_all(lines[0]), b = trace::decode_all(lines[1]);
    bool bounded = false;
    const std::vector<trace::Hunk> hunks = trace::align(a, b, kMaxEdits, bounded);
    if (bounded)
        error(kDiffDiffer, "trace diff: more than %zu lines added or removed; shown as one difference",
              kMaxEdits);
    for (const trace::Hunk &h : hunks)
        print_hunk(h, a, b);
    return hunks.empty() ? kDiffEqual : kDiffDiffer;
}

constexpr Command kCommands[] = {
    {.name = "trace",
     .numbered = false,
     .word = "decode",
     .args = kFile,
     .writes = false,
     .handler = decode,
     .help = "print the trace FILE (- for standard input), each line with the registers it reaches decoded",
     .sessionless = true},
    {.name = "trace",
     .numbered = false,
     .word = "diff",
     .args = kFiles,
     .writes = false,
     .handler = diff,
     .help =
         "the differences between traces A and B, aligned and decoded (status 0 equal, 1 differ, 2 trouble)",
     .sessionless = true},
};

} // namespace

std::span<const Command> trace_commands() {
    return kCommands;
}

} // namespace kova::ctl
