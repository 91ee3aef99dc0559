// What the controller's engines are doing, read off the simulated register
// state: the two overlay windows, capture, double buffering, the capture
// guard and the sync lock's external-sync block.  kovasim prints it as its
// summary; it is also where a model of the engines' effect on video memory
// and the screen will grow.
#pragma once

#include "controller.h"

#include <cstdint>
#include <string>

namespace kova::sim {

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
};

struct CaptureState {
    bool enabled; // GR E8 bit 0
    bool held;    // GR E8 bit 2 or 3: set up but not (yet, or no longer) writing
    int engine;   // the engine routed to the video port (SR EF bit 1)
    std::uint16_t first_pixel, end_pixel, first_line, end_line;
    std::uint32_t destination;        // byte offset in video memory
    std::uint16_t pitch;              // pixels
    std::uint16_t h_factor, v_factor; // destination over source, 0x1000 = 1:1
    bool field_scaling;               // EA bit 1
    bool guard_on;                    // SR A2 bit 2
    std::uint32_t guard;              // byte offset of the guard address
    bool wide_bus;                    // GR 72 bit 2, which the guard address is set for
    bool double_buffer;               // GR AC bit 1 and GR A9 bit 4
    std::uint32_t back_buffer;        // byte offset
    bool inverted_fields;             // GR E9 bit 5
};

// The display: the visible screen and where the frame buffer lies.
struct DisplayState {
    std::uint16_t width, height; // visible pixels and lines
    std::uint8_t bpp;            // 4, 8, 16, 24 or 32
    std::uint32_t pitch;         // bytes from one line to the next
};

OverlayState overlay_state(const Controller &sim, int window);
// The window on top where both overlap (SR DE bit 0).
int overlay_on_top(const Controller &sim);
// The engine routed to the video port, or an engine named by number.
CaptureState capture_state(const Controller &sim);
CaptureState capture_state(const Controller &sim, int engine);
DisplayState display_state(const Controller &sim);

// A few lines that a person can read; each ends in '\n'.
std::string describe(const OverlayState &overlay, int window);
std::string describe(const CaptureState &capture);

} // namespace kova::sim
