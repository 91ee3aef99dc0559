// kovasim: capview on the simulated controller.
//
//   kovasim [kovasim options] [--] [capview options]
//
// Runs capview's own program logic against a fresh simulated controller;
// standard output and exit status are capview's.  kovasim's options may stand
// anywhere before "--"; every other argument goes to capview.  The controller
// has its video model (a desktop in the frame buffer, a source on the video
// port).  Afterwards N more frames pass, and it writes the trace, the register
// dump and the pictures if asked, and a summary of what the engines were left
// doing on standard error.
#include "capview.h"
#include "controller.h"
#include "kova_version.h"
#include "engines.h"
#include "lock_state.h"
#include "number.h"
#include "register_names.h"
#include "signal_hold.h"
#include "standard_output.h"
#include "state_dir.h"
#include "synclock.h"
#include "video/model.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <vector>

// kovarun is this program built a second time with KOVA_RUNNER: the same
// options, set-up and epilogue around a traced hardware-flavour program in
// place of capview's program logic.
#if defined(KOVA_RUNNER)
#include "kovarun/runner.h"
#define KOVASIM_NAME "kovarun"
#define KOVASIM_OPERANDS "-- PROGRAM [ARGS...]"
#define KOVASIM_ABOUT                                                                                        \
    "Runs PROGRAM, a hardware-flavour program, on a simulated controller; its standard input,\n"             \
    "output, error and exit status are its own.  kovarun's options stand before --.\n\n"
#define KOVASIM_HELP_HELP "print this help and exit"
#define KOVASIM_CARD_HELP "run PROGRAM on the virtual card FILE (made when missing; default $KOVA_CARD)"
#else
#define KOVASIM_NAME "kovasim"
#define KOVASIM_OPERANDS "[--] [capview options]"
#define KOVASIM_ABOUT                                                                                        \
    "Runs capview on a simulated controller; standard output and exit status are capview's.\n"               \
    "kovasim's options may stand anywhere before --; all other arguments go to capview.\n\n"
#define KOVASIM_HELP_HELP "print this help and exit (capview's own: kovasim -- --help)"
#define KOVASIM_CARD_HELP                                                                                    \
    "run on the virtual card FILE (made when missing; default $KOVA_CARD); with --frames\n"                  \
    "and no capview options, only the frames pass"
#endif

namespace {

using kova::sim::Failure;

constexpr int kUsageError = 2;
constexpr std::uint32_t kMaxFrames = 100000;

// An output file of the run, opened before anything runs so that a name that
// cannot be written is an error up front, and put in place whole after the
// run.  "-" is standard error.
struct Output {
    std::string name;
    kova::sim::video::OutputFile file;
};

struct Options {
    Output trace;
    Output dump;
    std::string state_dir;  // empty: no lock-state record
    std::string card;       // the virtual card ("" none)
    bool separator = false; // "--" given: capview runs even with no options of its own
    bool frames_given = false;
    bool help = false;
    std::string source = "pal";
    std::uint32_t frames = 2;
    std::string png_file;
    std::string y4m_file;
    std::vector<kova::sim::Setting> settings;
    std::vector<Failure> failures;
    std::vector<char *> capview_args;
};

// Takes an option's value into the options; false with a one-line reason.
using Take = bool (*)(Options &options, std::string_view value, std::string &error);

// A picture's file name: not empty, and not "-", since standard output is capview's.
bool take_picture(std::string &file, std::string_view value, std::string &error) {
    if (value.empty()) {
        error = "empty file name";
        return false;
    }
    if (value == "-") {
        error = "standard output is capview's; name a file (a FIFO to pipe the picture)";
        return false;
    }
    file = value;
    return true;
}

bool take_file(Output &output, std::string_view value, std::string &error) {
    if (value.empty()) {
        error = "empty file name";
        return false;
    }
    output.name = value;
    return true;
}

// kovasim's own options, the one list: parsing, the help text and the
// synopsis all come from it.  None of the names may be a capview option or a
// prefix of one.
struct OwnOption {
    const char *name;
    const char *argument; // the value's name, or nullptr for an option without one
    const char *help;
    Take take;
};

constexpr OwnOption kOwnOptions[] = {
    {"--trace", "FILE", "write the trace of every platform event to FILE (- for standard error)",
     [](Options &o, std::string_view v, std::string &e) { return take_file(o.trace, v, e); }},
    {"--set", "REG=HEX",
     "set a register before the run (repeatable): GRxx, SRxx, CRxx, GRxx@pp, SRxx@pp (paged, in page pp),\n"
     "TVxxxx, Pxxxx",
     [](Options &o, std::string_view v, std::string &e) {
         kova::sim::Setting setting;
         if (!kova::sim::parse_setting(v, setting, e)) return false;
         o.settings.push_back(setting);
         return true;
     }},
    {"--fail", "WHAT", "make a platform call fail (repeatable): iopl, open, mmap-fb, mmap-mmio",
     [](Options &o, std::string_view v, std::string &e) {
         Failure failure;
         if (!kova::sim::parse_failure(v, failure)) {
             e = std::string(v) + ": unknown (iopl, open, mmap-fb or mmap-mmio)";
             return false;
         }
         o.failures.push_back(failure);
         return true;
     }},
    {"--dump", "FILE",
     "write the registers after the run to FILE, one REG=HEX line each (- for standard error)",
     [](Options &o, std::string_view v, std::string &e) { return take_file(o.dump, v, e); }},
    {"--state-dir", "DIR", "record a sync lock in DIR/lock.state, as capview on the hardware does",
     [](Options &o, std::string_view v, std::string &e) {
         if (v.empty()) {
             e = "empty directory name";
             return false;
         }
         o.state_dir = v;
         return true;
     }},
    {"--source", "pal|ntsc|none|FILE.y4m", "the picture on the video port (default pal)",
     [](Options &o, std::string_view v, std::string &) {
         o.source = v;
         return true;
     }},
    {"--frames", "N", "frames of the screen that pass after capview's run (default 2)",
     [](Options &o, std::string_view v, std::string &e) {
         o.frames_given = true;
         if (!kova::tool::parse_number_in(v, 0, kMaxFrames, o.frames)) {
             e = std::string(v) + ": " + kova::tool::number_range(0, kMaxFrames);
             return false;
         }
         return true;
     }},
    {"--png", "FILE", "write the screen after the run as a PNG picture",
     [](Options &o, std::string_view v, std::string &e) { return take_picture(o.png_file, v, e); }},
    {"--y4m", "FILE",
     "write the screen of every frame after the run as a y4m stream: 1.5 bytes a pixel\n"
     "a frame (460,806 bytes at 640x480, 1,179,654 at 1024x768); refused when the file\n"
     "system has not the room for all the frames",
     [](Options &o, std::string_view v, std::string &e) { return take_picture(o.y4m_file, v, e); }},
    {"--card", "FILE", KOVASIM_CARD_HELP,
     [](Options &o, std::string_view v, std::string &e) {
         if (v.empty()) e = "empty file name";
         o.card = v;
         return !v.empty();
     }},
#if defined(KOVA_RUNNER)
    {"--sysfs", "DIR",
     "the device-check tree PROGRAM sees (default: one describing the simulated controller)",
     [](Options &, std::string_view v, std::string &e) { return kova::run::take_sysfs(v, e); }},
    {"--wait-children", nullptr,
     "when PROGRAM ends, wait for its descendants still running (default: they are killed)",
     [](Options &, std::string_view, std::string &) {
         kova::run::wait_for_children();
         return true;
     }},
    {"--strict-ports", nullptr,
     "stop PROGRAM (status 3) at port I/O on a port that is not the controller's, where by\n"
     "default it is served with a warning",
     [](Options &, std::string_view, std::string &) {
         kova::run::set_strict_ports();
         return true;
     }},
#endif
    {"--help", nullptr, KOVASIM_HELP_HELP,
     [](Options &o, std::string_view, std::string &) {
         o.help = true;
         return true;
     }},
};

const OwnOption *find_own(std::string_view name) {
    for (const OwnOption &option : kOwnOptions)
        if (name == option.name) return &option;
    return nullptr;
}

std::string synopsis() {
    std::string text = "usage: " KOVASIM_NAME;
    for (const OwnOption &option : kOwnOptions)
        text += option.argument ? std::string(" [") + option.name + " " + option.argument + "]" : "";
    return text + " " KOVASIM_OPERANDS "\n";
}

void print_help() {
    std::string text = synopsis() + KOVASIM_ABOUT;
    for (const OwnOption &option : kOwnOptions) {
        std::string left =
            std::string("  ") + option.name + (option.argument ? std::string(" ") + option.argument : "");
        left.resize(std::max<std::size_t>(left.size() + 1, 22), ' ');
        text += left;
        for (const char *c = option.help; *c != '\0'; ++c)
            text += *c == '\n' ? "\n" + std::string(22, ' ') : std::string(1, *c);
        text += "\n";
    }
    std::fputs(text.c_str(), stdout);
}

// The status after kovasim's own text on standard output (its help and
// version; otherwise standard output is capview's): a text that could not be
// written is an output file that could not be.
int own_output_status() {
    return kova::tool::close_standard_output(KOVASIM_NAME) ? 0 : kUsageError;
}

int usage_error(const std::string &message) {
    std::fprintf(stderr,
                 KOVASIM_NAME ": %s\n%sRun '" KOVASIM_NAME " --help' for " KOVASIM_NAME "'s options.\n",
                 message.c_str(), synopsis().c_str());
    return kUsageError;
}

// Splits the command line into kovasim's options and capview's arguments.
// Returns 0 or the exit status of a usage error.
int parse(int argc, char **argv, Options &options) {
#if !defined(KOVA_RUNNER)
    static char program_name[] = "capview";
    options.capview_args.push_back(program_name);
#endif
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            options.separator = true;
            ++i;
            break;
        }
        if (arg == "--version") {
            std::printf(KOVASIM_NAME " %s\n", KOVA_VERSION_STRING);
            std::exit(own_output_status());
        }
        std::string_view name = arg, value;
        const auto equals = arg.find('=');
        const bool attached = arg.starts_with("--") && equals != std::string_view::npos;
        if (attached) name = arg.substr(0, equals);
        const OwnOption *own = find_own(name);
        if (own == nullptr) {
#if defined(KOVA_RUNNER)
            break; // the program and its arguments
#endif
            options.capview_args.push_back(argv[i]);
            if (capview_takes_value(argv[i]) && i + 1 < argc) options.capview_args.push_back(argv[++i]);
            continue;
        }
        if (own->argument == nullptr && attached) return usage_error(std::string(name) + " takes no value");
        if (own->argument != nullptr) {
            if (attached)
                value = arg.substr(equals + 1);
            else if (i + 1 < argc)
                value = argv[++i];
            else
                return usage_error(std::string(name) + " needs " + own->argument);
        }
        std::string error;
        if (!own->take(options, value, error)) return usage_error(std::string(name) + ": " + error);
        if (options.help) return 0;
    }
    for (; i < argc; ++i)
        options.capview_args.push_back(argv[i]);
    options.capview_args.push_back(nullptr);
    return 0;
}

// Opens an output file for writing; "-" is standard error.
bool open_output(Output &output) {
    std::string error;
    if (output.name.empty() || output.name == "-" || output.file.open(output.name, error)) return true;
    std::fprintf(stderr, KOVASIM_NAME ": %s\n", error.c_str());
    return false;
}

// Writes the text and puts the file in place.
bool write_output(Output &output, const std::string &text) {
    if (output.name == "-") return std::fputs(text.c_str(), stderr) >= 0 && std::fflush(stderr) == 0;
    if (output.file.get() == nullptr) return true;
    std::string error;
    if (std::fputs(text.c_str(), output.file.get()) >= 0 && output.file.commit(error)) return true;
    if (error.empty()) error = "cannot write " + output.name + ": " + std::strerror(errno);
    output.file.discard();
    std::fprintf(stderr, KOVASIM_NAME ": %s\n", error.c_str());
    return false;
}

// Whether `free` bytes hold a y4m stream of all the frames; an error when
// they do not (nothing is written then).
bool room_for_frames(const std::string &path, std::uint64_t free, const kova::sim::DisplayState &display,
                     std::uint32_t frames, std::string &error) {
    const std::uint64_t frame = kova::sim::video::Y4mWriter::frame_bytes(display.width, display.height);
    const std::uint64_t need = frame * frames;
    if (need <= free) return true;
    error = path + ": " + std::to_string(frames) + " frames of " + std::to_string(frame) + " bytes need " +
            std::to_string(need) + " bytes, and its file system has " + std::to_string(free) +
            " free; not written";
    return false;
}

std::uint64_t free_bytes(const struct statvfs &fs) {
    return std::uint64_t{fs.f_bavail} * fs.f_frsize;
}

// The room check before capview or the program runs, at the screen's size as
// the settings leave it: the file system of the regular file the stream
// replaces, or of the directory a new one goes to.  (A device or a FIFO
// takes the stream as it comes.)
bool room_before_the_run(const Options &options, const kova::sim::Controller &sim) {
    if (options.y4m_file.empty()) return true;
    struct stat st {};
    std::string where = options.y4m_file;
    if (stat(where.c_str(), &st) != 0) {
        const auto slash = where.find_last_of('/');
        where = slash == std::string::npos ? "." : slash == 0 ? "/" : where.substr(0, slash);
    } else if (!S_ISREG(st.st_mode)) {
        return true;
    }
    struct statvfs fs {};
    std::string error;
    if (statvfs(where.c_str(), &fs) != 0 ||
        room_for_frames(options.y4m_file, free_bytes(fs), kova::sim::display_state(sim), options.frames,
                        error))
        return true; // a name that cannot be written is told when the stream is opened
    std::fprintf(stderr, KOVASIM_NAME ": %s\n", error.c_str());
    return false;
}

#if !defined(KOVA_RUNNER)
// The state directory of --state-dir, for the hook that records a sync lock.
std::string g_state_dir;

void record_sync_lock() {
    std::string error;
    if (!kova::tool::record_lock_state(g_state_dir, error))
        std::fprintf(stderr, KOVASIM_NAME ": warning: sync lock not recorded: %s\n", error.c_str());
}
#endif

// Attaches the controller to the card of --card or $KOVA_CARD; a sync lock
// is recorded in the card's state directory unless --state-dir names one.
bool attach_card(kova::sim::Controller &sim, const Options &options) {
    kova::sim::Card::Use use;
    use.program = KOVASIM_NAME;
#if defined(KOVA_RUNNER)
    // The card's lock in the card's own directory: the program takes the
    // register-owner lock of its own state directory (--state-dir) itself.
    use.state_dir = kova::sim::card_state_dir(options.card);
#else
    use.state_dir = options.state_dir;
#endif
    std::string error;
    auto card = kova::sim::Card::open(options.card, use, error);
    if (!card) {
        std::fprintf(stderr, KOVASIM_NAME ": --card %s\n", error.c_str());
        return false;
    }
#if !defined(KOVA_RUNNER)
    g_state_dir = card->state_dir();
    capview_after_sync_lock = record_sync_lock;
#endif
    sim.attach(std::move(card));
    return true;
}

// The frames after capview's run: each one field period of the source; the
// y4m stream gets the screen of every frame.
bool run_frames(kova::sim::Controller &sim, const kova::sim::video::Model &model, const Options &options) {
    using namespace kova::sim::video;
    Y4mWriter y4m;
    std::string error;
    const StandardInfo &info = standard_info(model.source().standard());
    // The stream's size is the screen's as the registers leave it.
    const kova::sim::DisplayState display = kova::sim::display_state(sim);
    Image screen;
    struct statvfs fs {};
    bool ok = options.y4m_file.empty() ||
              (y4m.open(options.y4m_file, display.width, display.height, info.field_rate_num,
                        info.field_rate_den, error) &&
               (!y4m.file().replaces() || fstatvfs(fileno(y4m.file().get()), &fs) != 0 ||
                room_for_frames(options.y4m_file, free_bytes(fs), display, options.frames, error)));
    for (std::uint32_t i = 0; i < options.frames && ok; ++i) { // a stream that cannot be written ends the run
        sim.next_field();
        if (options.y4m_file.empty()) continue;
        model.screen(screen);
        ok = y4m.write(screen);
    }
    ok = ok && y4m.close(error); // else the old file stays: a stream with a frame missing is not put in place
    if (ok && !options.png_file.empty() && !png_supported()) {
        // A kovasim built with nothing but a compiler still runs capview; the
        // picture alone is missing, and the user is told why.
        std::fprintf(stderr,
                     KOVASIM_NAME ": warning: %s not written: this " KOVASIM_NAME
                                  " was built without libpng\n",
                     options.png_file.c_str());
    } else if (ok && !options.png_file.empty()) {
        model.screen(screen);
        ok = write_png(options.png_file, screen, error);
    }
    if (!ok)
        std::fprintf(stderr, KOVASIM_NAME ": %s\n",
                     error.empty() ? "cannot write the y4m stream" : error.c_str());
    return ok;
}

// What the engines were left doing, decoded from the registers alone.
std::string summary(const kova::sim::Controller &sim, const kova::sim::video::Model &model) {
    const kova::state::ControllerState state = kova::sim::controller_state(sim);
    std::string engines;
    for (int window = 0; window < 2; ++window)
        engines += kova::state::describe(state.overlay[window], window);
    for (int engine = 0; engine < 2; ++engine)
        engines += kova::state::describe(state.capture[engine]);
    engines += kova::state::describe_buffers(state.capture[state.capture[1].routed ? 1 : 0]);
    engines += kova::state::describe(state.lock);

    std::string text = KOVASIM_NAME ": " + std::to_string(sim.access_count()) + " register accesses\n";
    for (std::size_t start = 0; start < engines.size();) {
        const std::size_t end = engines.find('\n', start);
        text += "  " + engines.substr(start, end - start + 1);
        start = end + 1;
    }
    text += "  video: " + model.source().name() + ", " + std::to_string(model.fields()) + " fields, " +
            std::to_string(model.fields_captured()) + " captured, " + std::to_string(model.guard_stops()) +
            " guard stops";
    if (const std::uint64_t damaged = model.source().damaged_frames(); damaged != 0)
        text += ", " + std::to_string(damaged) + " damaged source frames";
    return text + "\n";
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    if (const int status = parse(argc, argv, options); status != 0) return status;
    if (options.help) {
        print_help();
        return own_output_status();
    }
#if defined(KOVA_RUNNER)
    if (const std::string error = kova::run::operands_error(options.capview_args.data()); !error.empty())
        return usage_error(error);
#endif
    kova::sim::video::remove_unfinished_outputs_on_signal();
    kova::sim::ignore_environment_card(); // the card is attached below, with kovasim's messages
    if (options.card.empty()) options.card = kova::sim::environment_card();
    if (!options.state_dir.empty()) {
        std::string reason;
        if (kova::tool::is_default_state_dir(options.state_dir))
            return usage_error("--state-dir " + options.state_dir +
                               ": the hardware's state directory; a simulated lock is recorded elsewhere");
        if (!kova::tool::writable_state_dir(options.state_dir, reason)) {
            std::fprintf(stderr, KOVASIM_NAME ": --state-dir %s\n", reason.c_str());
            return kUsageError;
        }
#if defined(KOVA_RUNNER)
        kova::run::set_state_dir(options.state_dir);
#else
        g_state_dir = options.state_dir;
        capview_after_sync_lock = record_sync_lock;
#endif
    }
    std::string error;
    auto source = kova::sim::video::open_source(options.source, error);
    if (!source) return usage_error("--source " + error);
    if (!open_output(options.trace) || !open_output(options.dump)) return kUsageError;

    auto &sim = kova::sim::controller();
    if (!options.card.empty() && !attach_card(sim, options)) return kUsageError;
    sim.begin();
    for (const auto &setting : options.settings)
        kova::sim::apply(sim, setting);
    for (const Failure failure : options.failures)
        sim.fail(failure);
    if (!room_before_the_run(options, sim)) return kUsageError;
#if defined(KOVA_RUNNER)
    if (const int status = kova::run::prepare(options.capview_args.data()); status != 0) return status;
#endif

    // The desktop is painted at the depth the settings leave, and with the
    // captured fields only for a picture that will show them; without one
    // the model keeps its counts and video memory stays untouched.
    using Pixels = kova::sim::video::Model::Pixels;
#if defined(KOVA_RUNNER)
    // The traced program itself may read video memory (kovactl grab) at any time.
    const bool picture = true;
#else
    const bool picture = !options.png_file.empty() || !options.y4m_file.empty();
#endif
    kova::sim::video::Model model(sim, std::move(source), picture ? Pixels::Drawn : Pixels::CountsOnly);
#if defined(KOVA_RUNNER)
    const int status = kova::run::run(sim);
#else
    // On a card, --frames alone lets the engines run on without capview.
    const bool frames_only = sim.on_card() && options.frames_given && !options.separator &&
                             options.capview_args.size() == 2; // "capview" and the terminating null
    const int status = frames_only ? 0
                                   : capview_main(static_cast<int>(options.capview_args.size()) - 1,
                                                  options.capview_args.data());
#endif
    std::fflush(stdout);

    bool written = run_frames(sim, model, options);
    {
        const kova::tool::SignalHold hold; // each file is left old or complete new
        // The trace and the dump are formatted only for a file that asks for them.
        written &= write_output(options.trace, options.trace.name.empty() ? std::string() : sim.trace_text());
        written &=
            write_output(options.dump, options.dump.name.empty() ? std::string() : kova::sim::dump(sim));
    }
    if (const std::uint64_t damaged = model.source().damaged_frames(); damaged != 0)
        std::fprintf(stderr,
                     KOVASIM_NAME
                     ": warning: --source %s: %llu frames end early or lack their header; each was "
                     "read as the end of the stream\n",
                     options.source.c_str(), static_cast<unsigned long long>(damaged));
    std::fputs(summary(sim, model).c_str(), stderr);
    if (!written && status == 0) return kUsageError;
    return status;
}
