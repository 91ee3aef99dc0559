// Overlay windows: routing to the GR or SR file, initialisation with the
// one-time FIFO save and the restore, geometry, scale factors with the BOB
// band, source address and fetch, FIFO policy and stacking order.
#include "overlay.h"
#include "sim_fixture.h"

#include <initializer_list>
#include <utility>

namespace {

using kova::registers::Reg;

using Pairs = std::initializer_list<std::pair<unsigned, unsigned>>;

// Plain writes of one register file, in order.
Lines writes(File file, Pairs index_values) {
    Lines out;
    for (auto [index, value] : index_values) {
        out.push_back(reg_write(file, index, value));
    }
    return out;
}

Reg reg(File file, std::uint8_t index) {
    return file == GR ? Reg::gr(index) : Reg::sr(index);
}

// The FIFO registers that initialisation saves and the clean-up restores, in their order.
struct Saved {
    File file;
    std::uint8_t index;
};
constexpr Saved kSaved[8] = {{GR, 0x74}, {GR, 0x75}, {GR, 0xD9}, {GR, 0xDA},
                             {GR, 0xDD}, {SR, 0xD9}, {SR, 0xDA}, {SR, 0xDD}};

class Overlay : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        // The library's globals outlive a test when the whole binary runs in one process.
        wOverlayIndex = 0;
        wMaxOverlayNum = 2;
        wBytePerPixel[0] = wBytePerPixel[1] = 0;
        bInitialized = 0;
        savedReg74 = savedReg75 = 0;
        for (int w = 0; w < 2; ++w) {
            savedRegD9[w] = savedRegDA[w] = savedRegDD[w] = 0;
        }
        map();
    }

    // Presets the saved FIFO registers to base, base + 1, ... in their order.
    void preset_fifo(unsigned base) {
        for (unsigned i = 0; i < 8; ++i) {
            sim.set(reg(kSaved[i].file, kSaved[i].index), static_cast<std::uint8_t>(base + i));
        }
    }
};

// ---------------------------------------------------------------- selection

TEST_F(Overlay, SelectionPicksAWindowAndResetsItsBytesPerPixel) {
    Kova_SelectOverlayIndex(1);
    EXPECT_EQ(Kova_GetOverlayIndex(), 1u);
    EXPECT_EQ(wBytePerPixel[1], 2);
    Kova_SetOverlayFormat(4);
    EXPECT_EQ(wBytePerPixel[1], 4);
    Kova_SelectOverlayIndex(1); // reselecting puts the window back to 2 bytes per pixel
    EXPECT_EQ(wBytePerPixel[1], 2);
    EXPECT_EQ(wBytePerPixel[0], 0);

    for (unsigned short bad : {2, 0xFFFF}) {
        Kova_SelectOverlayIndex(1);
        wBytePerPixel[0] = 3;
        Kova_SelectOverlayIndex(bad);
        EXPECT_EQ(wOverlayIndex, 0) << bad;
        EXPECT_EQ(wBytePerPixel[0], 2) << bad;
    }
    // Only the format write reached the controller: selection touches no register.
    EXPECT_EQ(ops(), (Lines{"SR DB?00", "SR DB'=04"}));

    // Out-of-range selector values never index past the two windows.
    wMaxOverlayNum = 5;
    Kova_SelectOverlayIndex(3);
    EXPECT_EQ(wOverlayIndex, 0);
    wOverlayIndex = 7; // written directly by a caller: treated as window 0
    Kova_SetOverlayFormat(3);
    EXPECT_EQ(wBytePerPixel[0], 3);
    EXPECT_EQ(sim.get(Reg::gr(0xDB)), 0x03);
}

TEST_F(Overlay, OnOffAndModeTouchOnlyTheCurrentWindowsControlBits) {
    sim.set(Reg::sr(0xDC), 0x4B); // bits 6, 3, 1, 0
    sim.set(Reg::gr(0xDC), 0x11);
    Kova_SelectOverlayIndex(1);
    Kova_OverlayOn();
    EXPECT_EQ(sim.get(Reg::sr(0xDC)), 0xCF);
    sim.set(Reg::sr(0xDC), 0xA6);
    Kova_OverlayOff();
    EXPECT_EQ(sim.get(Reg::sr(0xDC)), 0x26);
    Kova_SetOverlayMode(0);
    Kova_SetOverlayMode(0x80);
    EXPECT_EQ(sim.get(Reg::gr(0xDC)), 0x11);

    Kova_SelectOverlayIndex(0);
    Kova_OverlayOn();
    EXPECT_EQ(ops(), (Lines{"SR DC?4B", "SR DC'=CF", "SR DC?A6", "SR DC'=26", "SR DC?26", "SR DC'=24",
                            "SR DC?24", "SR DC'=26", "GR DC?11", "GR DC'=95"}));

    // The overlay masked write ORs the value in whole: a value bit that keep
    // also covers stays set (the GR/SR/CR masked writes would drop it).
    sim.set(Reg::sr(0xDB), 0x30);
    Kova_SelectOverlayIndex(1);
    sim.clear_trace();
    Out_Overlay_Reg_M(0xDB, 0x0F, 0xF3);
    EXPECT_EQ(ops(), (Lines{"SR DB?30", "SR DB'=3F"}));
}

// ------------------------------------------------- initialisation and clean-up

// The 23 initialisation writes, in order.
constexpr Pairs kInitWrites = {
    {0xDC, 0x00}, {0xC9, 0x00}, {0xCA, 0x00}, {0xD7, 0x00}, {0xD8, 0x10}, {0xC0, 0x00},
    {0xC1, 0x0F}, {0xC2, 0x03}, {0xC5, 0x20}, {0xC6, 0x00}, {0xC7, 0x60}, {0xC8, 0x01},
    {0xCB, 0xE0}, {0xCC, 0x00}, {0xCE, 0x00}, {0xCF, 0x00}, {0xD0, 0x00}, {0xD3, 0x00},
    {0xD4, 0x10}, {0xDB, 0x00}, {0xDE, 0x00}, {0xDE, 0x01}, {0xDC, 0x04},
};

Lines init_writes(File file, unsigned sr_a6_old, unsigned sr_a6_new) {
    return writes(file, kInitWrites) + reg_masked(SR, 0xA6, sr_a6_old, sr_a6_new);
}

Lines with_save_reads(Lines e, unsigned base) {
    for (unsigned i = 0; i < 8; ++i) {
        e.push_back(reg_read(kSaved[i].file, kSaved[i].index, base + i));
    }
    return e;
}

TEST_F(Overlay, InitOnWindowOneWritesTheSequencerFileAndSavesBothWindows) {
    preset_fifo(0x40);
    sim.set(Reg::sr(0xA6), 0xFF);
    for (auto [index, value] : kInitWrites) {
        sim.set(Reg::gr(static_cast<std::uint8_t>(index)), 0xEE);
    }
    Kova_SelectOverlayIndex(1);
    Kova_InitOverlay();

    EXPECT_EQ(ops(), with_save_reads(init_writes(SR, 0xFF, 0xEF), 0x40));
    for (auto [index, value] : kInitWrites) {
        EXPECT_EQ(sim.get(Reg::gr(static_cast<std::uint8_t>(index))), 0xEE) << std::hex << index;
    }
    EXPECT_EQ(sim.get(Reg::sr(0xDC)), 0x04);
    EXPECT_EQ(sim.get(Reg::sr(0xDE)), 0x01);
    EXPECT_EQ(bInitialized, 1);
    const unsigned saved[8] = {savedReg74,    savedReg75,    savedRegD9[0], savedRegDA[0],
                               savedRegDD[0], savedRegD9[1], savedRegDA[1], savedRegDD[1]};
    for (unsigned i = 0; i < 8; ++i) {
        EXPECT_EQ(saved[i], 0x40 + i) << i;
    }
}

TEST_F(Overlay, SaveHappensOnceAcrossTwoInitsAndRestoreOnce) {
    preset_fifo(0x20);
    sim.set(Reg::sr(0xA6), 0x10);
    Kova_InitOverlay();
    Kova_ChangeOverlayFIFO(); // moves GR 74, 75, D9, DA, DD
    preset_fifo(0x90);        // and every saved register moves on
    sim.clear_trace();

    Kova_InitOverlay();
    EXPECT_EQ(ops(), init_writes(GR, 0x20, 0x20)); // no second save
    EXPECT_EQ(savedReg74, 0x20);
    EXPECT_EQ(savedRegDD[1], 0x27);

    sim.set(Reg::sr(0xA7), 0xFF);
    Kova_SelectOverlayIndex(1); // the clean-up restores both windows whichever is current
    sim.clear_trace();
    Kova_OverlayCleanUp();
    Lines restore = reg_masked(SR, 0xA7, 0xFF, 0xFA);
    for (unsigned i = 0; i < 8; ++i) {
        restore.push_back(reg_write(kSaved[i].file, kSaved[i].index, 0x20 + i));
        EXPECT_EQ(sim.get(reg(kSaved[i].file, kSaved[i].index)), 0x20 + i) << i;
    }
    EXPECT_EQ(ops(), restore);
    EXPECT_EQ(bInitialized, 0);

    sim.set(Reg::sr(0xA7), 0x0F);
    sim.clear_trace();
    Kova_OverlayCleanUp(); // nothing saved any more: only window 0's field bits
    EXPECT_EQ(ops(), (Lines{"SR A7?0F", "SR A7'=0A"}));

    sim.clear_trace();
    Kova_InitOverlay(); // a new initialisation after the clean-up saves afresh
    EXPECT_EQ(ops(), with_save_reads(init_writes(SR, 0x20, 0x20), 0x20));
}

// ------------------------------------------------- format, key colour, window

TEST_F(Overlay, FormatCodesSetTheFormatBitsAndBytesPerPixel) {
    constexpr unsigned kBytes[8] = {2, 2, 2, 3, 4, 1, 2, 1};
    Kova_SelectOverlayIndex(0);
    for (unsigned char code = 0; code < 8; ++code) {
        sim.set(Reg::gr(0xDB), 0xFF);
        Kova_SetOverlayFormat(code);
        EXPECT_EQ(sim.get(Reg::gr(0xDB)), 0xF8 | code);
        EXPECT_EQ(wBytePerPixel[0], kBytes[code]) << int{code};
    }
    sim.clear_trace();
    for (unsigned char code : {8, 9, 0xFF}) {
        Kova_SetOverlayFormat(code);
    }
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(wBytePerPixel[0], 1);
}

TEST_F(Overlay, KeyColourAndWindowEdgesLowByteFirst) {
    Kova_SelectOverlayIndex(1);
    Kova_SetRGBKeyColor(0xAB123456);                       // bits 24-31 ignored
    Kova_SetOverlayWindow(0x0102, 0x0304, 0x0506, 0x0708); // left, top, right, bottom
    // Key colour, then left and right, then top and bottom.
    EXPECT_EQ(ops(), (Lines{"SR CE=56", "SR CF=34", "SR D0=12", "SR C5=02", "SR C6=01", "SR C7=06",
                            "SR C8=05", "SR C9=04", "SR CA=03", "SR CB=08", "SR CC=07"}));
}

// ------------------------------------------------------------- scale factors

// The accesses of one Kova_SetOverlayScale: factors h and v, SR A7 from a7_old to a7_new.
Lines scale_trace(File file, unsigned h, unsigned a7_old, unsigned a7_new, unsigned v) {
    return writes(
               file,
               {{0xD1, 0x00}, {0xD2, 0x08}, {0xD3, h & 0xFF}, {0xD4, h >> 8}, {0xD5, 0x00}, {0xD6, 0x08}}) +
           reg_masked(SR, 0xA7, a7_old, a7_new) + writes(file, {{0xD7, v & 0xFF}, {0xD8, v >> 8}});
}

TEST_F(Overlay, WeaveClearsOnlyTheCurrentWindowsFieldBits) {
    sim.set(Reg::sr(0xA7), 0xFF);
    Kova_SetOverlayScale(0, 720, 720, 576, 576);
    Kova_SelectOverlayIndex(1);
    Kova_SetOverlayScale(0, 720, 1440, 480, 960);
    EXPECT_EQ(ops(),
              scale_trace(GR, 0x1000, 0xFF, 0xFA, 0x1000) + scale_trace(SR, 0x0800, 0xFA, 0xF0, 0x0800));
}

TEST_F(Overlay, BobHalvesTheSourceAndMarksTheDoubledField) {
    sim.set(Reg::sr(0xA7), 0xF0);
    Kova_SetOverlayScale(1, 720, 720, 576, 576); // 288 lines to 576: V = 2048, in the band
    Kova_SetOverlayScale(1, 720, 720, 576, 288); // 288 to 288: V = 4096, BOB only
    EXPECT_EQ(ops(),
              scale_trace(GR, 0x1000, 0xF0, 0xF5, 0x0800) + scale_trace(GR, 0x1000, 0xF5, 0xF4, 0x1000));
}

TEST_F(Overlay, BobBandLimitsAreInclusiveForBothWindows) {
    // With a destination of 4096 lines V is half the source height.
    const std::pair<unsigned short, bool> cases[] = {
        {4052, false}, {4054, true}, {4137, true}, {4138, true}, {4140, false}};
    for (auto [src_height, in_band] : cases) {
        const unsigned v = src_height / 2U;
        // Window 0 owns SR A7 bits 2 and 0, window 1 bits 3 and 1.  Each starts
        // with its lower bit set and its upper bit clear; the other bits stay.
        sim.set(Reg::sr(0xA7), 0xFB);
        Kova_SelectOverlayIndex(0);
        sim.clear_trace();
        Kova_SetOverlayScale(1, 16, 16, src_height, 4096);
        EXPECT_EQ(ops(), scale_trace(GR, 0x1000, 0xFB, in_band ? 0xFF : 0xFE, v)) << src_height;

        sim.set(Reg::sr(0xA7), 0xF7);
        Kova_SelectOverlayIndex(1);
        sim.clear_trace();
        Kova_SetOverlayScale(1, 16, 16, src_height, 4096);
        EXPECT_EQ(ops(), scale_trace(SR, 0x1000, 0xF7, in_band ? 0xFF : 0xFD, v)) << src_height;
    }
}

TEST_F(Overlay, FactorsIncludingZeroSizes) {
    struct Case {
        unsigned short src, dst;
        unsigned factor;
    };
    const Case cases[] = {
        {720, 1440, 0x0800}, {720, 360, 0x2000}, {720, 720, 0x1000},
        {0, 0, 0x1000},      {640, 720, 0x0E38}, // truncated: 3640.88...
        {720, 40, 0x2000},                       // 0x12000 keeps its low 16 bits
        {720, 0, 0xFFFF},                        // no ratio: the largest reduction
        {0, 720, 0x0000},
    };
    for (const Case &c : cases) {
        sim.set(Reg::sr(0xA7), 0x00);
        sim.clear_trace();
        Kova_SetOverlayScale(0, c.src, c.dst, c.src, c.dst);
        EXPECT_EQ(ops(), scale_trace(GR, c.factor, 0x00, 0x00, c.factor)) << c.src << "/" << c.dst;
    }

    sim.clear_trace();
    Kova_SetOverlayScale(1, 720, 0, 576, 0); // BOB: 288 against 0, outside the band
    Kova_SetOverlayScale(1, 720, 0, 1, 0);   // BOB: 0 equals the destination, 1:1
    EXPECT_EQ(ops(),
              scale_trace(GR, 0xFFFF, 0x00, 0x04, 0xFFFF) + scale_trace(GR, 0xFFFF, 0x04, 0x04, 0x1000));
}

// ------------------------------------------------------- source and fetch

TEST_F(Overlay, SourceAddressExample) {
    sim.set(Reg::sr(0xA6), 0x00);
    sim.set(Reg::gr(0xDC), 0xFF);
    Kova_SelectOverlayIndex(0);
    Kova_SetOverlaySrcAddr(0x100000, 0, 0, 720, 720);
    EXPECT_EQ(ops(), (Lines{"GR C0=00", "GR C1=00", "GR C2=04", "GR C3=B4", "GR C4=00", "GR CD=B4",
                            "SR A6?00", "SR A6'=40", "GR DC?FF", "GR DC'=DF"}));
}

TEST_F(Overlay, SourceOffsetPitchAndFetchCount) {
    // Start (2 * 1440 + 3 * 2 + 0x100002) / 4 = 0x0402D2.
    Kova_SelectOverlayIndex(0);
    Kova_SetOverlaySrcAddr(0x100002, 3, 2, 16, 720);
    EXPECT_EQ(sim.get(Reg::gr(0xC0)), 0xD2);
    EXPECT_EQ(sim.get(Reg::gr(0xC1)), 0x02);
    EXPECT_EQ(sim.get(Reg::gr(0xC2)), 0x04);

    // 4 bytes per pixel: pitch 16000 bytes = 0x7D0 units; fetch 4000 pixels = 0x7D0 units.
    Kova_SetOverlayFormat(4);
    Kova_SetOverlaySrcAddr(0, 0, 0, 4000, 4000);
    EXPECT_EQ(sim.get(Reg::gr(0xC3)), 0xD0);
    EXPECT_EQ(sim.get(Reg::gr(0xC4)), 0x77);
    EXPECT_EQ(sim.get(Reg::gr(0xCD)), 0xD0);

    // The pitch in bytes keeps 16 bits: 2 * 40000 = 80000 -> 14464 = 0x710 units.
    Kova_SetOverlayFormat(0);
    Kova_SetOverlaySrcAddr(0, 0, 1, 8, 40000);
    EXPECT_EQ(sim.get(Reg::gr(0xC3)), 0x10);
    EXPECT_EQ(sim.get(Reg::gr(0xC4)), 0x07);
    EXPECT_EQ(sim.get(Reg::gr(0xC0)), 0x20); // 14464 / 4 = 0x0E20
    EXPECT_EQ(sim.get(Reg::gr(0xC1)), 0x0E);

    // 3 bytes per pixel, width 5: fetch (15 + 7) / 8 = 2; pitch 24 bytes = 3 units.
    Kova_SelectOverlayIndex(1);
    Kova_SetOverlayFormat(3);
    sim.clear_trace();
    Kova_SetOverlaySrcAddr(0, 0, 0, 5, 8);
    const Lines t = ops();
    ASSERT_GE(t.size(), 6U);
    EXPECT_EQ(Lines(t.begin(), t.begin() + 6),
              (Lines{"SR C0=00", "SR C1=00", "SR C2=00", "SR C3=03", "SR C4=00", "SR CD=02"}));
}

TEST_F(Overlay, WidthThresholdsSetTheBitsInTheirOrder) {
    struct Case {
        unsigned short width;
        bool wide;        // OVL DC bit 5
        bool line_buffer; // the window's SR A6 bit
    };
    const Case cases[] = {{360, false, false}, {361, false, true}, {720, false, true}, {721, true, true}};
    for (unsigned short window : {0, 1}) {
        const File file = window == 1 ? SR : GR;
        const unsigned bit = window == 0 ? 0x40 : 0x80;
        for (const Case &c : cases) {
            Kova_SelectOverlayIndex(window);
            // Start from the opposite state so every bit visibly moves.
            const unsigned a6_old = c.line_buffer ? (0xFF & ~bit) : 0xFF;
            const unsigned dc_old = c.wide ? 0x00 : 0xFF;
            sim.set(Reg::sr(0xA6), static_cast<std::uint8_t>(a6_old));
            sim.set(reg(file, 0xDC), static_cast<std::uint8_t>(dc_old));
            sim.clear_trace();
            Kova_SetOverlaySrcAddr(0, 0, 0, c.width, c.width);

            const unsigned a6_new = c.line_buffer ? (a6_old | bit) : (a6_old & ~bit);
            const unsigned dc_new = c.wide ? 0x20 : 0xDF;
            const Lines dc = reg_masked(file, 0xDC, dc_old, dc_new);
            const Lines a6 = reg_masked(SR, 0xA6, a6_old, a6_new);
            const Lines t = ops();
            ASSERT_EQ(t.size(), 6U + 4U);
            EXPECT_EQ(Lines(t.begin() + 6, t.end()), c.wide ? dc + a6 : a6 + dc) << window << " " << c.width;
        }
    }
}

// ------------------------------------------------------- FIFO and stacking

TEST_F(Overlay, FifoPolicyOnEachWindow) {
    sim.set(Reg::gr(0xF1), 0xFF);
    sim.set(Reg::gr(0xDD), 0xF1);
    Kova_ChangeOverlayFIFO();
    EXPECT_EQ(ops(), (Lines{"GR 74=10", "GR 75=10", "GR D9=1C", "GR DA=1C", "GR A6?00", "GR A6'=08",
                            "GR F1?FF", "GR F1'=7F", "GR DD?F1", "GR DD'=F4", "GR DD?F4", "GR DD'=F6"}));

    sim.set(Reg::gr(0xA6), 0x00);
    sim.set(Reg::gr(0xF1), 0x80);
    sim.set(Reg::sr(0xDD), 0x01);
    Kova_SelectOverlayIndex(1);
    sim.clear_trace();
    Kova_ChangeOverlayFIFO();
    EXPECT_EQ(ops(), (Lines{"GR 74=10", "GR 75=10", "SR D9=1C", "SR DA=1C", "SR DD?01", "SR DD'=13",
                            "GR F1?80", "GR F1'=40", "SR DD?13", "SR DD'=16", "SR DD?16", "SR DD'=16"}));
}

TEST_F(Overlay, StackingOrderUsesSequencerDeWhicheverWindowIsCurrent) {
    sim.set(Reg::gr(0xFA), 0x03);
    sim.set(Reg::sr(0xDE), 0xF0);
    Kova_WhichOverlayOnTop(2);
    EXPECT_EQ(ops(), (Lines{"GR FA=00"}));
    EXPECT_EQ(sim.get(Reg::gr(0xFA)), 0x00);

    sim.clear_trace();
    Kova_WhichOverlayOnTop(1);
    Kova_SelectOverlayIndex(1);
    Kova_WhichOverlayOnTop(0);
    // Read SR DE, then write it back with its own index write.
    EXPECT_EQ(ops(), (Lines{"GR FA=00", "SR DE?F0", "SR DE=F1", "GR FA=00", "SR DE?F1", "SR DE=F0"}));
}

} // namespace
