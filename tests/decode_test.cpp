// kovactl status and the library's queries agree: over register states that
// reach every depth code, memory size code, clock select and chip generation,
// the state decoder reports what the library's queries return.
#include "decode.h"
#include "engines.h"
#include "sim_fixture.h"
#include "utility.h"

namespace {

using kova::registers::Reg;

class Decode : public SimTest {};

TEST_F(Decode, StateDecoderAgreesWithTheLibraryQueries) {
    struct Case {
        std::uint8_t gr77, gr72, misc, gr91, gr92;
    };
    const Case cases[] = {
        {0x00, 0x00, 0x00, 0x10, 0x05}, {0x01, 0x01, 0x04, 0x10, 0x07}, {0x02, 0x02, 0x08, 0x10, 0x08},
        {0x03, 0x03, 0x0C, 0x10, 0x09}, {0x04, 0x07, 0x0C, 0x10, 0x03}, {0x05, 0x06, 0x0C, 0x00, 0x02},
        {0x06, 0x05, 0x00, 0x20, 0x00}, {0x07, 0x04, 0x0C, 0xF0, 0xFF},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "GR77 " << +c.gr77 << " GR72 " << +c.gr72 << " misc " << +c.misc
                                        << " GR92 " << +c.gr92);
        sim.reset();
        sim.set(Reg::gr(0x77), c.gr77);
        sim.set(Reg::gr(0x72), c.gr72);
        sim.set(Reg::port(0x3CC), c.misc);
        sim.set(Reg::gr(0x91), c.gr91);
        sim.set(Reg::gr(0x92), c.gr92);
        sim.set(Reg::cr(0x01), 0x63); // 800 x 600
        sim.set(Reg::cr(0x12), 0x57);
        sim.set(Reg::cr(0x07), 0x02);
        for (const auto &[index, value] : {std::pair{0xB0, 0x41}, {0xB1, 0x85}, {0xB2, 0x3F}, {0xB3, 0x47}})
            sim.set(Reg::gr(static_cast<std::uint8_t>(index)), static_cast<std::uint8_t>(value));
        sim.set(Reg::gr(0xBA, 0x00), 0x40);
        sim.set(Reg::gr(0xBB, 0x00), 0x09);
        const kova::state::ControllerState state = kova::sim::controller_state(sim);
        map();
        EXPECT_EQ(state.screen.width, GetCurrentScreenInfo(0));
        EXPECT_EQ(state.screen.height, GetCurrentScreenInfo(1));
        EXPECT_EQ(state.screen.bpp, GetBpp());
        EXPECT_EQ(state.screen.video_memory, GetVMemSize() * 0x100000u);
        EXPECT_EQ(state.screen.wide_bus, GetBusWidth() != 0);
        EXPECT_EQ(state.chip.id, GetChipID());
        EXPECT_DOUBLE_EQ(state.screen.memory_clock, GetVMemoryClock()); // x87 keeps extra bits on i386
        EXPECT_DOUBLE_EQ(state.screen.pixel_clock, GetVPixelClock());
    }
}

// Where the capture engine puts line 3 of each field, as kovactl grab reads it
// back: a 100-pixel pitch (200 bytes), front buffer 0x1000, back 0x9000.
TEST(CaptureLayout, EachFieldLineLiesWhereTheBuffersAndFieldScalingPutIt) {
    struct Case {
        bool double_buffer, field_scaling;
        int field;
        std::uint64_t offset;
    };
    const Case cases[] = {
        {false, false, 0, 0x1000 + 3 * 200},
        {false, false, 1, 0x1000 + 3 * 200}, // the later field overwrites
        {false, true, 0, 0x1000 + 6 * 200},
        {false, true, 1, 0x1000 + 7 * 200}, // woven
        {true, false, 0, 0x1000 + 3 * 200},
        {true, false, 1, 0x9000 + 3 * 200},
        {true, true, 0, 0x1000 + 6 * 200},
        {true, true, 1, 0x9000 + 6 * 200},
    };
    for (const Case &c : cases) {
        kova::state::CaptureState capture{};
        capture.destination = 0x1000, capture.back_buffer = 0x9000, capture.pitch = 100;
        capture.double_buffer = c.double_buffer, capture.field_scaling = c.field_scaling;
        EXPECT_EQ(kova::decode::capture_line_offset(capture, c.field, 3), c.offset)
            << "double " << c.double_buffer << " scaled " << c.field_scaling << " field " << c.field;
    }
    // Sizes round to the nearest, a half up; a factor 0 writes nothing.
    EXPECT_EQ(kova::decode::capture_size(720, 0x1000), 720u);
    EXPECT_EQ(kova::decode::capture_size(288, 0x2000), 576u);
    EXPECT_EQ(kova::decode::capture_size(5, 0x800), 3u);
    EXPECT_EQ(kova::decode::capture_size(7, 0x6DB), 3u); // 2.999 up
    EXPECT_EQ(kova::decode::capture_size(720, 0), 0u);
}

} // namespace
