// grab on the hardware: the video input is whatever is connected to it, and
// there is no model of the screen to take a picture of.
#include "grab.h"

namespace kova::ctl::grab {

const bool kHasSource = false;

int with_source(std::string_view, const Options &options, const Args &args, Handler body) {
    return body(options, args);
}

int screenshot(const std::string &) {
    error(kExitFailure,
          "screenshot: the screen picture comes from the simulated controller; use kovactl --sim screenshot");
    return kExitFailure;
}

} // namespace kova::ctl::grab
