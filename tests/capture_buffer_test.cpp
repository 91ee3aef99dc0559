// Double buffering of the capture engine and the field polarity of the video port.
#include "capture.h"
#include "sim_fixture.h"

#include <cstdio>
#include <string>

namespace {

using kova::sim::Reg;

constexpr int kBank1 = 0x80;
constexpr int kBackBufferCopyBank = 0x01;

// GR write and GR masked write as trace lines.
Lines gr(unsigned index, unsigned value) {
    char a[16], b[16];
    std::snprintf(a, sizeof a, "w8 003CE %02X", index);
    std::snprintf(b, sizeof b, "w8 003CF %02X", value);
    return {a, b};
}
Lines gr_m(unsigned index, unsigned old, unsigned now) {
    char r[16], w[16];
    std::snprintf(r, sizeof r, "r8 003CF %02X", old);
    std::snprintf(w, sizeof w, "w8 003CF %02X", now);
    return {gr(index, 0)[0], r, w};
}
Lines sr_m(unsigned index, unsigned old, unsigned now) {
    Lines lines = gr_m(index, old, now);
    lines[0].replace(3, 5, "003C4");
    lines[1].replace(3, 5, "003C5");
    lines[2].replace(3, 5, "003C5");
    return lines;
}
Lines join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class DoubleBuffer : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        map();
    }
};

TEST_F(DoubleBuffer, BackBufferAddressInItsThreeCopies) {
    sim.set(Reg::gr(0xFA), 0x05);
    sim.set(Reg::gr(0xA9), 0x10); // double buffering already on
    sim.set(Reg::gr(0xAD), 0xF0);
    Kova_SetBackBuffer_addr(1536 * 1024 + 720 * 576); // 0x79500 in 4-byte units
    EXPECT_EQ(trace(),
              join({gr(0xFA, 0x00), gr(0xF7, 0x00), gr(0xA7, 0x00), gr(0xA8, 0x95), gr_m(0xA9, 0x10, 0x17),
                    gr_m(0xAD, 0xF0, 0xF7), gr(0xFA, 0x01), gr(0x41, 0x00), gr(0x42, 0x95), gr(0xFA, 0x00)}));
    EXPECT_EQ(sim.get(Reg::gr(0x42, kBackBufferCopyBank)), 0x95);
    EXPECT_EQ(sim.get(Reg::gr(0x42, 0x00)), 0x00);
}

TEST_F(DoubleBuffer, SwitchingOnKeepsTheBackBufferAddress) {
    sim.set(Reg::gr(0xE0, kBank1), 0x91);
    sim.set(Reg::gr(0xE5, kBank1), 0x5A);
    sim.set(Reg::gr(0xE3, kBank1), 0x84);
    sim.set(Reg::sr(0xA6), 0xFF);
    Kova_SetBackBuffer_addr(1536 * 1024 + 720 * 576);
    sim.clear_trace();
    Kova_EnableDoubleBuffer(1);
    // GR E5 is never written when switching on.
    EXPECT_EQ(trace(), join({gr(0xF7, 0x00), gr(0xFA, 0x80), gr(0xE7, 0x60), gr(0xE9, 0x06),
                             gr_m(0xE0, 0x91, 0xF9), gr_m(0xE3, 0x84, 0x8C), gr(0xFA, 0x00),
                             gr_m(0xAC, 0x00, 0x02), gr_m(0xA9, 0x07, 0x17), sr_m(0xA6, 0xFF, 0xDF)}));
    EXPECT_EQ(sim.get(Reg::gr(0xE9, kBank1)), 0x06);
    EXPECT_EQ(sim.get(Reg::gr(0xE9, 0x00)), 0x00);
    EXPECT_EQ(sim.get(Reg::gr(0xE5, kBank1)), 0x5A);
}

TEST_F(DoubleBuffer, SwitchingOffClearsBank80IncludingGrE5) {
    for (unsigned index : {0xE7u, 0xE9u, 0xE0u, 0xE3u, 0xE5u})
        sim.set(Reg::gr(static_cast<std::uint8_t>(index), kBank1), 0xFF);
    sim.set(Reg::gr(0xAC), 0xFF);
    sim.set(Reg::gr(0xA9), 0x17);
    sim.set(Reg::sr(0xA6), 0x20);
    Kova_EnableDoubleBuffer(0);
    EXPECT_EQ(trace(), join({gr(0xF7, 0x00), gr(0xFA, 0x80), gr(0xE7, 0x00), gr(0xE9, 0x00), gr(0xE0, 0x00),
                             gr(0xE3, 0x00), gr(0xE5, 0x00), gr(0xFA, 0x00), gr_m(0xAC, 0xFF, 0xFD),
                             gr_m(0xA9, 0x17, 0x07), sr_m(0xA6, 0x20, 0x00)}));
    // The common-bank status register (GR E5 in bank 0x00) is another register.
    EXPECT_EQ(sim.get(Reg::gr(0xE5, 0x00)), 0x02);
}

TEST_F(DoubleBuffer, FieldPolarityChangesOnlyBit5OfTheCommonGrE9) {
    sim.set(Reg::gr(0xFA), kBank1);
    sim.set(Reg::gr(0xE9, 0x00), 0x36);
    sim.set(Reg::gr(0xE9, kBank1), 0x10);
    Kova_InvertFieldPolarity(0);
    EXPECT_EQ(trace(), join({gr(0xFA, 0x00), gr_m(0xE9, 0x36, 0x16)}));
    sim.set(Reg::gr(0xE9, 0x00), 0x10);
    Kova_InvertFieldPolarity(7);
    EXPECT_EQ(sim.get(Reg::gr(0xE9, 0x00)), 0x30);
    EXPECT_EQ(sim.get(Reg::gr(0xE9, kBank1)), 0x10);
    EXPECT_EQ(sim.page_fa(), 0x00);
}

} // namespace
