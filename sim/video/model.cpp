#include "model.h"

namespace kova::sim::video {

Model::Model(Controller &sim, std::unique_ptr<Source> source, Pixels pixels)
    : sim_(sim), source_(std::move(source)), pixels_(pixels) {
    if (pixels_ == Pixels::Drawn && sim_.claim_desktop())
        paint_desktop(display_state(sim_), sim_.video_memory(), Controller::kVideoMemorySize);
    sim_.on_field_boundary([this] { field(); });
}

Model::~Model() {
    sim_.on_field_boundary(nullptr);
}

void Model::field() {
    ++fields_;
    const std::uint64_t number = sim_.video_fields()++; // the source's clock, on the card when there is one
    const int source_field = static_cast<int>(number % 2);
    if (!source_->signal()) return;
    const CaptureState capture = capture_state(sim_);
    if (!capture.enabled || capture.held) return;
    const int field = source_field ^ (capture.inverted_fields ? 1 : 0);
    const FieldResult result = pixels_ == Pixels::Drawn
                                   ? capture_field(capture, source_->frame(number / 2), source_field, field,
                                                   sim_.video_memory(), Controller::kVideoMemorySize)
                                   : field_reach(capture, field, Controller::kVideoMemorySize);
    if (result.written) {
        ++captured_, last_field_ = field;
        sim_.video_last_field() = static_cast<std::uint32_t>(field) + 1;
    }
    if (result.guard_stop) ++guard_stops_;
}

void Model::screen(picture::Image &out) const {
    const CaptureState capture = capture_state(sim_);
    OverlayView views[2];
    for (int window = 0; window < 2; ++window) {
        views[window].state = overlay_state(sim_, window);
        views[window].shift = overlay_buffer_shift(window, capture, last_field());
        views[window].bob_field = last_field() < 0 ? 0 : last_field();
    }
    compose(display_state(sim_), views, overlay_on_top(sim_), sim_.video_memory(),
            Controller::kVideoMemorySize, out);
}

} // namespace kova::sim::video
