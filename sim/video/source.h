// The video source on the video-input port: a built-in test pattern, the
// frames of a YUV4MPEG2 file, or no signal.
#pragma once

#include "assumptions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kova::sim::video {

enum class Standard : std::uint8_t { Pal, Ntsc };

struct StandardInfo {
    int width, height;                  // active picture of a frame
    int field_rate_num, field_rate_den; // fields per second
    const char *name;
};
const StandardInfo &standard_info(Standard standard);

// One frame, 4:2:2: a luma sample per pixel, Cb and Cr per pair of pixels.
struct Frame {
    int width = 0, height = 0;
    std::vector<std::uint8_t> y, cb, cr;

    void reset(int w, int h); // black
    int chroma_width() const { return (width + 1) / 2; }
    std::uint8_t *y_row(int line) { return y.data() + static_cast<std::size_t>(line) * width; }
    std::uint8_t *cb_row(int line) { return cb.data() + static_cast<std::size_t>(line) * chroma_width(); }
    std::uint8_t *cr_row(int line) { return cr.data() + static_cast<std::size_t>(line) * chroma_width(); }
    const std::uint8_t *y_row(int line) const { return y.data() + static_cast<std::size_t>(line) * width; }
    const std::uint8_t *cb_row(int line) const {
        return cb.data() + static_cast<std::size_t>(line) * chroma_width();
    }
    const std::uint8_t *cr_row(int line) const {
        return cr.data() + static_cast<std::size_t>(line) * chroma_width();
    }
    picture::Yuv at(int x, int line) const {
        return {y_row(line)[x], cb_row(line)[x / 2], cr_row(line)[x / 2]};
    }
    void put(int x, int line, picture::Yuv p) {
        y_row(line)[x] = p.y, cb_row(line)[x / 2] = p.u, cr_row(line)[x / 2] = p.v;
    }
};

class Source {
  public:
    explicit Source(Standard standard) : standard_(standard) {}
    virtual ~Source() = default;
    Source(const Source &) = delete;
    Source &operator=(const Source &) = delete;

    Standard standard() const { return standard_; }
    virtual bool signal() const { return true; }
    // Frame `number` of the signal, counted from 0, in the standard's size.
    virtual const Frame &frame(std::uint64_t number) = 0;
    virtual std::string name() const = 0;
    // Frames of a file that ended early or lacked their header, each read as
    // the end of the stream (the next frame is the first again).
    virtual std::uint64_t damaged_frames() const { return 0; }

  private:
    Standard standard_;
};

// The built-in test pattern: its geometry, for whoever checks a picture of it.
namespace pattern {
inline constexpr picture::Yuv kEdge = {235, 128, 128};     // the one-pixel frame round the picture
inline constexpr picture::Yuv kMarkerOn = {235, 128, 128}; // field marker in field 0
inline constexpr picture::Yuv kMarkerOff = {16, 128, 128}; // field marker in field 1
inline constexpr picture::Yuv kBand = {40, 128, 128};      // background of the lowest band
inline constexpr picture::Rgb kBoxColour = {0, 200, 80};   // the moving box
inline constexpr int kBarCount = 8;                        // bars of equal width across the picture
inline constexpr picture::Rgb kBars[kBarCount] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                                  {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {0, 0, 0}};
struct Layout {
    int bars_end; // lines [0, bars_end): colour bars
    int ramp_end; // lines [bars_end, ramp_end): grey ramp from black on the left to white
    int marker_x0, marker_x1, marker_y0, marker_y1; // the field marker
    int box_y0, box_size; // the moving box: from an even line, an even height, so both fields agree
};
Layout layout(Standard standard);
int box_x(Standard standard, std::uint64_t frame); // left edge of the box in a frame
} // namespace pattern

std::unique_ptr<Source> make_pattern(Standard standard);
std::unique_ptr<Source> make_no_signal(Standard standard);
// "pal" or "ntsc" (the test pattern), "none" (no signal) or a YUV4MPEG2 file
// (8-bit 4:2:0 or 4:2:2; NTSC when its frame rate is above 26 per second, and
// centred or cropped to the standard's size).  Null and an error text when the
// file cannot be used.
std::unique_ptr<Source> open_source(const std::string &spec, std::string &error);

} // namespace kova::sim::video
