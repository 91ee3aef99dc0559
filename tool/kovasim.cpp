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
#else
#define KOVASIM_NAME "kovasim"
#define KOVASIM_OPERANDS "[--] [capview options]"
#define KOVASIM_ABOUT                                                                                        \
    "Runs capview on a simulated controller; standard output and exit status are capview's.\n"               \
    "kovasim's options may stand anywhere before --; all other arguments go to capview.\n\n"
#define KOVASIM_HELP_HELP "print this help and exit (capview's own: kovasim -- --help)"
#endif

namespace {

using kova::sim::Failure;

constexpr int kUsageError = 2;
constexpr std::uint32_t kMaxFrames = 100000;

// An output file of the run, opened before anything runs so that a name that
// cannot be written is an error up front.  "-" is standard error.
struct Output {
    std::string name;
    std::FILE *file = nullptr;
};

struct Options {
    Output trace;
    Output dump;
    std::string state_dir; // empty: no lock-state record
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
         if (!kova::tool::parse_number_in(v, 0, kMaxFrames, o.frames)) {
             e = std::string(v) + ": " + kova::tool::number_range(0, kMaxFrames);
             return false;
         }
         return true;
     }},
    {"--png", "FILE", "write the screen after the run as a PNG picture",
     [](Options &o, std::string_view v, std::string &e) {
         if (v.empty()) {
             e = "empty file name";
             return false;
         }
         o.png_file = v;
         return true;
     }},
    {"--y4m", "FILE", "write the screen of every frame after the run as a y4m stream",
     [](Options &o, std::string_view v, std::string &e) {
         if (v.empty()) {
             e = "empty file name";
             return false;
         }
         o.y4m_file = v;
         return true;
     }},
#if defined(KOVA_RUNNER)
    {"--sysfs", "DIR",
     "the device-check tree PROGRAM sees (default: one describing the simulated controller)",
     [](Options &, std::string_view v, std::string &e) { return kova::run::take_sysfs(v, e); }},
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

int usage_error(const std::string &message) {
    std::fprintf(stderr,
                 KOVASIM_NAME ": %s\n%sRun '" KOVASIM_NAME " --help' for " KOVASIM_NAME "'s options.\n",
                 message.c_str(), synopsis().c_str());
    return kUsageError;
}

// capview's options that take their value from the next argument when it is
// not attached: the short letters, and the long names (which getopt_long also
// takes abbreviated, when the abbreviation is unambiguous).
constexpr std::string_view kCapviewShortWithValue = "wWhHxXyYBCs";
constexpr std::string_view kCapviewLong[] = {
    "off",          "bobmode", "destwidth",   "destheight",   "offsetx",      "offsety",
    "shrinkx",      "shrinky", "sourcewidth", "sourceheight", "bitclipwidth", "bitclipheight",
    "doublebuffer", "blank",   "verbose",     "synclock",     "help"};
constexpr std::string_view kCapviewLongWithValue[] = {
    "destwidth",   "destheight",   "offsetx",      "offsety",       "shrinkx", "shrinky",
    "sourcewidth", "sourceheight", "bitclipwidth", "bitclipheight", "synclock"};

// Whether a capview argument takes the next argument as its value, as
// getopt_long reads it.
bool capview_takes_next(std::string_view arg) {
    if (arg.starts_with("--")) {
        const std::string_view name = arg.substr(2);
        if (name.find('=') != std::string_view::npos) return false;
        std::string_view match;
        int matches = 0;
        for (std::string_view option : kCapviewLong) {
            if (option == name) {
                match = option;
                matches = 1;
                break;
            }
            if (option.starts_with(name)) {
                match = option;
                ++matches;
            }
        }
        if (matches != 1) return false;
        return std::ranges::any_of(kCapviewLongWithValue,
                                   [match](std::string_view option) { return option == match; });
    }
    if (!arg.starts_with("-") || arg.size() < 2) return false;
    for (std::size_t i = 1; i < arg.size(); ++i)
        if (kCapviewShortWithValue.find(arg[i]) != std::string_view::npos) return i + 1 == arg.size();
    return false;
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
            ++i;
            break;
        }
        if (arg == "--version") {
            std::printf(KOVASIM_NAME " %s\n", KOVA_VERSION_STRING);
            std::exit(0);
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
            if (capview_takes_next(arg) && i + 1 < argc) options.capview_args.push_back(argv[++i]);
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
    if (output.name.empty()) return true;
    if (output.name == "-") {
        output.file = stderr;
        return true;
    }
    output.file = std::fopen(output.name.c_str(), "w");
    if (output.file == nullptr) {
        std::fprintf(stderr, KOVASIM_NAME ": cannot write %s: %s\n", output.name.c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

// Writes the text and closes the file.
bool write_output(Output &output, const std::string &text) {
    if (output.file == nullptr) return true;
    bool written = std::fputs(text.c_str(), output.file) >= 0;
    written = (output.file == stderr ? std::fflush(stderr) : std::fclose(output.file)) == 0 && written;
    if (!written)
        std::fprintf(stderr, KOVASIM_NAME ": cannot write %s: %s\n", output.name.c_str(),
                     std::strerror(errno));
    output.file = nullptr;
    return written;
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
    bool ok = options.y4m_file.empty() || y4m.open(options.y4m_file, display.width, display.height,
                                                   info.field_rate_num, info.field_rate_den, error);
    for (std::uint32_t i = 0; i < options.frames; ++i) {
        sim.next_field();
        if (options.y4m_file.empty() || !ok) continue;
        model.screen(screen);
        ok = y4m.write(screen);
    }
    ok = y4m.close(error) && ok;
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
            " guard stops\n";
    return text;
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    if (const int status = parse(argc, argv, options); status != 0) return status;
    if (options.help) {
        print_help();
        return 0;
    }
#if defined(KOVA_RUNNER)
    if (const std::string error = kova::run::operands_error(options.capview_args.data()); !error.empty())
        return usage_error(error);
#endif
    if (!options.state_dir.empty()) {
        if (!kova::tool::ensure_state_dir(options.state_dir)) {
            std::fprintf(stderr, KOVASIM_NAME ": --state-dir %s: %s\n", options.state_dir.c_str(),
                         std::strerror(errno));
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
#if defined(KOVA_RUNNER)
    if (const int status = kova::run::prepare(options.capview_args.data()); status != 0) return status;
#endif

    auto &sim = kova::sim::controller();
    sim.reset();
    for (const auto &setting : options.settings)
        kova::sim::apply(sim, setting);
    for (const Failure failure : options.failures)
        sim.fail(failure);

    // The desktop is painted at the depth the settings leave, and with the
    // captured fields only for a picture that will show them; without one
    // the model keeps its counts and video memory stays untouched.
    using Pixels = kova::sim::video::Model::Pixels;
    const bool picture = !options.png_file.empty() || !options.y4m_file.empty();
    kova::sim::video::Model model(sim, std::move(source), picture ? Pixels::Drawn : Pixels::CountsOnly);
#if defined(KOVA_RUNNER)
    const int status = kova::run::run(sim);
#else
    const int status =
        capview_main(static_cast<int>(options.capview_args.size()) - 1, options.capview_args.data());
#endif
    std::fflush(stdout);

    bool written = run_frames(sim, model, options);
    // The trace and the dump are formatted only for a file that asks for them.
    written &= write_output(options.trace, options.trace.name.empty() ? std::string() : sim.trace_text());
    written &= write_output(options.dump, options.dump.name.empty() ? std::string() : kova::sim::dump(sim));
    std::fputs(summary(sim, model).c_str(), stderr);
    if (!written && status == 0) return kUsageError;
    return status;
}
