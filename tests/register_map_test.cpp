// The register map is consistent: one entry per register, fields inside the
// register and apart from one another, paging that agrees with the simulated
// controller, and field helpers that give the masked writes the library makes.
#include "register_map.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

#include "controller.h"

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

TEST(RegisterMap, FieldsLieInsideTheRegisterAndApart) {
    for (const Register &r : kRegisters) {
        unsigned used = 0;
        for (std::size_t i = 0; i < r.field_count(); ++i) {
            const Field &f = r.fields[i];
            EXPECT_LE(f.shift + f.width, r.width()) << describe(r) << " field " << f.meaning;
            const unsigned bits = ((1u << f.width) - 1u) << f.shift;
            EXPECT_EQ(used & bits, 0u) << describe(r) << " overlapping field " << f.meaning;
            used |= bits;
        }
        for (std::size_t i = r.field_count(); i < kMaxFields; ++i)
            EXPECT_EQ(r.fields[i].width, 0) << describe(r) << ": a field after the end of the list";
    }
}

TEST(RegisterMap, PagingAgreesWithTheSimulatedController) {
    using kova::sim::Pager;
    using kova::sim::RegFile;
    const auto sim_pager = [](Pager p) {
        return p == Pager::GrFA   ? kova::reg::Pager::GrFA
               : p == Pager::GrBF ? kova::reg::Pager::GrBF
                                  : kova::reg::Pager::None;
    };
    for (const Register &r : kRegisters) {
        if (r.file == File::Port || r.file == File::TV) {
            EXPECT_EQ(r.pager, kova::reg::Pager::None) << describe(r);
            continue;
        }
        for (const File file : files_of(r))
            for (unsigned n = 0; n < r.span; ++n) {
                const auto index = static_cast<std::uint8_t>(r.index + n);
                const RegFile sim_file = file == File::GR   ? RegFile::GR
                                         : file == File::SR ? RegFile::SR
                                                            : RegFile::CR;
                EXPECT_EQ(sim_pager(kova::sim::pager_of(sim_file, index)), r.pager) << describe(r);
            }
        // An unpaged register carries no page.
        if (r.pager == kova::reg::Pager::None) {
            EXPECT_EQ(r.page, kCurrentPage) << describe(r);
        }
    }
}

TEST(RegisterMap, FieldHelpersGiveTheMaskedWrites) {
    struct Case {
        const char *what;
        Change change;
        std::uint8_t value, keep;
    };
    const Case cases[] = {
        {"one bit set", set(capture_control::kHold, 1), 0x04, 0xFB},
        {"one bit cleared", set(capture_control::kStop, 0), 0x00, 0xF7},
        {"two fields", set(capture_control::kStop, 0) | set(capture_control::kHold, 0), 0x00, 0xF3},
        {"multi-bit field", set(clock_ef::kGenlock, 3), 0x30, 0xCF},
        {"value wider than its field", set(guard_high::kEngine0, 0x17), 0x07, 0xF0},
        {"only the given fields kept", clear_all_but(cap_field_scale::kFieldScaling, cap_field_scale::kBit5),
         0x00, 0x22},
        {"image keeping fields", image_keeping(0x33, clock_ef::kHigh, clock_ef::kEngine1), 0x33, 0xC2},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.change.value, c.value) << c.what;
        EXPECT_EQ(c.change.keep, c.keep) << c.what;
    }
    EXPECT_EQ(ovl_pitch_high::kFetch.extract(0xA5), 0xAu);
    EXPECT_EQ(tv_keep_all_but(tv_dac::kDrive8, tv_dac::kDrive1), 0xFEFD);
}

} // namespace
