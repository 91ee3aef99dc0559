// kovasim: capview on the simulated controller.
//
//   kovasim [kovasim options] [--] [capview options]
//
// Runs capview's own program logic against a fresh simulated controller;
// standard output and exit status are capview's.  kovasim's options may stand
// anywhere before "--"; every other argument goes to capview.  Afterwards it
// writes the trace and the register dump if asked, and a summary of what the
// engines were left doing on standard error.
#include "capview.h"
#include "controller.h"
#include "kova_version.h"
#include "engines.h"
#include "lock_state.h"
#include "register_names.h"
#include "state_dir.h"
#include "synclock.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using kova::sim::Failure;

constexpr int kUsageError = 2;

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

const OwnOption kOwnOptions[] = {
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
    {"--help", nullptr, "print this help and exit (capview's own: kovasim -- --help)",
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
    std::string text = "usage: kovasim";
    for (const OwnOption &option : kOwnOptions)
        text += option.argument ? std::string(" [") + option.name + " " + option.argument + "]" : "";
    return text + " [--] [capview options]\n";
}

void print_help() {
    std::string text =
        synopsis() +
        "Runs capview on a simulated controller; standard output and exit status are capview's.\n"
        "kovasim's options may stand anywhere before --; all other arguments go to capview.\n\n";
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
    std::fprintf(stderr, "kovasim: %s\n%sRun 'kovasim --help' for kovasim's options.\n", message.c_str(),
                 synopsis().c_str());
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
        for (std::string_view option : kCapviewLongWithValue)
            if (option == match) return true;
        return false;
    }
    if (!arg.starts_with("-") || arg.size() < 2) return false;
    for (std::size_t i = 1; i < arg.size(); ++i)
        if (kCapviewShortWithValue.find(arg[i]) != std::string_view::npos) return i + 1 == arg.size();
    return false;
}

// Splits the command line into kovasim's options and capview's arguments.
// Returns 0 or the exit status of a usage error.
int parse(int argc, char **argv, Options &options) {
    static char program_name[] = "capview";
    options.capview_args.push_back(program_name);
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--version") {
            std::printf("kovasim %s\n", KOVA_VERSION_STRING);
            std::exit(0);
        }
        std::string_view name = arg, value;
        const auto equals = arg.find('=');
        const bool attached = arg.starts_with("--") && equals != std::string_view::npos;
        if (attached) name = arg.substr(0, equals);
        const OwnOption *own = find_own(name);
        if (own == nullptr) {
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
        std::fprintf(stderr, "kovasim: cannot write %s: %s\n", output.name.c_str(), std::strerror(errno));
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
        std::fprintf(stderr, "kovasim: cannot write %s: %s\n", output.name.c_str(), std::strerror(errno));
    output.file = nullptr;
    return written;
}

// The state directory of --state-dir, for the hook that records a sync lock.
std::string g_state_dir;

void record_sync_lock() {
    std::string error;
    if (!kova::tool::record_lock_state(g_state_dir, error))
        std::fprintf(stderr, "kovasim: warning: sync lock not recorded: %s\n", error.c_str());
}

// What the engines were left doing, decoded from the registers alone.
std::string summary(const kova::sim::Controller &sim) {
    const kova::state::ControllerState state = kova::sim::controller_state(sim);
    std::string engines;
    for (int window = 0; window < 2; ++window)
        engines += kova::state::describe(state.overlay[window], window);
    for (int engine = 0; engine < 2; ++engine)
        engines += kova::state::describe(state.capture[engine]);
    engines += kova::state::describe_buffers(state.capture[state.capture[1].routed ? 1 : 0]);
    engines += kova::state::describe(state.lock);

    std::string text = "kovasim: " + std::to_string(sim.access_count()) + " register accesses\n";
    for (std::size_t start = 0; start < engines.size();) {
        const std::size_t end = engines.find('\n', start);
        text += "  " + engines.substr(start, end - start + 1);
        start = end + 1;
    }
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
    if (!options.state_dir.empty()) {
        if (!kova::tool::ensure_state_dir(options.state_dir)) {
            std::fprintf(stderr, "kovasim: --state-dir %s: %s\n", options.state_dir.c_str(),
                         std::strerror(errno));
            return kUsageError;
        }
        g_state_dir = options.state_dir;
        capview_after_sync_lock = record_sync_lock;
    }
    if (!open_output(options.trace) || !open_output(options.dump)) return kUsageError;

    auto &sim = kova::sim::controller();
    sim.reset();
    for (const auto &setting : options.settings)
        kova::sim::apply(sim, setting);
    for (const Failure failure : options.failures)
        sim.fail(failure);

    const int status =
        capview_main(static_cast<int>(options.capview_args.size()) - 1, options.capview_args.data());
    std::fflush(stdout);

    bool written = write_output(options.trace, sim.trace_text());
    written &= write_output(options.dump, kova::sim::dump(sim));
    std::fputs(summary(sim).c_str(), stderr);
    if (!written && status == 0) return kUsageError;
    return status;
}
