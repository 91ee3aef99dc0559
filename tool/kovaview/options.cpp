#include "options.h"

#include "kova_version.h"
#include "number.h"
#include "standard_output.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace kova::view {

namespace {

constexpr std::uint32_t kMaxFields = 100000000;

using Take = bool (*)(Options &options, std::string_view value, std::string &error);

bool take_name(std::string &to, std::string_view value, std::string &error) {
    if (value.empty()) {
        error = "empty name";
        return false;
    }
    to = value;
    return true;
}

// kovaview's options, the one list: parsing and the help text come from it.
struct OwnOption {
    const char *name;
    const char *argument; // the value's name, or nullptr for an option without one
    const char *help;
    Take take;
};

constexpr OwnOption kOwnOptions[] = {
    {"--source", "pal|ntsc|none|FILE.y4m", "the picture on the video port (default pal)",
     [](Options &o, std::string_view v, std::string &) {
         o.source = v;
         return true;
     }},
    {"--set", "REG=HEX", "set a register before the first field (repeatable), as kovasim's --set",
     [](Options &o, std::string_view v, std::string &e) {
         kova::registers::Setting setting;
         if (!kova::registers::parse_setting(v, setting, e)) return false;
         o.settings.push_back(setting);
         return true;
     }},
    {"--fields", "N", "stop after N fields (default: when the window is closed or on q)",
     [](Options &o, std::string_view v, std::string &e) {
         if (kova::tool::parse_number_in(v, 1, kMaxFields, o.fields)) return true;
         e = std::string(v) + ": " + kova::tool::number_range(1, kMaxFields);
         return false;
     }},
    {"--y4m", "FILE",
     "write the screen of every field to FILE as a y4m stream (a FIFO for a player);\n"
     "no window then",
     [](Options &o, std::string_view v, std::string &e) {
         if (v == "-") {
             e = "standard output is capview's; name a file (a FIFO to pipe the stream)";
             return false;
         }
         o.window = false;
         return take_name(o.y4m_file, v, e);
     }},
    {"--no-pacing", nullptr, "run the fields as fast as they go, not at the source's field rate",
     [](Options &o, std::string_view, std::string &) {
         o.pacing = false;
         return true;
     }},
    {"--no-window", nullptr, "show no window (with --fields or --y4m)",
     [](Options &o, std::string_view, std::string &) {
         o.window = false;
         return true;
     }},
    {"--integer-scale", nullptr, "scale the picture by whole multiples only (default: smoothly to fit)",
     [](Options &o, std::string_view, std::string &) {
         o.integer_scale = true;
         return true;
     }},
    {"--snapshot-dir", "DIR", "where the s key writes kovaview-FIELD.png (default .)",
     [](Options &o, std::string_view v, std::string &e) { return take_name(o.snapshot_dir, v, e); }},
    {"--state-dir", "DIR",
     "take the register-owner lock in DIR around each field, so that programs sharing\n"
     "the controller run between fields (on a card: the card's own, FILE.state)",
     [](Options &o, std::string_view v, std::string &e) { return take_name(o.state_dir, v, e); }},
    {"--card", "FILE",
     "watch the virtual card FILE (made when missing; default $KOVA_CARD): its clock and\n"
     "monitor, a field skipped while another program holds its registers",
     [](Options &o, std::string_view v, std::string &e) { return take_name(o.card, v, e); }},
    {"--help", nullptr, "print this help and exit",
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
    return "usage: kovaview [--source S] [--fields N] [--y4m FILE] [--no-pacing] [options] [-- capview "
           "options]\n";
}

void print_help() {
    std::string text =
        synopsis() +
        "Shows the simulated controller's screen live, one field of the source after another\n"
        "at the source's field rate.  Keys: q or Escape quit, p pause, n one field while\n"
        "paused, s snapshot, f full screen.  With --, capview runs first with the options after it.\n\n";
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

} // namespace

int usage_error(const std::string &message) {
    std::fprintf(stderr, "kovaview: %s\n%sRun 'kovaview --help' for kovaview's options.\n", message.c_str(),
                 synopsis().c_str());
    return kUsageError;
}

namespace {

// Prints and exits: --version and --help.
[[noreturn]] void print_and_exit(bool help) {
    if (help)
        print_help();
    else
        std::printf("kovaview %s\n", KOVA_VERSION_STRING);
    std::exit(kova::tool::close_standard_output("kovaview") ? 0 : kUsageError);
}

// The option at argv[i] (and its value, which moves i on); 0 or the exit
// status of a usage error.
int take_option(int argc, char **argv, int &i, Options &options) {
    const std::string_view arg = argv[i];
    const auto equals = arg.find('=');
    const bool attached = arg.starts_with("--") && equals != std::string_view::npos;
    const std::string_view name = attached ? arg.substr(0, equals) : arg;
    const OwnOption *own = find_own(name);
    if (own == nullptr) return usage_error(std::string(arg) + ": unknown option (capview's go after --)");
    if (own->argument == nullptr && attached) return usage_error(std::string(name) + " takes no value");
    std::string_view value;
    if (own->argument != nullptr && attached)
        value = arg.substr(equals + 1);
    else if (own->argument != nullptr && i + 1 < argc)
        value = argv[++i];
    else if (own->argument != nullptr)
        return usage_error(std::string(name) + " needs " + own->argument);
    std::string error;
    return own->take(options, value, error) ? 0 : usage_error(std::string(name) + ": " + error);
}

} // namespace

int parse(int argc, char **argv, Options &options) {
    int i = 1;
    for (; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        if (std::string_view(argv[i]) == "--version") print_and_exit(false);
        if (const int status = take_option(argc, argv, i, options); status != 0) return status;
        if (options.help) print_and_exit(true);
    }
    if (i < argc) { // "--": capview runs, with what follows
        static char program_name[] = "capview";
        options.capview_args.push_back(program_name);
        for (++i; i < argc; ++i)
            options.capview_args.push_back(argv[i]);
        options.capview_args.push_back(nullptr);
    }
    return 0;
}

} // namespace kova::view
