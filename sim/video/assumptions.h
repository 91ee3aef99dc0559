// The video model's assumptions, all in one place.
//
// The register meanings say where the engines read and write and with which
// sizes; they do not say how pixels become light.  Everything below is this
// model's own choice, not a fact about the controller, and each choice lives
// in the one function named beside it so that a better guess changes one
// place: in this header, but capture_field (model.h), the pixel formats and
// colours (1-3 and 11: picture/pixels.h, which pictures of the hardware read
// too) and the capture engine's buffer layout (5, 7, 8: lib/decode.h, by
// which kovactl grab reads the card's video memory).
//
//  1. Pixel formats of an overlay window (OVL DB bits 0-2): 0 = YUYV 4:2:2
//     (Y0 U Y1 V; also what the capture engine writes), 1 = RGB 5:5:5,
//     2 = RGB 5:6:5, 3 = RGB 8:8:8 stored B, G, R, 4 = RGB 8:8:8:8 stored
//     B, G, R, unused, 5 = 8-bit index into the default palette, 6 = UYVY
//     4:2:2, 7 = 8-bit grey.                                  decode_row()
//  2. Colour: Y'CbCr is BT.601 with studio range (Y 16-235, Cb and Cr
//     16-240) in both directions.  To RGB the rounding is the SIMD pixel
//     library's where the build has it (a value may differ by one from the
//     plain 8.8 fixed-point sums of a build without it).
//                                                yuv_to_rgb(), rgb_to_yuv()
//  3. Screen depths: 16 bits are RGB 5:6:5, 24 bits B, G, R, 32 bits B, G, R,
//     unused (least significant byte first); 8 bits index the default
//     palette; 4 bits index its first 16 entries, two pixels per byte, the
//     left one in the high nibble.        decode_screen_row(), encode_screen_pixel()
//  4. Window edges: left and top inclusive, right and bottom exclusive, so
//     (0,0)-(720,576) is 720 x 576 pixels.                      window_span()
//  5. Scaling, both engines: no filtering; each output pixel takes the source
//     pixel at or before output × source / destination.  A capture engine
//     writes source size × factor / 4096 pixels (and lines), rounded to the
//     nearest.        capture_size(), capture_source_index(),
//                                                     overlay_source_index()
//  6. Capture input window: first pixel and first line inclusive, end pixel
//     and end line exclusive; field line 0 is the first active line; the part
//     of the window outside the active picture is black.     capture_field()
//  7. Fields: field 0 holds the even lines of the frame and comes first;
//     inverted polarity swaps the numbers.  With field scaling, line j of
//     field f goes to destination line 2j + f; without it, to line j (the
//     later field overwrites the earlier).                capture_line_offset()
//  8. Double buffering: field 0 goes to the front buffer (the destination
//     address) and field 1 to the back buffer, each at line 2j with field
//     scaling; overlay window 0 shows the buffer filled last.
//                                  capture_line_offset(), overlay_buffer_shift()
//  9. BOB: the window shows only the field captured last: its source line l
//     is buffer line 2l + that field.  The vertical factor does the repeating
//     (at 2:1 every line twice); the 2:1 bit adds nothing.
//                                                       overlay_line_address()
// 10. Guard: the guard register holds the start of the last burst the engine
//     may write (16 bytes, 32 on the wide bus), so nothing is written at or
//     past guard + burst, which is the address the library was given.  A
//     field that reaches it stops there.                       guard_limit()
// 11. Fetch count: pixels past fetch × 8 bytes of a source line show black.
//                                                           decode_row() limit
// 12. No colour key: the key colour registers and the overlay mode bit
//     (OVL DC bit 1) change nothing on the screen.
// 13. No signal: the capture engine receives no field and writes nothing.
// 14. Time: one field of the source passes per frame of the display (the
//     raster's field boundary); a frame of the screen is one field period.
//
// On a virtual card (sim/card.h), the card's own choices:
// 15. Power-on (a new card, kovactl card reset): every register at its
//     power-on value, raster t = 0, the source's clock at 0, video memory
//     zeros; the lock-state record in the card's state directory goes too,
//     as a reboot empties the hardware's.  Controller::power_on(), card reset
// 16. Between programs no time passes: the raster and the source stand still
//     until a program reads a status register or asks for frames (kovasim
//     --frames).                                    Controller::tick_raster()
// 17. The source's clock is the card's: the fields delivered count from
//     power-on, so a later program sees the source where an earlier one left
//     it.                                                     Model::field()
// 18. The desktop is painted once after power-on, by the first model that
//     draws; later programs find the frame buffer as the last one left it.
//                                                 Controller::claim_desktop()
#pragma once

#include "../engines.h"
#include "decode.h"
#include "pixels.h"

#include <cstdint>

namespace kova::sim::video {

// --- 4. window edges

struct Span {
    int first, end; // first inside, first past
};
inline Span window_span(std::int16_t start, std::int16_t end) {
    return {start, end};
}

// --- 5. scaling (the capture engine's output size is decode::capture_size())

// Capture factors are destination over source.
inline std::uint32_t capture_source_index(std::uint32_t out, std::uint16_t factor) {
    return factor ? static_cast<std::uint32_t>(static_cast<std::uint64_t>(out) * 4096 / factor) : 0;
}
// Overlay factors are source over destination.
inline std::uint32_t overlay_source_index(std::uint32_t out, std::uint16_t factor) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(out) * factor >> 12);
}

// --- 8. the buffer overlay window `window` shows: how far its source moves

std::uint32_t overlay_buffer_shift(int window, const CaptureState &capture, int last_field);

// --- 9. where an overlay source line starts (a byte offset, unbounded)

std::uint64_t overlay_line_address(const OverlayState &overlay, std::uint32_t shift, int bob_field,
                                   std::uint32_t line);

// --- 10. the first byte the capture engine may not write

inline std::uint64_t guard_limit(const CaptureState &capture) {
    return static_cast<std::uint64_t>(capture.guard) + decode::guard_burst(capture.wide_bus);
}

} // namespace kova::sim::video
