// kovasim: capview on the simulated controller.
//
//   kovasim [--trace FILE] [--set REG=HEX]... [--fail WHAT]... [--dump FILE] [--] [capview options]
//
// Runs capview's own program logic against a fresh simulated controller;
// standard output and exit status are capview's.  Afterwards it writes the
// trace and the register dump if asked, and a summary of what the engines
// were left doing on standard error.
#include "capview.h"
#include "controller.h"
#include "engines.h"
#include "register_names.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using kova::sim::Failure;

constexpr int kUsageError = 2;
constexpr const char *kUsage =
    "usage: kovasim [--trace FILE] [--set REG=HEX]... [--fail WHAT]... [--dump FILE] [--] [capview options]\n"
    "  REG: GRxx, SRxx, CRxx, GRxx@pp, SRxx@pp (paged, in page pp), TVxxxx, Pxxxx\n"
    "  WHAT: iopl, open, mmap-fb, mmap-mmio\n";

struct Options {
    std::string trace_file;
    std::string dump_file;
    std::vector<kova::sim::Setting> settings;
    std::vector<Failure> failures;
    std::vector<char *> capview_args;
};

int usage_error(const std::string &message) {
    std::fprintf(stderr, "kovasim: %s\n%s", message.c_str(), kUsage);
    return kUsageError;
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
        std::string_view name = arg, value;
        bool inline_value = false;
        if (const auto equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            inline_value = true;
        }
        if (name != "--trace" && name != "--set" && name != "--fail" && name != "--dump") break;
        if (!inline_value) {
            if (i + 1 >= argc) return usage_error(std::string(name) + " needs an argument");
            value = argv[++i];
        }
        if (name == "--trace") {
            options.trace_file = value;
        } else if (name == "--dump") {
            options.dump_file = value;
        } else if (name == "--fail") {
            Failure failure;
            if (!kova::sim::parse_failure(value, failure))
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

    auto &sim = kova::sim::controller();
    sim.reset();
    for (const auto &setting : options.settings)
        kova::sim::apply(sim, setting);
    for (const Failure failure : options.failures)
        sim.fail(failure);

    const int status =
        capview_main(static_cast<int>(options.capview_args.size()) - 1, options.capview_args.data());
    std::fflush(stdout);

    bool written = true;
    if (!options.trace_file.empty()) written &= write_output(options.trace_file, sim.trace_text());
    if (!options.dump_file.empty()) written &= write_output(options.dump_file, kova::sim::dump(sim));
    std::fputs(summary(sim).c_str(), stderr);
    if (!written && status == 0) return kUsageError;
    return status;
}
