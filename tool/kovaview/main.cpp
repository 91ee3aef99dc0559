// kovaview: a live view of the simulated controller's screen.
//
//   kovaview [options] [-- capview options]
//
// Every field period of the source it brings one field through the capture
// engines into video memory and composes the screen the registers describe,
// the same picture as kovasim --png, and shows it in a window or writes it
// to a y4m stream.  With "--", capview runs first on the controller.  On a
// virtual card (--card, KOVA_CARD) it is the card's clock and monitor: the
// registers are taken around each field only, and a field whose registers
// another program holds is skipped.
#include "capview.h"
#include "card.h"
#include "field_clock.h"
#include "lock_state.h"
#include "options.h"
#include "register_dump.h"
#include "register_owner.h"
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
namespace picture = kova::picture;
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

// The register-owner lock's directory given by --state-dir, checked as
// kovasim checks its state directory.
bool check_state_dir(const Options &options, std::string &error) {
    const std::string &dir = options.state_dir;
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

std::string g_lock_dir; // where a sync lock that capview makes is recorded

void record_sync_lock() {
    std::string error;
    if (!kova::tool::record_lock_state(g_lock_dir, error))
        std::fprintf(stderr, "kovaview: warning: sync lock not recorded: %s\n", error.c_str());
}

// The controller on the card of --card or $KOVA_CARD (made when missing), as
// kovasim attaches it, but without holding its registers: the viewer takes
// them around each field.  `dir` is the card's state directory (--state-dir
// when given).  Without a card, `dir` is --state-dir.
bool attach_card(kova::sim::Controller &sim, const Options &options, std::string &dir) {
    dir = options.state_dir;
    if (options.card.empty()) return true;
    kova::sim::Card::Use use;
    use.program = "kovaview";
    use.state_dir = options.state_dir;
    use.hold_registers = false;
    std::string error;
    auto card = kova::sim::Card::open(options.card, use, error);
    if (!card) {
        std::fprintf(stderr, "kovaview: --card %s\n", error.c_str());
        return false;
    }
    dir = card->state_dir();
    sim.attach(std::move(card));
    return true;
}

// On a card, the settings, the desktop of a card just powered on and
// capview's run are one program's turn with the registers, waited for as
// every program waits; a viewer with none of them starts at once.
bool needs_turn(const kova::sim::Controller &sim, const Options &options) {
    return sim.on_card() && (!options.settings.empty() || !options.capview_args.empty() ||
                             sim.card()->storage().desktop_painted == 0);
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
    std::string held_text() const;

    const Options &options_;
    kova::view::Viewer &viewer_;
    kova::view::FieldClock clock_;
    kova::view::Window window_;
    bool windowed_ = false, paused_ = false, quit_ = false, was_held_ = false;
    picture::Y4mWriter y4m_;
    picture::Image screen_;
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
// A field whose registers another program holds is skipped, the title
// saying so.
bool Run::bring(bool composed) {
    const kova::view::Viewer::Field field = viewer_.field(composed ? &screen_ : nullptr, error_);
    if (field == kova::view::Viewer::Field::Failed) return false;
    if (field == kova::view::Viewer::Field::Skipped || was_held_) update_title(true);
    was_held_ = field == kova::view::Viewer::Field::Skipped;
    if (!composed || was_held_) return true;
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

// The field periods whose time has come: each field brought (or skipped),
// the last shown; a field whose successor has begun already is dropped from
// the window (a stream still gets it).
bool Run::advance() {
    const std::uint64_t at = viewer_.periods();
    std::uint64_t due = options_.pacing ? clock_.begun(Clock::now()) : at + 1;
    if (options_.fields != 0) due = std::min<std::uint64_t>(due, at + options_.fields - viewer_.fields());
    for (std::uint64_t k = at; k + 1 < due; ++k, ++counts_.dropped)
        if (!bring(!options_.y4m_file.empty())) return false;
    return due <= at || bring(true);
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
        options_.snapshot_dir + "/kovaview-" + std::to_string(viewer_.field_number()) + ".png";
    std::string error;
    if (!picture::png_supported())
        std::fprintf(stderr, "kovaview: %s not written: this kovaview was built without libpng\n",
                     path.c_str());
    else if (picture::write_png(path, screen_, error))
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
                      (paused_ ? " - paused" : "") + held_text());
}

// While another program holds the card's registers, and the fields skipped
// so far for that reason.
std::string Run::held_text() const {
    const std::string skipped = std::to_string(viewer_.skipped()) + " skipped";
    if (was_held_) return " - waiting: registers held by " + viewer_.status().held_by + ", " + skipped;
    return viewer_.skipped() != 0 ? " - " + skipped : "";
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
                   Clock::now() < clock_.begins(viewer_.periods()))
                obey(wait_until(clock_.begins(viewer_.periods())));
            break;
        }
        update_title(false);
        const Clock::time_point next = paused_           ? Clock::now() + std::chrono::milliseconds(100)
                                       : options_.pacing ? clock_.begins(viewer_.periods())
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
    if (viewer.skipped() != 0)
        std::fprintf(stderr, "  %llu field periods skipped: another program held the registers\n",
                     static_cast<unsigned long long>(viewer.skipped()));
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    if (const int status = kova::view::parse(argc, argv, options); status != 0) return status;
    end_on_signals();
    kova::sim::ignore_environment_card(); // attached below, with kovaview's messages
    if (options.card.empty()) options.card = kova::sim::environment_card();
    std::string error, dir;
    if (!check_state_dir(options, error)) return kova::view::usage_error(error);
    auto source = video::open_source(options.source, error);
    if (!source) return kova::view::usage_error("--source " + error);
    const video::StandardInfo &info = video::standard_info(source->standard());

    auto &sim = kova::sim::controller();
    if (!attach_card(sim, options, dir)) return kova::view::kUsageError;
    sim.begin();
    kova::tool::RegisterOwner turn;
    if (needs_turn(sim, options) && !turn.acquire(dir, "kovaview", kova::tool::kRegisterOwnerWait, error)) {
        std::fprintf(stderr, "kovaview: --card %s: %s\n", options.card.c_str(), error.c_str());
        return kRunError;
    }
    for (const auto &setting : options.settings)
        kova::sim::apply(sim, setting);
    using Wait = kova::view::Viewer::Wait;
    kova::view::Viewer viewer(sim, std::move(source), dir,
                              sim.on_card() ? Wait::NotAtAll : Wait::AsTheOthers);
    if (!options.capview_args.empty()) {
        if (sim.on_card()) g_lock_dir = dir, capview_after_sync_lock = record_sync_lock;
        const int status =
            capview_main(static_cast<int>(options.capview_args.size()) - 1, options.capview_args.data());
        std::fflush(stdout);
        if (status != 0) return status;
    }
    turn.release();
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
