// grab and screenshot on the simulated controller: the video model captures
// the source's fields as the raster passes and draws the screen.
#include "controller.h"
#include "grab.h"
#include "model.h"

#include <utility>

namespace kova::ctl::grab {

const bool kHasSource = true;

namespace {

// Frames that pass before a screenshot, as kovasim lets them pass after its run.
constexpr int kScreenshotFrames = 2;

std::unique_ptr<sim::video::Source> open(std::string_view spec) {
    std::string reason;
    auto source = sim::video::open_source(std::string(spec.empty() ? "pal" : spec), reason);
    if (!source) error(kExitUsage, "--source %s", reason.c_str());
    return source;
}

} // namespace

int with_source(std::string_view source_name, const Options &options, const Args &args, Handler body) {
    auto source = open(source_name);
    if (!source) return kExitUsage;
    const sim::video::Model model(sim::controller(), std::move(source));
    return body(options, args);
}

int screenshot(const std::string &path) {
    if (!picture::png_supported()) {
        error(kExitFailure, "screenshot: %s not written: this kovactl was built without libpng",
              path.c_str());
        return kExitFailure;
    }
    auto source = open("");
    if (!source) return kExitUsage;
    sim::Controller &sim = sim::controller();
    const sim::video::Model model(sim, std::move(source));
    for (int i = 0; i < kScreenshotFrames; ++i)
        sim.next_field();
    picture::Image screen;
    model.screen(screen);
    std::string message;
    if (!picture::write_png(path, screen, message)) {
        error(kExitFailure, "screenshot: %s", message.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace kova::ctl::grab
