// The picture of the simulated controller: a video source on the video-input
// port, the capture engine writing its fields into video memory, and the
// display showing the frame buffer with the two overlay windows over it.
//
// The model reads only register state (through the engine decoder) and video
// memory; it never looks at the library's globals.  Its clock is the
// simulated raster: each field boundary brings one field of the source.
#pragma once

#include "../controller.h"
#include "../engines.h"
#include "picture.h"
#include "source.h"

#include <cstdint>
#include <memory>

namespace kova::sim::video {

struct FieldResult {
    bool written = false;    // the engine took the field
    bool guard_stop = false; // and stopped at its guard
};

// Writes one field of `frame` (source field `source_field`: 0 the even
// lines, 1 the odd) into video memory as the capture registers say; `field`
// is the field number the engine sees (after its polarity).
FieldResult capture_field(const CaptureState &capture, const Frame &frame, int source_field, int field,
                          std::uint8_t *memory, std::uint32_t memory_size);

// What capture_field would report for that field, from the geometry alone:
// nothing is read or written.
FieldResult field_reach(const CaptureState &capture, int field, std::uint32_t memory_size);

// What the display shows of one overlay window beyond its registers.
struct OverlayView {
    OverlayState state;
    std::uint32_t shift = 0; // source moved to the buffer shown (double buffering)
    int bob_field = 0;       // the field a BOB window shows
};

// The screen: the frame buffer at the display's size and depth, the windows
// over it (`views[on_top]` last).
void compose(const DisplayState &display, const OverlayView views[2], int on_top, const std::uint8_t *memory,
             std::uint32_t memory_size, picture::Image &out);

// The power-on desktop: a picture in the frame buffer at the display's depth.
void paint_desktop(const DisplayState &display, std::uint8_t *memory, std::uint32_t memory_size);

class Model {
  public:
    // Whether anything will look at the pixels: with Counts only the model
    // keeps its counts (fields, captures, guard stops) and leaves video
    // memory as it is, without desktop and without captured fields.
    enum class Pixels : std::uint8_t { Drawn, CountsOnly };

    // Paints the desktop into the controller's frame buffer (unless the
    // pixels are not wanted, or a card has it painted since its power-on)
    // and takes the raster's field boundaries as its clock.  The source's
    // frames follow the controller's count of fields delivered, so that on a
    // card a later program sees the source where an earlier one left it.
    Model(Controller &sim, std::unique_ptr<Source> source, Pixels pixels = Pixels::Drawn);
    ~Model();
    Model(const Model &) = delete;
    Model &operator=(const Model &) = delete;

    // One field period: the source moves on and a running engine captures.
    void field();
    // The screen as it is now.
    void screen(picture::Image &out) const;

    const Source &source() const { return *source_; }
    std::uint64_t fields() const { return fields_; } // in this model's life
    std::uint64_t fields_captured() const { return captured_; }
    std::uint64_t guard_stops() const { return guard_stops_; }
    // The field the engine wrote last, as it numbered it; -1 before the
    // first.  On a card, the card's (whichever program's field it was).
    int last_field() const {
        return sim_.on_card() ? static_cast<int>(sim_.video_last_field()) - 1 : last_field_;
    }

  private:
    Controller &sim_;
    std::unique_ptr<Source> source_;
    Pixels pixels_;
    std::uint64_t fields_ = 0, captured_ = 0, guard_stops_ = 0;
    int last_field_ = -1;
};

} // namespace kova::sim::video
