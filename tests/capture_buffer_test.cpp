// Double buffering of the capture engine and the field polarity of the video port.
#include "capture.h"
#include "sim_fixture.h"

namespace {

using kova::registers::Reg;

constexpr int kBank1 = kova::reg::page::kEngine1;
constexpr int kBackBufferCopyBank = kova::reg::page::kBackBufferCopy;

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
    EXPECT_EQ(ops(), (Lines{"GR FA=00", "GR F7=00", "GR A7=00", "GR A8=95", "GR A9?10", "GR A9'=17",
                            "GR AD?F0", "GR AD'=F7", "GR FA=01", "GR 41=00", "GR 42=95", "GR FA=00"}));
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
    EXPECT_EQ(ops(), (Lines{"GR F7=00", "GR FA=80", "GR E7=60", "GR E9=06", "GR E0?91", "GR E0'=F9",
                            "GR E3?84", "GR E3'=8C", "GR FA=00", "GR AC?00", "GR AC'=02", "GR A9?07",
                            "GR A9'=17", "SR A6?FF", "SR A6'=DF"}));
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
    EXPECT_EQ(ops(),
              (Lines{"GR F7=00", "GR FA=80", "GR E7=00", "GR E9=00", "GR E0=00", "GR E3=00", "GR E5=00",
                     "GR FA=00", "GR AC?FF", "GR AC'=FD", "GR A9?17", "GR A9'=07", "SR A6?20", "SR A6'=00"}));
    // The common-bank status register (GR E5 in bank 0x00) is another register.
    EXPECT_EQ(sim.get(Reg::gr(0xE5, 0x00)), 0x02);
}

TEST_F(DoubleBuffer, FieldPolarityChangesOnlyBit5OfTheCommonGrE9) {
    sim.set(Reg::gr(0xFA), kBank1);
    sim.set(Reg::gr(0xE9, 0x00), 0x36);
    sim.set(Reg::gr(0xE9, kBank1), 0x10);
    Kova_InvertFieldPolarity(0);
    EXPECT_EQ(ops(), (Lines{"GR FA=00", "GR E9?36", "GR E9'=16"}));
    sim.set(Reg::gr(0xE9, 0x00), 0x10);
    Kova_InvertFieldPolarity(7);
    EXPECT_EQ(sim.get(Reg::gr(0xE9, 0x00)), 0x30);
    EXPECT_EQ(sim.get(Reg::gr(0xE9, kBank1)), 0x10);
    EXPECT_EQ(sim.page_fa(), 0x00);
}

} // namespace
