// kovaview: a live view of the simulated controller's screen.
//
//   kovaview [options] [-- capview options]
//
// Every field period of the source it brings one field through the capture
// engines into video memory and composes the screen the registers describe,
// the same picture as kovasim --png, and shows it in a window or writes it
// to a y4m stream.  With "--", capview runs first on the controller.
#include "capview.h"
#include "field_clock.h"
#include "options.h"
#include "state_dir.h"
#include "viewer.h"
#include "window.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

namespace video = kova::sim::video;
using kova::view::Clock;
using kova::view::Command;
using kova::view::Options;

constexpr int kRunError = 1;

volatile std::sig_atomic_t g_signal = 0;

// SIGINT, SIGTERM and SIGHUP end the viewer after the field it is at: the
// stream is finished, the registers let go.  A wait or a write they cut
// short returns at once (no SA_RESTART).
void end_on_signals() {
    struct sigaction action {};
    action.sa_handler = [](int signal) { g_signal = signal; };
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

// The virtual card: attaching is the simulated controller's own business
// (KOVA_CARD); until this build has one, a card asked for is refused.
bool attach_card(const Options &options, std::string &error) {
    const char *env = std::getenv("KOVA_CARD");
    const std::string card = !options.card.empty() ? options.card : env != nullptr ? env : "";
    if (card.empty()) return true;
    error = (options.card.empty() ? "KOVA_CARD=" : "--card ") + card +
            ": this build has no virtual card; kovaview watches a controller of its own";
    return false;
}

// The register-owner lock's directory, checked as kovasim checks its state
// directory; "" for none.
bool lock_dir(const Options &options, std::string &dir, std::string &error) {
    dir = options.state_dir;
    if (dir.empty()) return true;
    if (kova::tool::is_default_state_dir(dir)) {
        error =
            "--state-dir " + dir + ": the hardware's state directory; a simulated lock is taken elsewhere";
        return false;
    }
    std::string reason;
    if (kova::tool::writable_state_dir(dir, reason)) return true;
    error = "--state-dir " + reason;
    return false;
}

struct Counts {
    std::uint64_t shown = 0, dropped = 0;
};

// The loop's state: what it shows and writes, and its clock.
class Run {
  public:
    Run(const Options &options, kova::view::Viewer &viewer, int rate_num, int rate_den)
        : options_(options), viewer_(viewer), clock_(rate_num, rate_den) {}

    bool open_outputs(int rate_num, int rate_den, std::string &error);
    int loop();
    bool finish(std::string &error);
    const Counts &counts() const { return counts_; }
    // Seconds of the run, pauses left out.
    double seconds() const {
        const Clock::duration paused = paused_ ? paused_for_ + (Clock::now() - paused_since_) : paused_for_;
        return std::chrono::duration<double>(Clock::now() - started_ - paused).count();
    }

  private:
    bool advance();
    bool bring(bool composed);
    Command wait_until(Clock::time_point when);
    bool obey(Command command);
    void snapshot();
    void update_title(bool force);

    const Options &options_;
    kova::view::Viewer &viewer_;
    kova::view::FieldClock clock_;
    kova::view::Window window_;
    bool windowed_ = false, paused_ = false, quit_ = false;
    video::Y4mWriter y4m_;
    video::Image screen_;
    Counts counts_;
    std::string error_;
    Clock::time_point started_ = Clock::now(), title_at_{}, paused_since_{};
    Clock::duration paused_for_{};
    std::uint64_t title_shown_ = 0;
    double per_second_ = 0;
};

bool Run::open_outputs(int rate_num, int rate_den, std::string &error) {
    if (!options_.y4m_file.empty()) {
        const kova::sim::DisplayState d = kova::sim::display_state(kova::sim::controller());
        if (!y4m_.open(options_.y4m_file, d.width, d.height, rate_num, rate_den, error)) return false;
    }
    if (!options_.window) return true;
    const kova::sim::DisplayState d = kova::sim::display_state(kova::sim::controller());
    windowed_ = window_.open(d.width, d.height, options_.integer_scale, error);
    if (windowed_ || options_.fields == 0) return windowed_;
    std::fprintf(stderr, "kovaview: %s; running without a window\n", error.c_str());
    return true;
}

// One field brought, the screen composed when something will take it.
bool Run::bring(bool composed) {
    if (!viewer_.field(composed ? &screen_ : nullptr, error_)) return false;
    if (!composed) return true;
    ++counts_.shown;
    if (windowed_) window_.show(screen_);
    if (options_.y4m_file.empty()) return true;
    if (screen_.width == y4m_.width() && screen_.height == y4m_.height()) {
        if (y4m_.write(screen_) || g_signal != 0) return true;
        error_ = "cannot write " + options_.y4m_file;
    } else {
        error_ = "the screen is now " + std::to_string(screen_.width) + "x" + std::to_string(screen_.height) +
                 "; the y4m stream keeps its size";
    }
    return false;
}

// The fields whose time has come: each brought, the last shown; a field
// whose successor has begun already is dropped from the window (a stream
// still gets it).
bool Run::advance() {
    const std::uint64_t brought = viewer_.fields();
    std::uint64_t due = options_.pacing ? clock_.begun(Clock::now()) : brought + 1;
    if (options_.fields != 0) due = std::min<std::uint64_t>(due, options_.fields);
    for (std::uint64_t k = brought; k + 1 < due; ++k, ++counts_.dropped)
        if (!bring(!options_.y4m_file.empty())) return false;
    return due <= brought || bring(true);
}

// Waits until `when`, or for a command from the window.
Command Run::wait_until(Clock::time_point when) {
    const Clock::time_point now = Clock::now();
    if (windowed_) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
        return window_.next(static_cast<int>(std::max<decltype(ms)>(ms, 0)));
    }
    if (when <= now) return Command::None;
    // The steady clock is the monotonic clock.
    const auto ns = std::chrono::nanoseconds(when.time_since_epoch()).count();
    const timespec until{static_cast<std::time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr); // a signal ends it early
    return Command::None;
}

bool Run::obey(Command command) {
    switch (command) {
    case Command::Quit:
        quit_ = true;
        break;
    case Command::Pause:
        paused_ = !paused_;
        paused_ ? clock_.pause(Clock::now()) : clock_.resume(Clock::now());
        if (paused_) paused_since_ = Clock::now();
        if (!paused_) paused_for_ += Clock::now() - paused_since_;
        update_title(true);
        break;
    case Command::Step:
        if (paused_ && !bring(true)) return false;
        update_title(true);
        break;
    case Command::Snapshot:
        snapshot();
        break;
    case Command::FullScreen:
        window_.toggle_full_screen();
        break;
    case Command::None:
        break;
    }
    return true;
}

// The picture shown, as kovasim --png writes it, named with the field number
// of the source.
void Run::snapshot() {
    const std::string path =
        options_.snapshot_dir + "/kovaview-" + std::to_string(viewer_.model().fields()) + ".png";
    std::string error;
    if (!video::png_supported())
        std::fprintf(stderr, "kovaview: %s not written: this kovaview was built without libpng\n",
                     path.c_str());
    else if (video::write_png(path, screen_, error))
        std::fprintf(stderr, "kovaview: snapshot %s\n", path.c_str());
    else
        std::fprintf(stderr, "kovaview: %s\n", error.c_str());
}

// The title, once a second or when asked: screen mode, fields shown per
// second, dropped, captured, guard stops, the sync lock.
void Run::update_title(bool force) {
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - title_at_).count();
    if (!force && elapsed < 1.0) return;
    if (elapsed >= 1.0 && !paused_) { // paused, the title keeps the rate it had
        per_second_ = static_cast<double>(counts_.shown - title_shown_) / elapsed;
        title_at_ = now, title_shown_ = counts_.shown;
    }
    if (!windowed_) return;
    const kova::view::Status &status = viewer_.status();
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", per_second_);
    const video::Model &model = viewer_.model();
    window_.set_title("kovaview - " + status.mode + " - " + rate + " fields/s - " +
                      std::to_string(counts_.dropped) + " dropped - " +
                      std::to_string(model.fields_captured()) + " captured - " +
                      std::to_string(model.guard_stops()) + " guard stops - lock: " + status.lock +
                      (paused_ ? " - paused" : ""));
}

// Until the fields asked for are shown, q, a closed window, or a signal.
// 0, or kRunError after a message.
int Run::loop() {
    clock_.start(Clock::now());
    started_ = Clock::now();
    while (g_signal == 0 && !quit_) {
        if (!paused_ && !advance()) break;
        if (options_.fields != 0 && viewer_.fields() >= options_.fields) {
            // The last field stays its period.
            while (options_.pacing && g_signal == 0 && !quit_ &&
                   Clock::now() < clock_.begins(viewer_.fields()))
                obey(wait_until(clock_.begins(viewer_.fields())));
            break;
        }
        update_title(false);
        const Clock::time_point next = paused_           ? Clock::now() + std::chrono::milliseconds(100)
                                       : options_.pacing ? clock_.begins(viewer_.fields())
                                                         : Clock::now();
        if (!obey(wait_until(next))) break;
    }
    if (error_.empty() || g_signal != 0) return 0;
    std::fprintf(stderr, "kovaview: %s\n", error_.c_str());
    return kRunError;
}

// The stream put in place (whole frames only: a signal waits for the frame).
bool Run::finish(std::string &error) {
    return options_.y4m_file.empty() || y4m_.close(error);
}

// What was shown, and what the engines were left doing.
void print_summary(const Run &run, const kova::view::Viewer &viewer) {
    const video::Model &model = viewer.model();
    const double seconds = run.seconds();
    std::fprintf(stderr,
                 "kovaview: %llu fields in %.2f s (%.1f per second), %llu shown, %llu dropped\n"
                 "  video: %s, %llu fields, %llu captured, %llu guard stops\n",
                 static_cast<unsigned long long>(viewer.fields()), seconds,
                 seconds > 0 ? static_cast<double>(viewer.fields()) / seconds : 0.0,
                 static_cast<unsigned long long>(run.counts().shown),
                 static_cast<unsigned long long>(run.counts().dropped), model.source().name().c_str(),
                 static_cast<unsigned long long>(model.fields()),
                 static_cast<unsigned long long>(model.fields_captured()),
                 static_cast<unsigned long long>(model.guard_stops()));
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    if (const int status = kova::view::parse(argc, argv, options); status != 0) return status;
    end_on_signals();
    std::string error, dir;
    if (!attach_card(options, error) || !lock_dir(options, dir, error)) return kova::view::usage_error(error);
    auto source = video::open_source(options.source, error);
    if (!source) return kova::view::usage_error("--source " + error);
    const video::StandardInfo &info = video::standard_info(source->standard());

    auto &sim = kova::sim::controller();
    for (const auto &setting : options.settings)
        kova::sim::apply(sim, setting);
    kova::view::Viewer viewer(sim, std::move(source), dir);
    if (!options.capview_args.empty()) {
        const int status =
            capview_main(static_cast<int>(options.capview_args.size()) - 1, options.capview_args.data());
        std::fflush(stdout);
        if (status != 0) return status;
    }
    Run run(options, viewer, info.field_rate_num, info.field_rate_den);
    if (!run.open_outputs(info.field_rate_num, info.field_rate_den, error)) {
        std::fprintf(stderr, "kovaview: %s\n", error.c_str());
        return kRunError;
    }
    int status = run.loop();
    if (!run.finish(error)) {
        std::fprintf(stderr, "kovaview: %s\n", error.c_str());
        status = kRunError;
    }
    print_summary(run, viewer);
    return g_signal != 0 ? 128 + g_signal : status;
}
