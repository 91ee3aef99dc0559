// The register map is consistent: one entry per register, fields inside the
// register and apart from one another, the pages the simulated controller
// keeps, and field helpers that give the masked writes the library makes.
#include "register_access.h"
#include "register_map.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <type_traits>
#include <string>
#include <tuple>

#include "controller.h"
#include "engines.h"

namespace {

using namespace kova::reg;

std::string describe(const Register &r) {
    return std::string(r.name) + " (index " + std::to_string(r.index) + ")";
}

// The indexed files an entry's bytes live in: CAP is GR, OVL is GR and SR.
std::vector<File> files_of(const Register &r) {
    if (r.file == File::CAP) return {File::GR};
    if (r.file == File::OVL) return {File::GR, File::SR};
    return {r.file};
}

// The pages an entry occupies: a capture register is in both engines' pages.
std::vector<int> pages_of(const Register &r) {
    if (r.file == File::CAP) return {page::kCommon, page::kEngine1};
    return {r.page};
}

TEST(RegisterMap, EveryRegisterHasOneEntry) {
    std::set<std::tuple<File, unsigned, int>> seen;
    std::set<std::string> names;
    for (const Register &r : kRegisters) {
        EXPECT_TRUE(names.insert(r.name).second) << "name used twice: " << r.name;
        for (const File file : files_of(r))
            for (const int page : pages_of(r))
                for (unsigned n = 0; n < r.span; ++n)
                    EXPECT_TRUE(seen.insert({file, r.index + n, page}).second) << describe(r);
    }
}

// Each field inside its register, apart from the others, and named apart
// from them (a decoded trace names fields by their meaning alone).
TEST(RegisterMap, FieldsLieInsideTheRegisterAndApart) {
    for (const Register &r : kRegisters) {
        unsigned used = 0;
        std::size_t n = 0;
        std::set<std::string_view> names;
        for (const Field &f : r.fields) {
            if (n++ >= r.field_count()) {
                EXPECT_EQ(f.width, 0) << describe(r) << ": a field after the end of the list";
                continue;
            }
            EXPECT_LE(f.shift + f.width, r.width()) << describe(r) << " field " << f.meaning;
            const unsigned bits = ((1u << f.width) - 1u) << f.shift;
            EXPECT_EQ(used & bits, 0u) << describe(r) << " overlapping field " << f.meaning;
            EXPECT_TRUE(names.insert(f.meaning).second) << describe(r) << " two fields named " << f.meaning;
            used |= bits;
        }
    }
}

// The pages the simulated controller keeps, stated here rather than derived
// from the map: paged by GR FA are the capture engines' files, the
// double-buffer and sync-status registers, the TV output control and SR 4F;
// paged by GR BF the clock, sensing and video-port registers B1, BA, BB, BE.
TEST(RegisterMap, PagedRegistersAreTheOnesTheControllerPages) {
    struct Case {
        File file;
        std::uint8_t first, last;
        Pager pager;
    };
    const Case cases[] = {
        {File::GR, 0x41, 0x43, Pager::GrFA}, {File::GR, 0x4E, 0x4E, Pager::GrFA},
        {File::GR, 0x60, 0x6F, Pager::GrFA}, {File::GR, 0xE0, 0xE0, Pager::GrFA},
        {File::GR, 0xE3, 0xE3, Pager::GrFA}, {File::GR, 0xE5, 0xE5, Pager::GrFA},
        {File::GR, 0xE7, 0xE7, Pager::GrFA}, {File::GR, 0xE9, 0xEE, Pager::GrFA},
        {File::SR, 0x4F, 0x4F, Pager::GrFA}, {File::GR, 0xB1, 0xB1, Pager::GrBF},
        {File::GR, 0xBA, 0xBB, Pager::GrBF}, {File::GR, 0xBE, 0xBE, Pager::GrBF},
        {File::GR, 0x44, 0x49, Pager::None}, {File::GR, 0xB0, 0xB0, Pager::None},
        {File::GR, 0xB2, 0xB3, Pager::None}, {File::GR, 0xE8, 0xE8, Pager::None},
        {File::GR, 0xF0, 0xFF, Pager::None}, {File::GR, 0xC0, 0xDE, Pager::None},
        {File::SR, 0x4A, 0x4A, Pager::None}, {File::SR, 0xA0, 0xEF, Pager::None},
        {File::CR, 0x00, 0xFF, Pager::None},
    };
    for (const Case &c : cases)
        for (unsigned index = c.first; index <= c.last; ++index)
            EXPECT_EQ(kova::registers::pager_of(c.file, static_cast<std::uint8_t>(index)), c.pager)
                << "file " << static_cast<int>(c.file) << " index " << index;
    for (const Register &r : kRegisters) {
        if (r.file == File::Port || r.file == File::TV) {
            EXPECT_EQ(r.pager, Pager::None) << describe(r);
        }
        if (r.pager == Pager::None) {
            EXPECT_EQ(r.page, kCurrentPage) << describe(r) << ": unpaged, with a page";
        }
    }
}

// What the compiler refuses: a constant too wide for its field, and a field
// given to another register.
template <const auto &F, std::uint32_t V>
concept ConstantFits = requires {
    typename std::integral_constant<std::uint8_t, set(F, V).value>;
};
template <typename R, typename F>
concept WritableWith = requires(const R &r, F f) {
    update(r, set_value(f, 0));
};
static_assert(ConstantFits<guard_high::kEngine0, 0xF> && !ConstantFits<guard_high::kEngine0, 0x10>);
static_assert(ConstantFits<clock::kFeedbackLow, 0xFF> && !ConstantFits<clock::kFeedbackLow, 0x100>);
static_assert(WritableWith<decltype(kGuardHigh), decltype(guard_high::kEngine1)>);
static_assert(!WritableWith<decltype(kGuardHigh), decltype(clock_ef::kGenlock)>);
static_assert(!WritableWith<decltype(kCaptureControl), decltype(kSafeguard.field())>);
// Registers alike bit for bit share their fields.
static_assert(WritableWith<decltype(kMemoryClockM), decltype(clock::kPostDivider)>);

struct HelperCase {
    const char *what;
    std::uint8_t value, keep, want_value, want_keep;
};
template <typename L>
HelperCase helper_case(const char *what, Change<L> change, std::uint8_t value, std::uint8_t keep) {
    return {what, change.value, change.keep, value, keep};
}

TEST(RegisterMap, FieldHelpersGiveTheMaskedWrites) {
    const std::uint32_t run_time_value = 2;
    const HelperCase cases[] = {
        helper_case("one bit set", set(capture_control::kHold, 1), 0x04, 0xFB),
        helper_case("one bit cleared", set(capture_control::kStop, 0), 0x00, 0xF7),
        helper_case("two fields", set(capture_control::kStop, 0) | set(capture_control::kHold, 0), 0x00,
                    0xF3),
        helper_case("multi-bit field", set(clock_ef::kGenlock, 3), 0x30, 0xCF),
        helper_case("value known at run time", set_value(clock_ef::kGenlock, run_time_value), 0x20, 0xCF),
        helper_case("only the given fields kept",
                    clear_all_but(cap_field_scale::kFieldScaling, cap_field_scale::kBit5), 0x00, 0x22),
        helper_case("image keeping fields", image_keeping(0x33, clock_ef::kHigh, clock_ef::kEngine1), 0x33,
                    0xC2),
    };
    for (const HelperCase &c : cases) {
        EXPECT_EQ(c.value, c.want_value) << c.what;
        EXPECT_EQ(c.keep, c.want_keep) << c.what;
    }
    EXPECT_EQ(ovl_pitch_high::kFetch.extract(0xA5), 0xAu);
    EXPECT_EQ(tv_keep_all_but(tv_dac::kDrive8, tv_dac::kDrive1), 0xFEFD);
}

// A run-time value too wide for its field or composite is never cut silently:
// the checked build (the simulated flavour) stops with a message.
TEST(RegisterMapDeathTest, ARunTimeValueTooWideStops) {
    volatile std::uint32_t wide = 0x17;
    EXPECT_DEATH((void)set_value(guard_high::kEngine0, wide),
                 "value 0x17 is too wide for the 4-bit field \"engine 0 address bits 19-16\"");
    wide = 0x100000;
    EXPECT_DEATH((void)kBackBufferAddress.split(wide), "value 0x100000 is too wide for the 20-bit field");
}

// Each composite value: its parts, and back from registers whose other bits
// are all set.
template <std::size_t N>
void expect_round_trip(const char *name, const Composite<N> &c, unsigned width, std::uint32_t value,
                       const std::array<std::uint32_t, N> &parts) {
    EXPECT_EQ(c.width(), width) << name;
    EXPECT_EQ(c.split(value), parts) << name;
    std::array<std::uint32_t, N> registers{};
    for (std::size_t i = 0; i < N; ++i) {
        const Field &f = c.parts[i].field;
        const std::uint32_t register_bits = (1u << (8 * c.parts[i].where.span)) - 1;
        registers[i] = (parts[i] << f.shift) | (register_bits & ~f.mask());
    }
    EXPECT_EQ(c.join(registers), value) << name;
    EXPECT_EQ(c.wrap(value | 1u << width), value) << name;
}

TEST(RegisterMap, CompositesJoinWhatTheySplit) {
    expect_round_trip("guard 0", kGuard0Address, 20, 0x65544, {0x44, 0x55, 0x6});
    expect_round_trip("guard 1", kGuard1Address, 20, 0xA0B0C, {0x0C, 0x0B, 0xA});
    expect_round_trip("back buffer", kBackBufferAddress, 20, 0xF0201, {0x01, 0x02, 0xF});
    expect_round_trip("back buffer copy", kBackBufferCopyAddress, 20, 0x3FFFF, {0xFF, 0xFF, 0x3});
    expect_round_trip("overlay pitch", kOvlPitchUnits, 12, 0x15A, {0x5A, 0x1});
    expect_round_trip("overlay fetch", kOvlFetchUnits, 12, 0xC77, {0x77, 0xC});
    expect_round_trip("capture destination", kCapDestination, 20, 0x32211, {0x32211});
    expect_round_trip("overlay source", kOvlSource, 24, 0x030201, {0x030201});
}

// The two merges differ only where the value has bits that the keep mask keeps.
TEST(RegisterMap, TheTwoMaskedWriteMergesStayApart) {
    struct Case {
        std::uint8_t value, old, keep, masked, ored;
    };
    const Case cases[] = {
        {0x04, 0xF0, 0xFB, 0xF4, 0xF4}, // a value inside the changed bits: both agree
        {0x33, 0xC0, 0xC2, 0xF1, 0xF3}, // bit 1 in value and keep: kept, or ORed in
        {0x00, 0xFF, 0x00, 0x00, 0x00},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(merge_masked(c.value, c.old, c.keep), c.masked);
        EXPECT_EQ(merge_or(c.value, c.old, c.keep), c.ored);
    }
}

// The engine summary reads the registers through the map's fields: raw
// register values (set by address, not by name) decode to what they mean.
TEST(RegisterMap, EngineSummaryDecodesRawRegisters) {
    using kova::registers::Reg;
    kova::sim::Controller &sim = kova::sim::controller();
    sim.reset();
    // Overlay window 1 lives in SR.
    const std::pair<int, int> overlay[] = {{0xDC, 0xA6}, {0xC5, 0x10}, {0xC6, 0x01}, {0xCB, 0xFF},
                                           {0xCC, 0xFF}, {0xC0, 0x01}, {0xC1, 0x02}, {0xC2, 0x03},
                                           {0xC3, 0x5A}, {0xC4, 0x31}, {0xCD, 0x77}, {0xD7, 0x00},
                                           {0xD8, 0x08}, {0xDB, 0xFD}, {0xA7, 0x0A}};
    for (const auto &[index, value] : overlay)
        sim.set(Reg::sr(static_cast<std::uint8_t>(index)), static_cast<std::uint8_t>(value));
    const kova::sim::OverlayState o = kova::sim::overlay_state(sim, 1);
    EXPECT_TRUE(o.on);
    EXPECT_TRUE(o.wide_source);
    EXPECT_EQ(o.left, 0x110);
    EXPECT_EQ(o.bottom, -1);
    EXPECT_EQ(o.source, 0x030201u * 4);
    EXPECT_EQ(o.pitch, 0x15Au * 8);
    EXPECT_EQ(o.fetch, 0x377u);
    EXPECT_EQ(o.v_factor, 0x0800);
    EXPECT_EQ(o.format, 5);
    EXPECT_TRUE(o.bob);
    EXPECT_TRUE(o.bob_double);
    EXPECT_FALSE(kova::sim::overlay_state(sim, 0).bob);

    // Capture engine 1: its registers in page 0x80, the common ones unpaged or in page 0x00.
    sim.set(Reg::sr(0xEF), 0xFD); // every bit but the engine bit: engine 0
    EXPECT_EQ(kova::sim::capture_state(sim).engine, 0);
    sim.set(Reg::sr(0xEF), 0x02);
    const std::pair<int, int> engine1[] = {{0x60, 0x03}, {0x61, 0x01}, {0xEB, 0x11}, {0xEC, 0x22},
                                           {0xED, 0xF3}, {0xEE, 0xB4}, {0xEA, 0xFD}};
    for (const auto &[index, value] : engine1)
        sim.set(Reg::gr(static_cast<std::uint8_t>(index), 0x80), static_cast<std::uint8_t>(value));
    sim.set(Reg::gr(0xE8), 0x08);
    sim.set(Reg::gr(0x47), 0x44);
    sim.set(Reg::gr(0x48), 0x55);
    sim.set(Reg::gr(0x49), 0x6F);
    sim.set(Reg::sr(0xA2), 0x04);
    sim.set(Reg::gr(0xA7), 0x01);
    sim.set(Reg::gr(0xA8), 0x02);
    sim.set(Reg::gr(0xA9), 0x1F);
    sim.set(Reg::gr(0xAC), 0x02);
    sim.set(Reg::gr(0xE9, 0x00), 0x20);
    const kova::sim::CaptureState c = kova::sim::capture_state(sim);
    EXPECT_EQ(c.engine, 1);
    EXPECT_FALSE(c.enabled);
    EXPECT_TRUE(c.held);
    EXPECT_EQ(c.first_pixel, (0x103 - 1) / 2);
    EXPECT_EQ(c.destination, 0x32211u * 4);
    EXPECT_EQ(c.pitch, 0xB4 * 4);
    EXPECT_FALSE(c.field_scaling);
    EXPECT_TRUE(c.guard_on);
    EXPECT_EQ(c.guard, 0x65544u * 4);
    EXPECT_TRUE(c.double_buffer);
    EXPECT_EQ(c.back_buffer, 0xF0201u * 4);
    EXPECT_TRUE(c.inverted_fields);
}

} // namespace
