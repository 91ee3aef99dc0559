// Register access primitives: width, order and value of every bus access.
#include "misc.h"
#include "sim_fixture.h"

namespace {

using kova::registers::Reg;

class Primitives : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        map();
    }
};

TEST_F(Primitives, PortAccessesAreSingleAccessesOfTheirWidth) {
    kovaoutp(0x3C6, 0x5A);
    EXPECT_EQ(kovainp(0x3C6), 0x5A);
    kovaoutpw(0x3CE, 0x03FA);
    EXPECT_EQ(kovainpw(0x3CE), 0x03FA);
    EXPECT_EQ(trace(), (Lines{"w8 003C6 5A", "r8 003C6 5A", "w16 003CE 03FA", "r16 003CE 03FA"}));
}

TEST_F(Primitives, SixteenBitStoreAtAnIndexPortWritesIndexAndData) {
    kovaoutpw(0x3CE, 0x03FA);
    EXPECT_EQ(sim.get(Reg::port(0x3CE)), 0xFA);
    EXPECT_EQ(sim.get(Reg::gr(0xFA)), 0x03);
    kovaoutpw(0x3C4, 0x7718);
    EXPECT_EQ(sim.get(Reg::sr(0x18)), 0x77);
}

TEST_F(Primitives, IndexedWritesAndReadsGoThroughTheIndexPort) {
    Out_Video_Reg(0x10, 0x11);
    Out_SEQ_Reg(0x20, 0x22);
    Out_CRT_Reg(0x30, 0x33);
    WriteReg(0x3D4, 0x31, 0x44);
    EXPECT_EQ(ReadReg(0x3C4, 0x20), 0x22);
    EXPECT_EQ(trace(), (Lines{"w8 003CE 10", "w8 003CF 11", "w8 003C4 20", "w8 003C5 22", "w8 003D4 30",
                              "w8 003D5 33", "w8 003D4 31", "w8 003D5 44", "w8 003C4 20", "r8 003C5 22"}));
    EXPECT_EQ(sim.get(Reg::gr(0x10)), 0x11);
    EXPECT_EQ(sim.get(Reg::cr(0x31)), 0x44);
}

TEST_F(Primitives, ReadRegLeavesTheIndexInTheIndexPort) {
    EXPECT_EQ(ReadReg(0x3D4, 0x12), 0xFF);
    EXPECT_EQ(sim.get(Reg::port(0x3D4)), 0x12);
    // A later data access without a new index reaches the same register.
    EXPECT_EQ(kovainp(0x3D5), 0xFF);
}

TEST_F(Primitives, MaskedWriteKeepsTheMaskedBits) {
    sim.set(Reg::gr(0x50), 0xF0);
    Out_Video_Reg_M(0x50, 0x04, 0xFB); // set bit 2
    EXPECT_EQ(sim.get(Reg::gr(0x50)), 0xF4);
    Out_Video_Reg_M(0x50, 0x00, 0xFB); // clear bit 2
    EXPECT_EQ(sim.get(Reg::gr(0x50)), 0xF0);
    EXPECT_EQ(trace(), (Lines{"w8 003CE 50", "r8 003CF F0", "w8 003CF F4", "w8 003CE 50", "r8 003CF F4",
                              "w8 003CF F0"}));
}

TEST_F(Primitives, MaskedWriteWithEmptyOrFullKeepStillWrites) {
    sim.set(Reg::sr(0x40), 0x3C);
    Out_SEQ_Reg_M(0x40, 0xA5, 0x00);
    EXPECT_EQ(sim.get(Reg::sr(0x40)), 0xA5);
    Out_SEQ_Reg_M(0x40, 0x00, 0xFF);
    EXPECT_EQ(sim.get(Reg::sr(0x40)), 0xA5);
    EXPECT_EQ(trace(), (Lines{"w8 003C4 40", "r8 003C5 3C", "w8 003C5 A5", "w8 003C4 40", "r8 003C5 A5",
                              "w8 003C5 A5"}));
}

TEST_F(Primitives, MaskedWritesOnEveryPair) {
    sim.set(Reg::cr(0x11), 0x0F);
    Out_CRT_Reg_M(0x11, 0x80, 0x7F);
    EXPECT_EQ(sim.get(Reg::cr(0x11)), 0x8F);
    sim.set(Reg::cr(0x11), 0x0F);
    WriteRegM(0x3D4, 0x11, 0xF0, 0x0F);
    EXPECT_EQ(sim.get(Reg::cr(0x11)), 0xFF);
    EXPECT_EQ(trace(), (Lines{"w8 003D4 11", "r8 003D5 0F", "w8 003D5 8F", "w8 003D4 11", "r8 003D5 0F",
                              "w8 003D5 FF"}));
}

TEST_F(Primitives, TvRegistersAreSixteenBitsAtTheTvBase) {
    sim.set_tv(0xE430, 0xBEEF);
    EXPECT_EQ(ReadTVReg(0xE430), 0xBEEF);
    WriteTVReg(0xE430, 0x1234);
    EXPECT_EQ(sim.get_tv(0xE430), 0x1234);
    EXPECT_EQ(sim.get_tv(0xE42E), 0x0000); // neighbours untouched
    EXPECT_EQ(sim.get_tv(0xE432), 0x0000);
    EXPECT_EQ(trace(), (Lines{"r16 BE430 BEEF", "w16 BE430 1234"}));
}

TEST_F(Primitives, AudioAccessorsShareTheTvRegion) {
    WriteAudioRegW(0x0100, 0xCAFE);
    EXPECT_EQ(ReadTVReg(0x0100), 0xCAFE);
    WriteAudioRegD(0x0200, 0x11223344);
    EXPECT_EQ(sim.get_tv(0x0200), 0x3344);
    EXPECT_EQ(sim.get_tv(0x0202), 0x1122);
    EXPECT_EQ(ReadAudioRegD(0x0200), 0x11223344u);
    WriteAudioRegB(0x0203, 0x99);
    EXPECT_EQ(ReadAudioRegB(0x0203), 0x99);
    EXPECT_EQ(ReadAudioRegW(0x0202), 0x9922);
    EXPECT_EQ(trace(), (Lines{"w16 B0100 CAFE", "r16 B0100 CAFE", "w32 B0200 11223344", "r32 B0200 11223344",
                              "w8 B0203 99", "r8 B0203 99", "r16 B0202 9922"}));
}

TEST_F(Primitives, HighestTvIndexStaysInsideTheWindow) {
    WriteAudioRegB(0xFFFF, 0x7E);
    EXPECT_EQ(ReadAudioRegB(0xFFFF), 0x7E);
    EXPECT_EQ(trace(), (Lines{"w8 BFFFF 7E", "r8 BFFFF 7E"}));
}

TEST_F(Primitives, DirectPortIoRequestsPrivilegeEveryTime) {
    asm_outp(0x3CE, 0x35);
    EXPECT_EQ(asm_inp(0x3CF), 0xE0);
    EXPECT_EQ(trace(), (Lines{"iopl 3", "out8 03CE 35", "iopl 3", "in8 03CF E0"}));
}

TEST_F(Primitives, DirectPortIoGoesAheadWhenPrivilegeIsRefused) {
    sim.fail(kova::registers::Failure::Iopl);
    EXPECT_EQ(RequestIOPrivilege(), -1);
    asm_outp(0x3C6, 0x12);
    EXPECT_EQ(trace(), (Lines{"iopl 3 FAIL", "iopl 3 FAIL", "out8 03C6 12"}));
}

} // namespace
