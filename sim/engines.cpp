#include "engines.h"

namespace kova::sim {

OverlayState overlay_state(const Controller &sim, int window) {
    ControllerReader reader(sim);
    return state::overlay_state(reader, window);
}

CaptureState capture_state(const Controller &sim) {
    ControllerReader reader(sim);
    return state::capture_state(reader, state::routed_engine(reader));
}

CaptureState capture_state(const Controller &sim, int engine) {
    ControllerReader reader(sim);
    return state::capture_state(reader, engine);
}

int overlay_on_top(const Controller &sim) {
    ControllerReader reader(sim);
    return state::overlay_on_top(reader);
}

DisplayState display_state(const Controller &sim) {
    ControllerReader reader(sim);
    return state::display_state(reader);
}

state::ControllerState controller_state(const Controller &sim) {
    ControllerReader reader(sim);
    return state::controller_state(reader);
}

} // namespace kova::sim
