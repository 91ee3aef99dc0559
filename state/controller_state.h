// What the controller is doing, decoded from its registers alone: chip and
// screen, clocks, the two overlay windows, the two capture engines, double
// buffering, the capture guard and the sync lock.  The decoder reads through a
// small register-reader interface, so the same code describes the simulated
// controller's state (kovasim's summary) and a live controller read through
// the library's primitives (kovactl status).
#pragma once

#include <cstdint>
#include <string>

namespace kova::state {

// Where the decoder reads registers.  A page is the bank (GR FA or GR BF
// value) that a paged register is read in; unpaged registers ignore it.
class RegisterReader {
  public:
    virtual ~RegisterReader() = default;
    virtual std::uint8_t gr(std::uint8_t index, int page) = 0;
    virtual std::uint8_t sr(std::uint8_t index, int page) = 0;
    virtual std::uint8_t cr(std::uint8_t index) = 0;
    virtual std::uint8_t port(std::uint16_t port) = 0;
    virtual std::uint16_t tv(std::uint16_t index) = 0;

    std::uint8_t gr(std::uint8_t index) { return gr(index, 0x00); }
    std::uint8_t sr(std::uint8_t index) { return sr(index, 0x00); }
};

struct OverlayState {
    bool on;
    bool wide_source;                      // DC bit 5: source wider than 720 pixels
    std::int16_t left, top, right, bottom; // screen rectangle
    std::uint32_t source;                  // byte offset in video memory
    std::uint32_t pitch;                   // bytes
    std::uint32_t fetch;                   // bytes per line, in 8-byte units
    std::uint16_t h_factor, v_factor;      // source over destination, 0x1000 = 1:1
    std::uint8_t format;                   // DB bits 0-2
    bool bob, bob_double;                  // SR A7 bits of the window
    std::uint32_t key;                     // key colour 0xRRGGBB
    bool on_top;                           // SR DE bit 0 names this window
};

struct CaptureState {
    bool enabled; // GR E8 bit 0
    bool held;    // GR E8 bit 2 or 3: set up but not (yet, or no longer) writing
    int engine;   // the engine these fields describe
    bool routed;  // this engine is the one routed to the video port (SR EF bit 1)
    std::uint16_t first_pixel, end_pixel, first_line, end_line;
    std::uint32_t destination;        // byte offset in video memory
    std::uint16_t pitch;              // pixels
    std::uint16_t h_factor, v_factor; // destination over source, 0x1000 = 1:1
    bool field_scaling;               // EA bit 1
    bool guard_on;                    // SR A2 bit 2
    std::uint32_t guard;              // byte offset of this engine's guard address
    std::uint32_t guard_end;   // first byte not written: guard plus one 16-byte (32 on the wide bus) burst
    bool wide_bus;             // GR 72 bit 2, which sets the guard's distance from the buffer end
    bool double_buffer;        // GR AC bit 1 and GR A9 bit 4
    std::uint32_t back_buffer; // byte offset
    bool inverted_fields;      // GR E9 bit 5
};

// The display: the visible screen and where the frame buffer lies.
struct DisplayState {
    std::uint16_t width, height; // visible pixels and lines
    std::uint8_t bpp;            // 4, 8, 16, 24 or 32
    std::uint32_t pitch;         // bytes from one line to the next
};

struct ChipState {
    std::uint16_t id;      // GR 92, or 0xFFFF (GR 91 bits 7-4 clear, see the chip query)
    bool later_generation; // identifier above 7
    std::uint32_t aperture;
};

struct ScreenState {
    std::uint16_t width, height;
    std::uint16_t bpp;
    std::uint32_t video_memory; // bytes
    bool wide_bus;              // GR 72 bit 2
    double memory_clock;        // MHz
    double pixel_clock;         // MHz; -1 for no clock, 0 for a post divider without divisor
};

enum class LockMode { Off, SyncLock, Genlock, VideoClock };

struct LockState {
    LockMode mode;
    bool ntsc;         // TV encoder standard (TV E438 bit 12)
    int output_mode;   // row of the sync registers CR 28-2B, -1 when none matches
    int variant;       // table variant of that row, -1 when none matches
    bool video_output; // sync-lock video output switch (SR 4A bit 3)
    bool vcr;          // VCR setting (SR EB bit 7 clear while locked)
};

struct ControllerState {
    ChipState chip;
    ScreenState screen;
    OverlayState overlay[2];
    CaptureState capture[2];
    LockState lock;
};

ChipState chip_state(RegisterReader &reader);
ScreenState screen_state(RegisterReader &reader);
DisplayState display_state(RegisterReader &reader);
OverlayState overlay_state(RegisterReader &reader, int window);
// The window on top where both overlap (SR DE bit 0).
int overlay_on_top(RegisterReader &reader);
CaptureState capture_state(RegisterReader &reader, int engine);
// The engine routed to the video port.
int routed_engine(RegisterReader &reader);
LockState lock_state(RegisterReader &reader);
ControllerState controller_state(RegisterReader &reader);

// Synthesiser output in MHz for the low N byte, M/post byte and high bits.
double synthesiser_clock(std::uint8_t n, std::uint8_t m, std::uint8_t h, bool later_generation);

const char *lock_mode_name(LockMode mode);
const char *standard_name(bool ntsc);

// Lines that a person can read, each ending in '\n'.  Addresses are byte
// offsets in hex, sizes and pitches in bytes.
std::string describe(const OverlayState &overlay, int window);
std::string describe(const CaptureState &capture);
std::string describe_buffers(const CaptureState &capture); // guard and double buffering
std::string describe(const LockState &lock);
std::string describe(const ControllerState &state);

} // namespace kova::state
