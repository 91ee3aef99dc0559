// grab and screenshot: the parts that differ between the hardware program and
// the simulated one.
#pragma once

#include "kovactl.h"

#include <string>
#include <string_view>

namespace kova::ctl::grab {

// True where --source can choose what the video-input port receives.
extern const bool kHasSource;

// Runs `body` with the picture source in place: on the simulated controller
// the video model (test pattern "pal" or "ntsc", "none", or a YUV4MPEG2 file)
// attached to the raster, so that fields are captured while the grab waits
// for them; on the hardware the video input itself.
int with_source(std::string_view source, const Options &options, const Args &args, Handler body);

// Writes the screen as the display shows it to a PNG file.
int screenshot(const std::string &path);

} // namespace kova::ctl::grab
