#include "viewer.h"

#include "engines.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kova::view {

std::string register_holder(const std::string &dir) {
    const int fd = ::open(kova::tool::register_owner_path(dir).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return "";
    std::string holder;
    if (flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        char line[128] = {};
        const ssize_t n = pread(fd, line, sizeof line - 1, 0); // "PID PROGRAM\n"
        const std::string text(line, n > 0 ? static_cast<std::size_t>(n) : 0);
        const auto space = text.find(' ');
        holder = space == std::string::npos ? "another program" : text.substr(space + 1);
        if (!holder.empty() && holder.back() == '\n') holder.pop_back();
        if (holder.empty()) holder = "another program";
    }
    close(fd);
    return holder;
}

Viewer::Viewer(kova::sim::Controller &sim, std::unique_ptr<kova::sim::video::Source> source,
               std::string lock_dir, Wait wait)
    : sim_(sim), model_(sim, std::move(source)), lock_dir_(std::move(lock_dir)), wait_(wait) {}

// The registers for one field; false with `error`, or with status_.held_by
// set when they are held and the viewer does not wait.
bool Viewer::take(std::string &error) {
    status_.held_by.clear();
    if (lock_dir_.empty()) return true;
    if (wait_ == Wait::AsTheOthers)
        return owner_.acquire(lock_dir_, "kovaview", kova::tool::kRegisterOwnerWait, error);
    // Held, or let go between the try and the look: the next try tells.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (owner_.acquire(lock_dir_, "kovaview", std::chrono::milliseconds(0), error)) return true;
        status_.held_by = register_holder(lock_dir_);
        if (!status_.held_by.empty()) return false;
    }
    return false;
}

Viewer::Field Viewer::field(kova::picture::Image *screen, std::string &error) {
    if (!take(error)) {
        if (status_.held_by.empty()) return Field::Failed;
        ++skipped_;
        error.clear(); // a field skipped is no error
        return Field::Skipped;
    }
    sim_.next_field(); // the model's clock: the source moves on, a running engine captures
    if (screen != nullptr) model_.screen(*screen);
    const kova::sim::DisplayState d = kova::sim::display_state(sim_);
    status_.mode =
        std::to_string(d.width) + "x" + std::to_string(d.height) + " " + std::to_string(d.bpp) + " bpp";
    status_.lock = kova::state::lock_mode_name(kova::sim::controller_state(sim_).lock.mode);
    owner_.release();
    ++fields_;
    return Field::Brought;
}

} // namespace kova::view
