// Traces read back: kovactl trace decode names each register a line reaches,
// following the index and page registers as the controller does, and trace
// diff aligns two traces and reports each difference with diff's statuses.
#include "kovasim_run.h"
#include "program_run.h"
#include "scratch_dir.h"
#include "trace_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

std::string decoded_last(const std::vector<std::string> &lines) {
    const std::vector<kova::trace::DecodedLine> all = kova::trace::decode_all(lines);
    return all.back().registers.empty() ? all.back().summary
                                        : kova::trace::describe(all.back().registers.back());
}

void write_lines(const std::string &path, const std::vector<std::string> &lines) {
    std::ofstream out(path);
    for (const std::string &line : lines)
        out << line << '\n';
}

// Short traces and what their last line reaches: pages and indexes as set
// by 8- and 16-bit stores and learnt from reads, the register files, TV
// registers, unknown places, and text after the fields.
struct DecodeCase {
    std::vector<std::string> lines;
    std::string last;
};
const DecodeCase kDecodeCases[] = {
    {{"w16 003CE 03FA", "w8 003CE 43", "r8 003CF 80"}, "GR43@03=80 sync status: vertical sync=1"},
    {{"w8 003CE FA", "r8 003CF 03", "w8 003CE 43", "r8 003CF 00"}, "GR43@03=00 sync status: vertical sync=0"},
    {{"w8 003CE 43", "r8 003CF 00"}, "GR43@\?\?=00"},
    {{"r8 003CF 00"}, "GR\?\?=00"},
    {{"w16 003CE 80FA", "w16 003CE 0061"}, "GR61@80=00 capture x start (engine 1), byte 1 of 2"},
    {{"w16 003CE 05FA", "w16 003CE 0061"}, "GR61@05=00"},
    {{"w16 003CE 01BF", "w16 003CE 00FA", "w8 003CE B1", "r8 003CF 04"},
     "GRB1@01=04 TV sense status: TV sensing possible=1"},
    {{"w16 003C4 86DC"}, "SRDC=86 overlay control (window 1): mode=1; enable=1; wide source=0; on=1"},
    {{"w16 003CE 08FA", "out8 03C4 4F", "in8 03C5 C1"},
     "SR4F@08=C1 sync-lock output switch 2: output bit 0=1; output bit 4=0; output bits 7-6=0x3"},
    {{"out8 03D4 28", "out8 03D5 5A @1.25"}, "CR28=5A sync lock 28"},
    {{"r32 BE438 12341000"}, "TVE43A=1234"},
    {{"w16 BE582 E417"}, "TVE582=E417 sync-lock image 32-bit entry 20, high half"},
    {{"w8 BE43B 01"}, "TVE43A=01 high byte"},
    {{"w8 BE434 01"}, "TVE434=01 sync-lock image 16-bit entry 3, low byte"},
    {{"w8 BE439 10"}, "TVE438=10 TV standard, byte 1 of 2: NTSC=1"},
    {{"r8 003DA 09"}, "P03DA=09 input status: display blanked=1; vertical retrace=1"},
    {{"w8 12345 00"}, "window 12345=00"},
    {{"out8 03CE 35", "in8 03CF E0", "mmap E0800000 100000"}, "register window"},
    {{"out8 03CE 35", "in8 03CF E0", "mmap D0000000 400000 FAIL"},
     "outside the controller's aperture (GR35=E0), failed"},
};

TEST(TraceDecode, FollowsIndexesAndPages) {
    for (const DecodeCase &c : kDecodeCases)
        EXPECT_EQ(decoded_last(c.lines), c.last) << c.lines.back();
}

// Text after the fields: a time (the last word, "@SECONDS") goes after the
// decoded form; other text stays with the line; a line without keeps today's form.
struct TailCase {
    const char *line;
    bool failed;
    const char *extra, *time, *described;
};
const TailCase kTailCases[] = {
    {"r8 003DA 09", false, "", "",
     "r8 003DA 09           P03DA=09 input status: display blanked=1; vertical retrace=1"},
    {"r8 003DA 09 @12.5", false, "", "@12.5",
     "r8 003DA 09           P03DA=09 input status: display blanked=1; vertical retrace=1  @12.5"},
    {"in8 03DA 00 FAIL @0.000001", true, "", "@0.000001",
     "in8 03DA 00 FAIL      P03DA=00 input status: display blanked=0; vertical retrace=0  @0.000001"},
    {"mmap E0000000 400000 FAIL @0.000125 s", true, "@0.000125 s", "",
     "mmap E0000000 400000 FAIL @0.000125 s"},
    {"w8 12345 00 @1.2", false, "", "@1.2", "w8 12345 00           window 12345=00  @1.2"},
    {"w8 12345 00 @1.2.3", false, "@1.2.3", "", "w8 12345 00 @1.2.3    window 12345=00"},
    {"w8 12345 00 @.5", false, "@.5", "", "w8 12345 00 @.5       window 12345=00"},
    {"close @3", false, "", "@3", "close @3"},
};

TEST(TraceDecode, TimesAndOtherTextAfterTheFields) {
    for (const TailCase &c : kTailCases) {
        const auto parsed = kova::trace::parse_line(c.line);
        ASSERT_TRUE(parsed.has_value()) << c.line;
        EXPECT_EQ(parsed->event.failed, c.failed) << c.line;
        EXPECT_EQ(parsed->extra, c.extra) << c.line;
        EXPECT_EQ(parsed->time, c.time) << c.line;
        EXPECT_EQ(kova::trace::describe(kova::trace::decode_all({c.line}).back()), c.described);
    }
    EXPECT_EQ(kova::trace::canonical(kova::trace::parse_line("in8 03DA 00 FAIL @0.000001")->event),
              "in8 03DA 00 FAIL");
    EXPECT_EQ(kova::trace::canonical(kova::trace::parse_line("mmap E0000000 400000 FAIL @0.000125 s")->event),
              "mmap E0000000 400000 FAIL");
    EXPECT_FALSE(kova::trace::parse_line("w8 003CE").has_value());
    EXPECT_FALSE(kova::trace::parse_line("w8 003CE @0.5").has_value());
    EXPECT_FALSE(kova::trace::parse_line("poke 003CE 12").has_value());
}

// Two traces aligned: each hunk as diff's "a,bXc,d" and what it means
// (R: a read differs, P: the program differs), the bound included.
struct DiffCase {
    std::vector<std::string> a, b;
    std::size_t max_edits;
    std::string hunks;
};
const DiffCase kDiffCases[] = {
    {{"w8 003CE E5", "r8 003CF 02"}, {"w8 003CE E5 @1", "r8 003CF 02 @2"}, 10, ""},
    {{"w8 003CE E5 @0.000001", "r8 003CF 02 @0.000002"},
     {"w8 003CE E5 @0.000010", "r8 003CF 00 @0.000020"},
     10,
     "1,2c1,2 R "},
    {{"w8 003CE E8 @0.1", "w8 003CF 01 @0.2"}, {"w8 003CE E8 @0.1", "w8 003CF 05 @0.2"}, 10, "1,2c1,2 P "},
    {{"w8 003CE E5", "r8 003CF 02", "close"}, {"w8 003CE E5", "r8 003CF 00", "close"}, 10, "1,2c1,2 R "},
    {{"r8 003DA 00", "r8 003DA 00", "w8 003CE E8", "w8 003CF 01"},
     {"r8 003DA 00", "w8 003CE E8", "w8 003CF 05"},
     10,
     "1,2c1,1 P 3,4c2,3 P "},
    {{"open", "close"}, {"open", "iopl 3", "close", "iopl 3"}, 10, "1,1c1,2 P 2,2c3,4 P "},
    {{"a", "b", "c", "d"}, {"a", "x", "c", "y"}, 1, "1,4c1,4 P "},
};

TEST(TraceDiff, AlignsLikeDiffAndTellsReadsFromTheProgram) {
    for (const DiffCase &c : kDiffCases) {
        const auto a = kova::trace::decode_all(c.a), b = kova::trace::decode_all(c.b);
        bool bounded = false;
        std::string got;
        for (const kova::trace::Hunk &h : kova::trace::align(a, b, c.max_edits, bounded)) {
            const kova::trace::HunkKind kind = kova::trace::classify(h, a, b);
            got += std::to_string(h.a_begin) + "," + std::to_string(h.a_end) + "c" +
                   std::to_string(h.b_begin) + "," + std::to_string(h.b_end) + " " +
                   (kind.reads_differ ? "R" : "") + (kind.program_differs ? "P" : "") + " ";
        }
        EXPECT_EQ(got, c.hunks) << c.b.back();
        EXPECT_EQ(bounded, c.max_edits == 1);
    }
}

// The registers of the library's sync lock in capview -s 3's trace, a line
// of each with its name and page.
struct SyncLockLine {
    const char *name;
    const char *meaning;
};
const SyncLockLine kSyncLockLines[] = {
    {"GR43@03", "sync status"},
    {"CR28", "sync lock 28"},
    {"CR29", "sync lock 29"},
    {"CR2A", "sync lock 2A"},
    {"CR2B", "sync lock 2B"},
    {"SR4A", "sync-lock output switch"},
    {"SREB", "VCR control"},
    {"SRE4", "ext sync E4"},
    {"TVE47C", "TV deferred"},
    {"TVE438", "TV standard"},
    {"GR4E@05", "TV output control"},
    {"SR4F@08", "sync-lock output switch 2"},
    {"P03C6", "DAC mask"},
    {"GRBA@01", "video port BA"},
    {"CR11", "vertical retrace end"},
    {"TVE42C", "sync-lock image 16-bit entry 1"},
    {"TVE532", "sync-lock image 32-bit entry 0, high half"},
};

class TraceOfSyncLock : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const KovasimRun run = run_kovasim({"-s", "3"});
        ASSERT_EQ(run.status, 0) << run.err;
        trace_ = new std::vector<std::string>(run.trace);
    }
    static void TearDownTestSuite() { delete trace_; }
    static std::vector<std::string> *trace_;
};
std::vector<std::string> *TraceOfSyncLock::trace_ = nullptr;

TEST_F(TraceOfSyncLock, NamesEveryRegisterWithItsPage) {
    const std::vector<kova::trace::DecodedLine> decoded = kova::trace::decode_all(*trace_);
    for (const SyncLockLine &expected : kSyncLockLines) {
        const auto line = std::ranges::find_if(decoded, [&](const kova::trace::DecodedLine &l) {
            return !l.registers.empty() && l.registers.back().name == expected.name;
        });
        ASSERT_NE(line, decoded.end()) << expected.name;
        EXPECT_EQ(line->registers.back().meaning, expected.meaning) << line->text;
    }
    // Every register of an indexed file that the sync lock reaches is the
    // map's, in a known page.
    for (const kova::trace::DecodedLine &line : decoded)
        for (const kova::trace::Register &r : line.registers)
            if (!r.name.starts_with("TV")) {
                EXPECT_FALSE(r.meaning.empty()) << line.text << ": " << r.name;
                EXPECT_EQ(r.name.find('?'), std::string::npos) << line.text;
            }
}

TEST_F(TraceOfSyncLock, KovactlDecodesAndDiffs) {
    const ScratchDir dir;
    const std::string a = dir / "a", b = dir / "b";
    write_lines(a, *trace_);
    const program_run::Outcome decoded = program_run::run(KOVACTL_PATH, {"trace", "decode", a});
    EXPECT_EQ(decoded.status, 0) << decoded.err;
    const std::vector<std::string> out = program_run::lines_of(decoded.out);
    ASSERT_EQ(out.size(), trace_->size());
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_TRUE(out[i].starts_with((*trace_)[i])) << out[i]; // the line as it was, first

    // Same events, times added: equal.  One read other: that line alone.
    std::vector<std::string> other;
    for (const std::string &line : *trace_)
        other.push_back(line + " @0.5");
    write_lines(b, other);
    const program_run::Outcome same = program_run::run(KOVACTL_PATH, {"trace", "diff", a, b});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, "");

    // The timed trace decodes as the other, each time after its line's decoded form.
    const program_run::Outcome timed = program_run::run(KOVACTL_PATH, {"trace", "decode", b});
    EXPECT_EQ(timed.status, 0) << timed.err;
    const std::vector<std::string> timed_out = program_run::lines_of(timed.out);
    ASSERT_EQ(timed_out.size(), out.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(timed_out[i], out[i] + (out[i] == (*trace_)[i] ? " @0.5" : "  @0.5"));

    const auto read = std::ranges::find(*trace_, "r8 003CF 02") - trace_->begin();
    ASSERT_LT(read, static_cast<long>(trace_->size()));
    other[static_cast<std::size_t>(read)] = "r8 003CF 00 @0.5";
    write_lines(b, other);
    const program_run::Outcome differ = program_run::run(KOVACTL_PATH, {"trace", "diff", a, b});
    EXPECT_EQ(differ.status, 1) << differ.err;
    const std::string n = std::to_string(read + 1);
    EXPECT_EQ(
        program_run::lines_of(differ.out),
        (std::vector<std::string>{n + "c" + n + " a read differs: the card and the model disagree",
                                  "< r8 003CF 02           GRE5@00=02 capture status: stopped=1", "---",
                                  "> r8 003CF 00           GRE5@00=00 capture status: stopped=0  @0.5"}));
    other = *trace_;
    other[static_cast<std::size_t>(read)] = "r8 003CF 00";

    other.erase(other.begin() + read + 1); // and a line fewer: the program differs
    write_lines(b, other);
    const program_run::Outcome fewer = program_run::run(KOVACTL_PATH, {"trace", "diff", a, b});
    EXPECT_EQ(fewer.status, 1);
    EXPECT_NE(fewer.out.find("the program differs"), std::string::npos) << fewer.out;
    EXPECT_EQ(program_run::run(KOVACTL_PATH, {"trace", "diff", a, dir / "missing"}).status, 2);
}

} // namespace
