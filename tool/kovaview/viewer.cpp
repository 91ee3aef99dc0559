#include "viewer.h"

#include "engines.h"

namespace kova::view {

Viewer::Viewer(kova::sim::Controller &sim, std::unique_ptr<kova::sim::video::Source> source,
               std::string lock_dir)
    : sim_(sim), model_(sim, std::move(source)), lock_dir_(std::move(lock_dir)) {}

bool Viewer::field(kova::sim::video::Image *screen, std::string &error) {
    if (!lock_dir_.empty() && !owner_.acquire(lock_dir_, "kovaview", kova::tool::kRegisterOwnerWait, error))
        return false;
    sim_.next_field(); // the model's clock: the source moves on, a running engine captures
    if (screen != nullptr) model_.screen(*screen);
    const kova::sim::DisplayState d = kova::sim::display_state(sim_);
    status_ = {std::to_string(d.width) + "x" + std::to_string(d.height) + " " + std::to_string(d.bpp) +
                   " bpp",
               kova::state::lock_mode_name(kova::sim::controller_state(sim_).lock.mode)};
    owner_.release();
    ++fields_;
    return true;
}

} // namespace kova::view
