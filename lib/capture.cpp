// capture: the two video capture engines, double buffering and field polarity.
#include "capture.h"

#include "decode.h"
#include "misc.h"
#include "portmem.h"

#include <cstdint>
#include <cstdio>
#include "register_access.h"
#include "status_poll.h"
#include "vga_ports.h"

unsigned short wCaptureIndex = 0;
unsigned short wMaxCaptureNum = 2;

namespace {

using namespace kova::vga;
using namespace kova::reg;

// Each phase of WaitVSync gives up after 100,001 reads that miss, and warns
// once when at least 99,999 of its reads missed.
constexpr kova::PollPolicy kSyncPhasePolicy{100001, 99999};
// The stop wait reads at most 100,000 times and warns only when it gives up.
constexpr kova::PollPolicy kStopPolicy{100000, 100000};

using kova::decode::kAddressUnit;
using kova::decode::kScaleOne;

constexpr std::uint8_t byte_of(std::uint32_t v, unsigned n) {
    return static_cast<std::uint8_t>(v >> (8 * n));
}

// One 16-bit store on an index port: the index in the low byte, the data in
// the high byte.
constexpr std::uint16_t index_and_data(Address r, std::uint8_t value) {
    return static_cast<std::uint16_t>(value << 8 | r.at());
}

std::uint8_t engine_page() {
    return wCaptureIndex == 0 ? page::kCommon : page::kEngine1;
}

// Opens the current engine's page and returns the page found.
std::uint8_t enter_engine_page() {
    kovaoutp(kGrIndexPort, kPageSelect.at());
    const std::uint8_t saved = kovainp(kGrDataPort);
    kovaoutp(kGrDataPort, engine_page());
    return saved;
}

void leave_engine_page(std::uint8_t saved) {
    kovaoutp(kGrIndexPort, kPageSelect.at());
    kovaoutp(kGrDataPort, saved);
}

void select_common_page() {
    write(kPageSelect, page::kCommon);
}

// Writes a multi-byte CAP register, low byte first.
void out_capture_value(Address r, std::uint32_t value) {
    for (unsigned n = 0; n < r.span; ++n)
        Out_Capture_Reg(r.at(n), byte_of(value, n));
}

// A masked write of a CAP register (the value is ORed in).
template <typename L>
void update_capture(const RegisterOf<L> &r, Change<L> change) {
    Out_Capture_Reg_M(r.at(), change.value, change.keep);
}

// Reads the selected sync-status register until its bit equals want_active.
void wait_sync_phase(bool want_active) {
    (void)kova::poll(
        kSyncPhasePolicy, [] { return kovainp(kGrDataPort); },
        [want_active](std::uint8_t status) {
            return (kSyncStatus.field().extract(status) != 0) == want_active;
        },
        [] { std::printf("Warning: Dead Loop while capture on\n"); });
}

// Destination size over source size in 4.12 fixed point.  Equal sizes, and a
// source of 0 that leaves nothing to scale from, give 1:1.
std::uint32_t scale_factor(std::uint16_t source, std::uint16_t destination) {
    if (source == destination || source == 0) return kScaleOne;
    return static_cast<std::uint32_t>(destination) * kScaleOne / source;
}

// Capture control with the engine enables, the hold and the stop request set
// or cleared together; bits 7, 4 and 1 kept.
constexpr auto capture_set_up(bool on) {
    using namespace capture_control;
    return on ? set(kEnable, 1) | set(kHold, 1) | set(kStop, 1) | set(kEngineEnables, 3)
              : set(kEnable, 0) | set(kHold, 0) | set(kStop, 0) | set(kEngineEnables, 0);
}

} // namespace

extern "C" {

// ---------------------------------------------------------------- register access

void Out_Capture_Reg(unsigned char index, unsigned char value) {
    const std::uint8_t saved = enter_engine_page();
    kovaoutp(kGrIndexPort, index);
    kovaoutp(kGrDataPort, value);
    leave_engine_page(saved);
}

void Out_Capture_Reg_M(unsigned char index, unsigned char value, unsigned char keep) {
    const std::uint8_t saved = enter_engine_page();
    kovaoutp(kGrIndexPort, index);
    const std::uint8_t old = kovainp(kGrDataPort);
    kovaoutp(kGrDataPort, merge_or(value, old, keep));
    leave_engine_page(saved);
}

unsigned int In_Capture_Reg(unsigned char index) {
    const std::uint8_t saved = enter_engine_page();
    kovaoutp(kGrIndexPort, index);
    const std::uint8_t value = kovainp(kGrDataPort);
    leave_engine_page(saved);
    return value;
}

void Kova_SelectCaptureIndex(unsigned short index) {
    wCaptureIndex = index < wMaxCaptureNum ? index : 0;
}

unsigned int Kova_GetCaptureIndex(void) {
    return wCaptureIndex;
}

void WaitVSync(void) {
    kovaoutpw(kGrIndexPort, index_and_data(kPageSelect, page::kSyncStatus));
    kovaoutp(kGrIndexPort, kSyncStatus.at());
    wait_sync_phase(true);  // the sync begins
    wait_sync_phase(false); // the sync ends
    kovaoutpw(kGrIndexPort, index_and_data(kPageSelect, page::kCommon));
}

void sleep_VSync(unsigned short count) {
    for (unsigned short i = 0; i < count; ++i)
        WaitVSync();
}

// ---------------------------------------------------------------- set-up and control

void Kova_InitCapture(unsigned short mode) {
    set_video_port_paged_bits(); // step 1
    select_common_page();
    update(kSafeguard, set(kSafeguard.field(), 0)); // no guard yet
    update(kVideoPortControl, set(video_port::kLow, 3) | set(video_port::kHigh, 1));
    write(kFieldControl, set(field_control::kInitial, 1).value);

    const auto port_mode_bits = static_cast<std::uint8_t>(mask_of(port_mode::kBit0, port_mode::kBit4));
    if (mode != 0) {
        kovaoutpw(kGrIndexPort, index_and_data(kCaptureSetupA4, 0x13));
        kovaoutpw(kGrIndexPort, index_and_data(kCaptureSetupA5, 0x12));
        clear_bits(kPortMode, port_mode_bits);
        update(kFieldControl, set(field_control::kInverted, 0)); // normal field polarity
        update(kCaptureSetupA5, set(kCaptureSetupA5.field(), 0));
    } else {
        kovaoutpw(kGrIndexPort, index_and_data(kCaptureSetupA4, 0x10));
        kovaoutpw(kGrIndexPort, index_and_data(kCaptureSetupA5, 0x10));
        set_bits(kPortMode, port_mode_bits);
        update(kFieldControl, set(field_control::kInverted, 1)); // inverted field polarity
    }

    update(kCaptureControl, capture_set_up(true));

    // Route the video port to the engine.
    const unsigned engine1 = wCaptureIndex == 0 ? 0 : 1;
    update(kClockEF, set_value(clock_ef::kEngine1, engine1));
    update(kVideoRoute, set_value(kVideoRoute.field(), engine1));
    update(kExtSyncED, set_value(ext_sync_ed::kRoute, engine1));
    if (engine1 != 0) {
        // CAP EA of engine 0, reached directly in page 0x00: only bits 5 and 1 kept.
        update(kCapFieldScale, clear_all_but(cap_field_scale::kFieldScaling, cap_field_scale::kBit5));
    }

    out_capture_value(kCapHStep, 0x0800);
    out_capture_value(kCapVStep, 0x0800);

    write(kPageSelect, page::kCommon);
    write(kCaptureSetup88, 0x3F);
    write(kCaptureSetup89, 0xC0);
    update(kCaptureSetupA4, set(kCaptureSetupA4.field(), 1));
    update(kVideoPortSetupA3, set(kVideoPortSetupA3.field(), 3));
    update(kVideoPortSetupA5, set(kVideoPortSetupA5.field(), 3));
}

void Kova_SetCapSrcWindow(unsigned short x1, unsigned short x2, unsigned short y1, unsigned short y2) {
    // The engine counts horizontal positions in bytes of the 2-byte pixels.
    out_capture_value(kCapXStart, kova::decode::capture_x_start(x1));
    out_capture_value(kCapXEnd, kova::decode::capture_x_end(x2));
    out_capture_value(kCapYStart, y1);
    out_capture_value(kCapYEnd, y2);
}

void Kova_SetCapDstAddr(unsigned int address, unsigned short x, unsigned short y, unsigned short pitch) {
    using capture_control::kHold;
    write(kPageSelect, page::kCommon);
    const std::uint8_t saved = read(kCaptureControl);
    update(kCaptureControl, set(kHold, 1));

    const std::uint32_t pixel = static_cast<std::uint32_t>(x) + static_cast<std::uint32_t>(y) * pitch;
    // The engine's 20-bit address counter wraps: so does the address written.
    const std::uint32_t start = (address + kova::decode::kCaptureBytesPerPixel * pixel) / kAddressUnit;
    out_capture_value(kCapAddress, kCapDestination.split(kCapDestination.wrap(start))[0]);
    out_capture_value(kCapPitch, pitch / kova::decode::kCapturePitchUnit);

    update(kCaptureControl, set_value(kHold, kHold.extract(saved)));
}

void Kova_SetCaptureScale(unsigned short srcW, unsigned short dstW, unsigned short srcH, unsigned short dstH,
                          unsigned char field) {
    const unsigned fields = field != 0 ? 1 : 0;
    update_capture(kCapFieldScale, set_value(cap_field_scale::kFieldScaling, fields));
    update(kFieldScaleControl, set_value(kFieldScaleControl.field(), 1 - fields));
    if (fields != 0) dstH = static_cast<unsigned short>(dstH / 2); // each field fills half the height
    out_capture_value(kCapHScale, scale_factor(srcW, dstW));
    out_capture_value(kCapVScale, scale_factor(srcH, dstH));
}

void Kova_CaptureOn(void) {
    using namespace capture_control;
    Out_Video_Reg(kOvlDisplay.at(), 0x01); // the DE register of overlay window 0
    write(kPageSelect, page::kCommon);
    update(kCaptureControl, set(kEnable, 1) | set(kEngineEnables, 3));
    sleep_VSync(2);
    write(kPageSelect, page::kCommon);
    update(kCaptureControl, set(kStop, 0) | set(kHold, 0));
}

void Kova_CaptureOff(void) {
    write(kPageSelect, page::kCommon);
    update(kCaptureControl, set(capture_control::kStop, 1));
    kovaoutp(kGrIndexPort, kCaptureStatus.at());
    (void)kova::poll(
        kStopPolicy, [] { return kovainp(kGrDataPort); },
        [](std::uint8_t status) { return kCaptureStatus.field().extract(status) != 0; },
        [] { std::printf("Warning: Dead loop while capture off\n"); });
}

void Kova_SetCapSafeGuardAddr(unsigned int address) {
    select_common_page();
    update(kSafeguard, set(kSafeguard.field(), 1));
    // The guard lies one burst before the end.
    const bool wide_bus = kova::decode::wide_bus(read(kMemoryConfig));
    const std::uint32_t guard = address / kAddressUnit - kova::decode::guard_burst(wide_bus) / kAddressUnit;
    // Like the engine's address counter, the guard address wraps at 20 bits.
    if (wCaptureIndex == 0)
        write_parts<kGuard0Address>(kGuard0Address.wrap(guard));
    else
        write_parts<kGuard1Address>(kGuard1Address.wrap(guard));
}

void Kova_CaptureCleanUp(void) {
    select_common_page();
    update(kSafeguard, set(kSafeguard.field(), 0));
    update(kVideoPortControl, set(video_port::kLow, 0) | set(video_port::kHigh, 0));
    update(kCaptureControl, capture_set_up(false));
}

// ---------------------------------------------------------------- double buffering, field polarity

void Kova_EnableDoubleBuffer(unsigned char on) {
    write(kDoubleBufferGate, 0x00);
    write(kPageSelect, page::kEngine1);
    if (on != 0) {
        write(kDoubleBuffer7, 0x60);
        write(kDoubleBuffer9, 0x06);
        update(kDoubleBuffer0, set(double_buffer0::kBits65, 3) | set(double_buffer0::kBit3, 1));
        update(kDoubleBuffer3, set(kDoubleBuffer3.field(), 1));
    } else {
        write(kDoubleBuffer7, 0x00);
        write(kDoubleBuffer9, 0x00);
        write(kDoubleBuffer0, 0x00);
        write(kDoubleBuffer3, 0x00);
        write(kDoubleBuffer5, 0x00);
    }
    write(kPageSelect, page::kCommon);
    const unsigned enabled = on != 0 ? 1 : 0;
    update(kDoubleBufferControl, set_value(kDoubleBufferControl.field(), enabled));
    update(kBackBufferHigh, set_value(back_buffer_high::kDoubleBuffer, enabled));
    update(kLineBuffer, set(line_buffer::kBit5, 0));
}

void Kova_SetBackBuffer_addr(unsigned int address) {
    // The address wraps at 20 bits, as the engine's counter does.
    const std::uint32_t start = kBackBufferAddress.wrap(address / kAddressUnit);
    write(kPageSelect, page::kCommon);
    write(kDoubleBufferGate, 0x00);
    write_parts<kBackBufferAddress>(start); // GR A9's double-buffer bit survives
    const auto copy = parts_of<kBackBufferCopyAddress>(start);
    write_part<kBackBufferCopyAddress, 2>(copy[2]);
    write(kPageSelect, page::kBackBufferCopy);
    write_part<kBackBufferCopyAddress, 0>(copy[0]);
    write_part<kBackBufferCopyAddress, 1>(copy[1]);
    write(kPageSelect, page::kCommon);
}

void Kova_InvertFieldPolarity(unsigned char invert) {
    write(kPageSelect, page::kCommon);
    update(kFieldControl, set_value(field_control::kInverted, invert != 0 ? 1 : 0));
}

} // extern "C"
