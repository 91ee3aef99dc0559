// kovasim: capview on the simulated controller.
//
//   kovasim [--trace FILE] [--set REG=HEX]... [--fail WHAT]... [--dump FILE]
//           [--source pal|ntsc|none|FILE.y4m] [--frames N] [--png FILE] [--y4m FILE] [--] [capview options]
//
// Runs capview's own program logic against a fresh simulated controller with
// its video model (a desktop in the frame buffer, a source on the video
// port); standard output and exit status are capview's.  Afterwards N more
// frames pass, and it writes the trace, the register dump and the pictures if
// asked, and a summary of what the engines were left doing on standard error.
#include "capview.h"
#include "controller.h"
#include "kova_version.h"
#include "engines.h"
#include "register_names.h"
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

namespace {

using kova::sim::Failure;

constexpr int kUsageError = 2;
constexpr const char *kUsage =
    "usage: kovasim [--trace FILE] [--set REG=HEX]... [--fail WHAT]... [--dump FILE]\n"
    "               [--source pal|ntsc|none|FILE.y4m] [--frames N] [--png FILE] [--y4m FILE] [--] [capview "
    "options]\n"
    "  REG: GRxx, SRxx, CRxx, GRxx@pp, SRxx@pp (paged, in page pp), TVxxxx, Pxxxx\n"
    "  WHAT: iopl, open, mmap-fb, mmap-mmio\n"
    "  --frames N: frames of the screen that pass after capview's run (default 2)\n";

struct Options {
    std::string trace_file;
    std::string dump_file;
    std::string source = "pal";
    long frames = 2;
    std::string png_file;
    std::string y4m_file;
    std::vector<kova::sim::Setting> settings;
    std::vector<Failure> failures;
    std::vector<char *> capview_args;
};

int usage_error(const std::string &message) {
    std::fprintf(stderr, "kovasim: %s\n%s", message.c_str(), kUsage);
    return kUsageError;
}

bool parse_failure(std::string_view what, Failure &failure) {
    if (what == "iopl")
        failure = Failure::Iopl;
    else if (what == "open")
        failure = Failure::OpenMem;
    else if (what == "mmap-fb")
        failure = Failure::MapFrameBuffer;
    else if (what == "mmap-mmio")
        failure = Failure::MapRegisterWindow;
    else
        return false;
    return true;
}

// Splits the command line: kovasim's options first, capview's from "--" or
// from the first argument that is not one of kovasim's.  Returns 0 or the
// exit status of a usage error.
int parse(int argc, char **argv, Options &options) {
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
        bool inline_value = false;
        if (const auto equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            inline_value = true;
        }
        static constexpr std::string_view kOptions[] = {"--trace",  "--set",    "--fail", "--dump",
                                                        "--source", "--frames", "--png",  "--y4m"};
        if (std::find(std::begin(kOptions), std::end(kOptions), name) == std::end(kOptions)) break;
        if (!inline_value) {
            if (i + 1 >= argc) return usage_error(std::string(name) + " needs an argument");
            value = argv[++i];
        }
        if (name == "--trace") {
            options.trace_file = value;
        } else if (name == "--dump") {
            options.dump_file = value;
        } else if (name == "--source") {
            options.source = value;
        } else if (name == "--png") {
            options.png_file = value;
        } else if (name == "--y4m") {
            options.y4m_file = value;
        } else if (name == "--frames") {
            const std::string text(value);
            char *end = nullptr;
            options.frames = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || options.frames < 0 || options.frames > 100000)
                return usage_error("--frames " + text + ": a number from 0 to 100000");
        } else if (name == "--fail") {
            Failure failure;
            if (!parse_failure(value, failure))
                return usage_error("--fail " + std::string(value) + ": unknown");
            options.failures.push_back(failure);
        } else {
            kova::sim::Setting setting;
            std::string error;
            if (!kova::sim::parse_setting(value, setting, error)) return usage_error("--set " + error);
            options.settings.push_back(setting);
        }
    }
    static char program_name[] = "capview";
    options.capview_args.push_back(program_name);
    for (; i < argc; ++i)
        options.capview_args.push_back(argv[i]);
    options.capview_args.push_back(nullptr);
    return 0;
}

// Writes text to a file, "-" meaning standard error.
bool write_output(const std::string &file, const std::string &text) {
    if (file == "-") return std::fputs(text.c_str(), stderr) >= 0;
    std::FILE *out = std::fopen(file.c_str(), "w");
    if (!out) {
        std::fprintf(stderr, "kovasim: cannot write %s: %s\n", file.c_str(), std::strerror(errno));
        return false;
    }
    const bool written = std::fputs(text.c_str(), out) >= 0;
    return std::fclose(out) == 0 && written;
}

// The frames after capview's run: each one field period of the source; the
// y4m stream gets the screen of every frame.
bool run_frames(kova::sim::Controller &sim, const kova::sim::video::Model &model, const Options &options) {
    using namespace kova::sim::video;
    Y4mWriter y4m;
    std::string error;
    const StandardInfo &info = standard_info(model.source().standard());
    Image screen;
    model.screen(screen);
    bool ok = options.y4m_file.empty() || y4m.open(options.y4m_file, screen.width, screen.height,
                                                   info.field_rate_num, info.field_rate_den, error);
    for (long i = 0; i < options.frames; ++i) {
        sim.next_field();
        if (options.y4m_file.empty() || !ok) continue;
        model.screen(screen);
        ok = y4m.write(screen);
    }
    ok = y4m.close(error) && ok;
    if (ok && !options.png_file.empty() && !png_supported()) {
        // A kovasim built with nothing but a compiler still runs capview; the
        // picture alone is missing, and the user is told why.
        std::fprintf(stderr, "kovasim: warning: %s not written: this kovasim was built without libpng\n",
                     options.png_file.c_str());
    } else if (ok && !options.png_file.empty()) {
        model.screen(screen);
        ok = write_png(options.png_file, screen, error);
    }
    if (!ok)
        std::fprintf(stderr, "kovasim: %s\n", error.empty() ? "cannot write the y4m stream" : error.c_str());
    return ok;
}

std::string summary(const kova::sim::Controller &sim, const kova::sim::video::Model &model) {
    std::string text = "kovasim: " + std::to_string(sim.access_count()) + " register accesses\n";
    for (int window = 0; window < 2; ++window)
        text += "  " + kova::sim::describe(kova::sim::overlay_state(sim, window), window);
    const std::string capture = kova::sim::describe(kova::sim::capture_state(sim));
    for (std::size_t start = 0; start < capture.size();) {
        const std::size_t end = capture.find('\n', start);
        text += "  " + capture.substr(start, end - start + 1);
        start = end + 1;
    }
    text += "  sync lock: ";
    text += wSyncLock != 0 ? (wVStandard == 1 ? "on (NTSC)\n" : "on (PAL)\n") : "off\n";
    text += "  video: " + model.source().name() + ", " + std::to_string(model.fields()) + " fields, " +
            std::to_string(model.fields_captured()) + " captured, " + std::to_string(model.guard_stops()) +
            " guard stops\n";
    return text;
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    if (const int status = parse(argc, argv, options); status != 0) return status;

    std::string error;
    auto source = kova::sim::video::open_source(options.source, error);
    if (!source) return usage_error("--source " + error);

    auto &sim = kova::sim::controller();
    sim.reset();
    for (const auto &setting : options.settings)
        kova::sim::apply(sim, setting);
    for (const Failure failure : options.failures)
        sim.fail(failure);

    // The desktop is painted at the depth the settings leave.
    kova::sim::video::Model model(sim, std::move(source));
    const int status =
        capview_main(static_cast<int>(options.capview_args.size()) - 1, options.capview_args.data());
    std::fflush(stdout);

    bool written = run_frames(sim, model, options);
    if (!options.trace_file.empty()) written &= write_output(options.trace_file, sim.trace_text());
    if (!options.dump_file.empty()) written &= write_output(options.dump_file, kova::sim::dump(sim));
    std::fputs(summary(sim, model).c_str(), stderr);
    if (!written && status == 0) return kUsageError;
    return status;
}
