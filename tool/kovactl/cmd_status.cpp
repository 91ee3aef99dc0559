// status: the controller's state, decoded from its registers.
#include "controller_state.h"
#include "decode.h"
#include "json.h"
#include "kovactl.h"
#include "register_access.h"

namespace kova::ctl {

namespace {

JsonObject overlay_json(const state::OverlayState &o, int window) {
    JsonObject j;
    j.add("window", window).add("on", o.on).add("left", o.left).add("top", o.top).add("right", o.right);
    j.add("bottom", o.bottom).add("source", o.source).add("pitch", o.pitch).add("format", o.format);
    j.add("h_factor", o.h_factor).add("v_factor", o.v_factor).add("field_mode", o.bob ? "bob" : "weave");
    return j.add("bob_double", o.bob_double).add("key", o.key).add("on_top", o.on_top);
}

JsonObject capture_json(const state::CaptureState &c) {
    JsonObject j;
    j.add("engine", c.engine).add("routed", c.routed).add("enabled", c.enabled).add("held", c.held);
    j.add("first_pixel", c.first_pixel).add("end_pixel", c.end_pixel).add("first_line", c.first_line);
    j.add("end_line", c.end_line)
        .add("destination", c.destination)
        .add("pitch", c.pitch * decode::kCaptureBytesPerPixel);
    j.add("h_factor", c.h_factor).add("v_factor", c.v_factor).add("field_scaling", c.field_scaling);
    j.add("inverted_fields", c.inverted_fields).add("guard_on", c.guard_on).add("guard", c.guard);
    return j.add("double_buffer", c.double_buffer).add("back_buffer", c.back_buffer);
}

JsonObject lock_json(const state::LockState &l) {
    JsonObject j;
    j.add("mode", state::lock_mode_name(l.mode)).add("standard", state::standard_name(l.ntsc));
    j.add("output_mode", l.output_mode).add("variant", l.variant).add("video_output", l.video_output);
    return j.add("vcr", l.vcr);
}

int status(const Options &options, const Args &) {
    regs::Reader reader;
    const state::ControllerState s = state::controller_state(reader);
    if (!options.json) {
        std::fputs(state::describe(s).c_str(), stdout);
        return kExitOk;
    }
    JsonObject chip, screen, clocks;
    chip.add("id", s.chip.id)
        .add("later_generation", s.chip.later_generation)
        .add("aperture", s.chip.aperture);
    screen.add("width", s.screen.width).add("height", s.screen.height).add("bpp", s.screen.bpp);
    screen.add("video_memory", s.screen.video_memory).add("wide_bus", s.screen.wide_bus);
    clocks.add("memory_mhz", s.screen.memory_clock).add("pixel_mhz", s.screen.pixel_clock);
    const JsonObject overlays[2] = {overlay_json(s.overlay[0], 0), overlay_json(s.overlay[1], 1)};
    const JsonObject captures[2] = {capture_json(s.capture[0]), capture_json(s.capture[1])};
    JsonObject all;
    all.add("chip", chip).add("screen", screen).add("clocks", clocks);
    all.add("overlays", std::span<const JsonObject>(overlays))
        .add("captures", std::span<const JsonObject>(captures));
    print_json(all.add("lock", lock_json(s.lock)));
    return kExitOk;
}

constexpr Command kCommands[] = {
    {.name = "status",
     .handler = status,
     .help =
         "chip, screen, clocks, overlay windows, capture engines and sync lock, decoded from the registers"},
};

} // namespace

std::span<const Command> status_commands() {
    return kCommands;
}

} // namespace kova::ctl
