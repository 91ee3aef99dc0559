// kovatrace: a hardware-flavour program on the card in the machine, each of
// its register accesses performed by the runner and written to a trace.
//
//   kovatrace [OPTIONS] -- PROGRAM [ARGS...]
//
// The tracer is kovarun's; in place of the simulated controller the card
// stands behind it (kovarun/card_backend.h), confined to the controller's
// ports, aperture and register window.
#include "device_check.h"
#include "kova_version.h"
#include "kovarun/backend_reader.h"
#include "kovarun/card_backend.h"
#include "kovarun/launch.h"
#include "kovarun/runner.h"
#include "kovarun/syscalls.h"
#include "kovarun/record_card.h"
#include "register_owner.h"
#include "signal_hold.h"
#include "standard_output.h"
#include "state_dir.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using kova::run::kRefused;

struct Options {
    std::string trace;
    std::string card_out;
    bool times = false;
    std::string state_dir;
    bool state_dir_given = false;
    std::string sysfs = "/sys";
    std::string mem_file, port_file;
    bool help = false;
    char **program = nullptr;
};

struct OptionRow {
    const char *name;
    const char *argument; // null: the option takes no value
    const char *help;
    void (*take)(Options &, const char *value);
};

constexpr OptionRow kRows[] = {
    {.name = "--trace",
     .argument = "FILE",
     .help = "write each access PROGRAM makes to the card to FILE, - for standard error (required)",
     .take = [](Options &o, const char *v) { o.trace = v; }},
    {.name = "--card-out",
     .argument = "FILE",
     .help = "before PROGRAM starts, record the card's registers in the virtual card FILE (made\n"
             "                      when missing), for kovarun --card to start from",
     .take = [](Options &o, const char *v) { o.card_out = v; }},
    {.name = "--times",
     .argument = nullptr,
     .help = "end each trace line with ' @SECONDS' since PROGRAM started",
     .take = [](Options &o, const char *) { o.times = true; }},
    {.name = "--state-dir",
     .argument = "DIR",
     .help = "the state directory (register lock, lock record; default $KOVA_STATE_DIR, else /run/kova)",
     .take =
         [](Options &o, const char *v) {
             o.state_dir = v;
             o.state_dir_given = true;
         }},
    {.name = "--sysfs",
     .argument = "DIR",
     .help = "the device tree read for the device check (default /sys)",
     .take = [](Options &o, const char *v) { o.sysfs = v; }},
    {.name = "--mem-file",
     .argument = "FILE",
     .help = "for tests and rehearsals: FILE stands for /dev/mem (offset = physical address)",
     .take = [](Options &o, const char *v) { o.mem_file = v; }},
    {.name = "--port-file",
     .argument = "FILE",
     .help = "for tests and rehearsals: FILE stands for /dev/port (offset = port)",
     .take = [](Options &o, const char *v) { o.port_file = v; }},
    {.name = "--help",
     .argument = nullptr,
     .help = "print this help and exit",
     .take = [](Options &o, const char *) { o.help = true; }},
};

int usage_error(const std::string &message) {
    std::fprintf(stderr,
                 "kovatrace: %s\nUsage: kovatrace [OPTIONS] -- PROGRAM [ARGS...]\n"
                 "Run 'kovatrace --help' for kovatrace's options.\n",
                 message.c_str());
    return kRefused;
}

int refuse(const std::string &message) {
    std::fprintf(stderr, "kovatrace: %s\n", message.c_str());
    return kRefused;
}

void print_help() {
    std::string text =
        "Usage: kovatrace [OPTIONS] -- PROGRAM [ARGS...]\n"
        "Runs PROGRAM, a hardware-flavour program, on the card in this machine (as root), each\n"
        "of its register accesses performed by kovatrace on the controller alone and written\n"
        "to the trace; its standard input, output, error and exit status are its own.\n\n";
    for (const OptionRow &row : kRows) {
        std::string left =
            std::string("  ") + row.name + (row.argument ? std::string(" ") + row.argument : "");
        left.resize(std::max<std::size_t>(left.size() + 1, 22), ' ');
        text += left + row.help + "\n";
    }
    text += "  --version           print the version and exit\n";
    std::fputs(text.c_str(), stdout);
}

// --list-options (for the shell's completion): one option a line with its value's name.
void print_option_list() {
    for (const OptionRow &row : kRows)
        std::printf("%s%s%s\n", row.name, row.argument ? " " : "", row.argument ? row.argument : "");
    std::printf("--version\n");
}

const OptionRow *row_named(std::string_view name) {
    for (const OptionRow &row : kRows)
        if (name == row.name) return &row;
    return nullptr;
}

// Takes the option at argv[i] (NAME, NAME VALUE or NAME=VALUE); 0 or the status of a usage error.
int take_option(int argc, char **argv, int &i, Options &options) {
    const std::string_view arg = argv[i];
    const auto equals = arg.find('=');
    const std::string name(arg.substr(0, equals));
    const OptionRow *row = row_named(name);
    if (row == nullptr || !arg.starts_with("--")) return usage_error(std::string(arg) + ": unknown option");
    const char *value = nullptr;
    if (equals != std::string_view::npos) {
        if (row->argument == nullptr) return usage_error(name + " takes no value");
        value = argv[i] + equals + 1;
    } else if (row->argument != nullptr) {
        if (i + 1 >= argc) return usage_error(name + " needs " + row->argument);
        value = argv[++i];
    }
    if (row->argument != nullptr && *value == '\0') return usage_error(name + ": empty " + row->argument);
    row->take(options, value);
    return 0;
}

// 0, or the status of a usage error (or of --version/--list-options, which end here).
int parse(int argc, char **argv, Options &options) {
    int i = 1;
    for (; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version" || arg == "--list-options") {
            if (arg == "--version")
                std::printf("kovatrace %s\n", KOVA_VERSION_STRING);
            else
                print_option_list();
            std::exit(kova::tool::close_standard_output("kovatrace") ? 0 : kRefused);
        }
        if (const int status = take_option(argc, argv, i, options); status != 0) return status;
        if (options.help) return 0;
    }
    if (i >= argc || argv[i + 1] == nullptr)
        return usage_error("no PROGRAM given (kovatrace OPTIONS -- PROGRAM)");
    if (options.trace.empty()) return usage_error("--trace FILE is required");
    options.program = argv + i + 1;
    return 0;
}

// ---------------------------------------------------------------- the card

// The machine's display device, checked as the hardware programs check it;
// an empty string, or why it is refused.
std::string check_device(const std::string &sysfs, kova::device::BootDevice &device) {
    using kova::device::Verdict;
    const Verdict verdict = kova::device::check_boot_display(sysfs.c_str(), device);
    if (verdict == Verdict::Ok) return "";
    if (verdict == Verdict::NoSysfs)
        return "device check: cannot read " + sysfs + "/bus/pci/devices (" + std::strerror(device.error) +
               ")";
    char text[512];
    kova::device::describe(verdict, device, sysfs.c_str(), 0, 0, text, sizeof text);
    return std::string("device check: ") + text;
}

// The aperture: the device's first memory resource that holds it, and that
// resource's file (the frame buffer the program maps); false when the
// resource list cannot be read again.
bool find_aperture(const std::string &sysfs, const kova::device::BootDevice &device,
                   kova::run::CardFiles &files) {
    const std::string dir = sysfs + "/bus/pci/devices/" + device.name;
    char text[2048];
    if (!kova::device::read_attribute((dir + "/resource").c_str(), text, sizeof text)) return false;
    const char *line = text;
    for (int index = 0; *line != '\0'; ++index) {
        char *next = nullptr;
        const std::uint64_t start = std::strtoull(line, &next, 16);
        const std::uint64_t end = std::strtoull(next, &next, 16);
        const std::uint64_t flags = std::strtoull(next, &next, 16);
        if ((flags & kova::device::kResourceMemory) != 0 && end > start &&
            end - start + 1 >= kova::device::kApertureSpan) {
            files.aperture_base = start;
            files.aperture_file_base = start;
            files.aperture = dir + "/resource" + std::to_string(index);
            return true;
        }
        const char *newline = std::strchr(next, '\n');
        if (newline == nullptr) break;
        line = newline + 1;
    }
    return false;
}

// The card's files from the options: the stand-ins when given.
std::string open_card(const Options &options, const kova::device::BootDevice &device,
                      kova::run::CardBackend &card) {
    kova::run::CardFiles files;
    if (!find_aperture(options.sysfs, device, files))
        return std::string("device check: cannot read the memory resources of ") + device.name;
    if (!options.mem_file.empty()) {
        files.mem = files.aperture = options.mem_file;
        files.aperture_file_base = 0;
    }
    if (!options.port_file.empty()) files.port = options.port_file;
    std::string error;
    return card.open(files, error) ? "" : error;
}

// The state directory as the hardware programs find it; empty after a refusal.
std::string state_directory(const Options &options) {
    if (const char *empty = kova::tool::empty_state_dir_name(options.state_dir_given ? "" : nullptr);
        empty != nullptr && !options.state_dir_given) {
        refuse(std::string(empty) + ": empty directory name");
        return "";
    }
    return kova::tool::state_dir(options.state_dir_given ? options.state_dir.c_str() : nullptr);
}

// The trace file: standard error for "-", else a regular file, never
// reached through a symbolic link (kovatrace runs as root), emptied once open.
std::FILE *open_trace(const std::string &path, std::string &error) {
    const int fd = path == "-"
                       ? fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3)
                       : open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        error = std::strerror(errno);
        if (fd >= 0) close(fd);
        return nullptr;
    }
    if (path != "-" && (!S_ISREG(st.st_mode) || ftruncate(fd, 0) != 0)) {
        error = S_ISREG(st.st_mode) ? std::strerror(errno) : "not a regular file";
        close(fd);
        return nullptr;
    }
    std::FILE *file = fdopen(fd, "w");
    if (file == nullptr) {
        error = std::strerror(errno);
        close(fd);
    }
    return file;
}

// Everything refused before the card or the stand-ins are touched: 0, or the
// status of the refusal after its message.
int check_before_run(const Options &options, kova::tool::RegisterOwner &owner, kova::run::CardBackend &card,
                     std::FILE *&trace) {
    if (geteuid() != 0)
        return refuse("only root may run it: it performs the program's accesses on the card (rehearse on "
                      "the simulated controller with kovarun)");
    kova::device::BootDevice device{};
    if (const std::string why = check_device(options.sysfs, device); !why.empty()) return refuse(why);
    const std::string dir = state_directory(options);
    if (dir.empty()) return kRefused;
    std::string error;
    if (!owner.acquire(dir, "kovatrace", kova::tool::kRegisterOwnerWait, error)) return refuse(error);
    kova::run::set_state_dir(dir);
    if (const std::string why = open_card(options, device, card); !why.empty()) return refuse(why);
    trace = open_trace(options.trace, error);
    if (trace == nullptr) return refuse("cannot write the trace " + options.trace + ": " + error);
    return 0;
}

// The card's registers before the run, read through the card back end (not
// traced: the trace is not set yet) into the virtual card of --card-out.
int record_state_before(const Options &options, kova::run::CardBackend &card) {
    if (options.card_out.empty()) return 0;
    kova::run::BackendReader reader(card);
    std::string error;
    const kova::tool::SignalHold hold; // the pages are put back before a signal counts
    if (!kova::run::record_card(reader, options.card_out, error))
        return refuse("cannot record the card's state in " + options.card_out + ": " + error);
    return 0;
}

int trace_on_card(const Options &options) {
    kova::run::g_launch.runner = "kovatrace";
    kova::run::g_launch.rehearsal = false;
    // Closed standard descriptors stay closed for the program: none of kovatrace's files takes them.
    kova::run::hold_standard_descriptors();
    kova::tool::RegisterOwner owner;
    kova::run::CardBackend card;
    std::FILE *trace = nullptr;
    std::string error;
    if (!kova::run::take_sysfs(options.sysfs, error)) return refuse(error);
    kova::run::set_strict_ports("kovatrace reaches the controller's ports alone");
    if (const int status = check_before_run(options, owner, card, trace); status != 0) return status;
    if (const int status = record_state_before(options, card); status != 0) {
        std::fclose(trace);
        if (options.trace != "-") std::remove(options.trace.c_str());
        return status;
    }
    if (const int status = kova::run::prepare_on_card(options.program, card.memory_descriptor());
        status != 0) {
        std::fclose(trace);
        if (options.trace != "-") std::remove(options.trace.c_str()); // nothing ran: no trace
        return status;
    }
    // The program takes the register lock itself, as on the card without kovatrace.
    owner.release();
    card.set_trace(trace, options.times);
    card.start_clock();
    const int status = kova::run::run_on_card(card);
    if (std::fclose(trace) != 0 && !card.trace_failed())
        std::fprintf(stderr, "kovatrace: cannot write the trace %s: %s\n", options.trace.c_str(),
                     std::strerror(errno));
    return status;
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    if (const int status = parse(argc, argv, options); status != 0) return status;
    if (options.help) {
        print_help();
        return kova::tool::close_standard_output("kovatrace") ? 0 : kRefused;
    }
    return trace_on_card(options);
}
