// kovactl [--sim] [--card FILE] [--set REG=HEX]... [--fail WHAT]... [--trace FILE] [--dump FILE]
//         [--state-dir DIR] [--json] [-y|--yes] [-n|--dry-run] COMMAND [ARGS...]
#include "kova_version.h"
#include "physmap.h"
#include "portmem.h"
#include "kovactl.h"
#include "number.h"
#include "privilege_hint.h"
#include "session.h"
#include "signal_hold.h"
#include "standard_output.h"
#include "state_dir.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace kova::ctl {

namespace {

// ------------------------------------------------------------------ global options

// The result of one option: go on, or stop the program with a status.
constexpr int kGoOn = -1;

// One global option: its names, its value's placeholder (none for a flag),
// whether the synopsis shows it, its line of help, and what it does.
struct GlobalOption {
    const char *short_name; // "-y", or nullptr
    const char *long_name;  // "--yes"
    const char *value;      // "FILE", or nullptr for a flag
    const char *help;       // nullptr: not listed in the help (--help itself)
    bool in_synopsis = true;
    bool repeats = false;      // "[--set REG=HEX]..."
    bool ends_program = false; // --help, --version: a value after "=" is ignored
    int (*take)(std::string_view value, Options &options) = nullptr;
};

void print_command_list();

int take_set(std::string_view value, Options &options) {
    registers::Setting setting;
    std::string reason;
    if (!registers::parse_setting(value, setting, reason))
        return error(kExitUsage, "--set %s", reason.c_str());
    options.settings.push_back(setting);
    return kGoOn;
}

int take_fail(std::string_view value, Options &options) {
    registers::Failure failure;
    if (!registers::parse_failure(value, failure))
        return error(kExitUsage, "--fail: \"%.*s\" is not one of %s", static_cast<int>(value.size()),
                     value.data(), registers::failure_names().c_str());
    options.failures.push_back(failure);
    return kGoOn;
}

// The help of --fail: its lead and the failure names of the simulated
// controller's one list, joined at compile time ("iopl, open, ...").
constexpr std::string_view kFailHelpLead = "(--sim) make a platform call fail: ";
constexpr std::string_view kFailSeparator = ", ";

constexpr std::size_t fail_help_size() {
    std::size_t size = kFailHelpLead.size() + 1; // and the terminating NUL
    for (const registers::FailureName &f : registers::kFailureNames)
        size +=
            std::string_view(f.name).size() + (&f == registers::kFailureNames ? 0 : kFailSeparator.size());
    return size;
}

constexpr std::array<char, fail_help_size()> fail_help() {
    std::array<char, fail_help_size()> text{};
    std::size_t at = 0;
    const auto append = [&](std::string_view part) {
        for (const char c : part)
            text[at++] = c;
    };
    append(kFailHelpLead);
    for (const registers::FailureName &f : registers::kFailureNames) {
        if (&f != registers::kFailureNames) append(kFailSeparator);
        append(f.name);
    }
    return text;
}
constexpr auto kFailHelp = fail_help();

// A file name option: --trace, --dump, --card.
template <std::string Options::*File, const char *Message>
int take_file(std::string_view value, Options &options) {
    if (value.empty()) return error(kExitUsage, "%s", Message);
    options.*File = value;
    return kGoOn;
}
constexpr char kTraceNeedsFile[] = "--trace needs a file name";
constexpr char kDumpNeedsFile[] = "--dump needs a file name";
constexpr char kCardNeedsFile[] = "--card needs a file name";

int take_state_dir(std::string_view value, Options &options) {
    options.state_dir_option = value;
    options.state_dir_given = true;
    return kGoOn;
}

template <bool Options::*Flag>
int take_flag(std::string_view, Options &options) {
    options.*Flag = true;
    return kGoOn;
}

int take_help(std::string_view, Options &) {
    print_command_list();
    return kExitOk;
}

int take_version(std::string_view, Options &) {
    std::printf("kovactl %s\n", KOVA_VERSION_STRING);
    return kExitOk;
}

constexpr GlobalOption kGlobalOptions[] = {
    {.short_name = nullptr,
     .long_name = "--sim",
     .value = nullptr,
     .help = "run on a fresh simulated controller instead of the hardware",
     .take = take_flag<&Options::sim>},
    {.short_name = nullptr,
     .long_name = "--card",
     .value = "FILE",
     .help = "(--sim) run on the virtual card FILE, made when missing (default $KOVA_CARD)",
     .take = take_file<&Options::card, kCardNeedsFile>},
    {.short_name = nullptr,
     .long_name = "--set",
     .value = "REG=HEX",
     .help = "(--sim) preset a register: GRxx, SRxx, CRxx, GRxx@pp, SRxx@pp, TVxxxx, Pxxxx",
     .repeats = true,
     .take = take_set},
    {.short_name = nullptr,
     .long_name = "--fail",
     .value = "WHAT",
     .help = kFailHelp.data(),
     .repeats = true,
     .take = take_fail},
    {.short_name = nullptr,
     .long_name = "--trace",
     .value = "FILE",
     .help = "(--sim) write the register trace to FILE (- for standard error)",
     .take = take_file<&Options::trace_file, kTraceNeedsFile>},
    {.short_name = nullptr,
     .long_name = "--dump",
     .value = "FILE",
     .help = "(--sim) write the register state to FILE (- for standard error)",
     .take = take_file<&Options::dump_file, kDumpNeedsFile>},
    {.short_name = nullptr,
     .long_name = "--state-dir",
     .value = "DIR",
     .help = "where the lock-state record lives (default $KOVA_STATE_DIR or /run/kova)",
     .take = take_state_dir},
    {.short_name = nullptr,
     .long_name = "--json",
     .value = nullptr,
     .help = "print the result of a reading command as one JSON object",
     .take = take_flag<&Options::json>},
    {.short_name = "-y",
     .long_name = "--yes",
     .value = nullptr,
     .help = "write to the hardware without asking",
     .take = take_flag<&Options::yes>},
    {.short_name = "-n",
     .long_name = "--dry-run",
     .value = nullptr,
     .help = "run the command on a simulated copy of the controller and print its trace",
     .take = take_flag<&Options::dry_run>},
    {.short_name = nullptr,
     .long_name = "--version",
     .value = nullptr,
     .help = "print the version",
     .in_synopsis = false,
     .ends_program = true,
     .take = take_version},
    {.short_name = "-h",
     .long_name = "--help",
     .value = nullptr,
     .help = nullptr,
     .in_synopsis = false,
     .ends_program = true,
     .take = take_help},
};

const GlobalOption *find_global_option(std::string_view name) {
    for (const GlobalOption &o : kGlobalOptions)
        if (name == o.long_name || (o.short_name && name == o.short_name)) return &o;
    return nullptr;
}

// "[--card FILE]", "[--set REG=HEX]...", "[-y|--yes]".
std::string synopsis_of(const GlobalOption &o) {
    std::string text = "[";
    if (o.short_name) text += std::string(o.short_name) + "|";
    text += o.long_name;
    if (o.value) text += std::string(" ") + o.value;
    return text + (o.repeats ? "]..." : "]");
}

// "--card FILE", "-y, --yes": the first column of the option help.
std::string help_name(const GlobalOption &o) {
    std::string text = o.short_name ? std::string(o.short_name) + ", " : "";
    text += o.long_name;
    return o.value ? text + " " + o.value : text;
}

// The usage lines: the options in the synopsis, wrapped under the first.
constexpr std::size_t kUsageWidth = 104;
std::string usage_text() {
    const std::string lead = "usage: kovactl", indent(lead.size(), ' ');
    std::string text, line = lead;
    for (const GlobalOption &o : kGlobalOptions) {
        if (!o.in_synopsis) continue;
        const std::string part = synopsis_of(o);
        if (line.size() + 1 + part.size() > kUsageWidth) {
            text += line + "\n";
            line = indent;
        }
        line += " " + part;
    }
    return text + line + " COMMAND [ARGS...]\n";
}

// The options of the help, one a line; with `all`, also those the help leaves out.
void print_option_lines(bool all) {
    for (const GlobalOption &o : kGlobalOptions)
        if (o.help || all)
            std::printf("  %-16s %s\n", help_name(o).c_str(), o.help ? o.help : "print this help");
}

std::array<std::span<const Command>, 9> tables() {
    return {status_commands(),  register_commands(), display_commands(),
            overlay_commands(), capture_commands(),  lock_commands(),
            grab_commands(),    card_commands(),     trace_commands()};
}

// ------------------------------------------------------------------ help

std::string range_text(const ArgSpec &spec) {
    if (spec.kind == ArgSpec::Kind::Choice || (spec.kind == ArgSpec::Kind::Option && spec.choices))
        return std::string("one of ") + spec.choices;
    // A text argument shows a range when it has one (the command checks it).
    if ((spec.kind == ArgSpec::Kind::Text && spec.max == 0) || spec.kind == ArgSpec::Kind::Flag ||
        spec.kind == ArgSpec::Kind::Path)
        return "";
    return tool::number_range(spec.min, spec.max, spec.hex);
}

std::string synopsis(const Command &c) {
    std::string text = c.name;
    if (c.numbered) text += " N";
    if (c.word) text += std::string(" ") + c.word;
    for (const ArgSpec &a : c.args) {
        std::string part = a.kind == ArgSpec::Kind::Choice ? a.choices : a.name;
        if (a.kind == ArgSpec::Kind::Option) part += std::string(" ") + (a.choices ? a.choices : "N");
        if (a.kind == ArgSpec::Kind::Path) part += std::string(" ") + (a.choices ? a.choices : "FILE");
        text += " " + (a.optional || a.kind == ArgSpec::Kind::Flag || a.kind == ArgSpec::Kind::Option ||
                               a.kind == ArgSpec::Kind::Path
                           ? "[" + part + "]"
                           : part);
    }
    return text;
}

void print_command_list() {
    std::printf("%soptions:\n", usage_text().c_str());
    print_option_lines(false);
    std::printf("numbers are decimal or 0x hex; see kovactl help COMMAND for the ranges\ncommands:\n");
    for (const auto table : tables())
        for (const Command &c : table) {
            const std::string text = synopsis(c);
            if (text.size() > 40)
                std::printf("  %s\n  %-40s %s\n", text.c_str(), "", c.help);
            else
                std::printf("  %-40s %s\n", text.c_str(), c.help);
        }
}

void print_command_help(const Command &c) {
    std::printf("kovactl %s\n    %s%s\n", synopsis(c).c_str(), c.help, c.writes ? " (writes)" : "");
    if (c.numbered) std::printf("    N: 0 or 1\n");
    for (const ArgSpec &a : c.args) {
        const std::string range = range_text(a);
        if (!range.empty()) std::printf("    %s: %s\n", a.name, range.c_str());
    }
}

int help(std::span<char *const> words) {
    if (words.empty()) {
        print_command_list();
        return kExitOk;
    }
    if (words[0] == std::string_view("options") && words.size() == 1) {
        print_option_lines(true);
        return kExitOk;
    }
    if (words[0] == std::string_view("registers") && words.size() == 1) {
        print_register_names();
        return kExitOk;
    }
    bool found = false;
    for (const auto table : tables())
        for (const Command &c : table)
            if (words[0] == std::string_view(c.name) &&
                (words.size() < 2 || (c.word && words[1] == std::string_view(c.word)))) {
                print_command_help(c);
                found = true;
            }
    if (!found) return error(kExitUsage, "help: unknown command \"%s\"; see kovactl help", words[0]);
    return kExitOk;
}

// ------------------------------------------------------------------ global options

// One word of the options before the command: its name, and its value when it
// came as "--name=value".
struct OptionWord {
    std::string_view name;
    std::string_view value;
    bool has_value = false;
};

OptionWord split_option(std::string_view arg) {
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos)
        return {arg.substr(0, eq), arg.substr(eq + 1), true};
    return {arg, {}, false};
}

// Parses the options before the command.  Returns the index of the command
// word, or -1 - exit status when the program is to stop.
int parse_options(int argc, char **argv, Options &options) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") return i + 1;
        if (arg.empty() || arg[0] != '-') return i;
        OptionWord word = split_option(arg);
        const GlobalOption *option = find_global_option(word.name);
        if (!option) return -1 - error(kExitUsage, "unknown option \"%s\"; see kovactl --help", argv[i]);
        if (!option->value && !option->ends_program && word.has_value)
            return -1 - error(kExitUsage, "%.*s takes no value", static_cast<int>(word.name.size()),
                              word.name.data());
        if (option->value && !word.has_value && i + 1 >= argc)
            return -1 - error(kExitUsage, "%s needs an argument", argv[i]);
        if (option->value && !word.has_value) word.value = argv[++i];
        const int status = option->take(word.value, options);
        if (status != kGoOn) return -1 - status;
    }
    return i;
}

// ------------------------------------------------------------------ command arguments

int bad_argument(const Command &c, const ArgSpec &spec, std::string_view got) {
    const std::string where = synopsis_head(c);
    if (spec.kind == ArgSpec::Kind::Choice)
        return error(kExitUsage, "%s: expected %s, not \"%.*s\"", where.c_str(), range_text(spec).c_str(),
                     static_cast<int>(got.size()), got.data());
    return error(kExitUsage, "%s: %s must be %s, not \"%.*s\"", where.c_str(), spec.name,
                 range_text(spec).c_str(), static_cast<int>(got.size()), got.data());
}

} // namespace

std::string synopsis_head(const Command &c) {
    std::string text = c.name;
    if (c.numbered) text += " N";
    if (c.word) text += std::string(" ") + c.word;
    return text;
}

namespace {

// The position of `word` in "a|b|c", or -1.
int choice_index(const char *choices, std::string_view word) {
    std::string_view list = choices;
    for (int n = 0;; ++n) {
        const auto bar = list.find('|');
        if (list.substr(0, bar) == word) return n;
        if (bar == std::string_view::npos) return -1;
        list.remove_prefix(bar + 1);
    }
}

int take_value(const Command &c, const ArgSpec &spec, std::string_view text, std::uint32_t &value) {
    if (spec.choices && (spec.kind == ArgSpec::Kind::Choice || spec.kind == ArgSpec::Kind::Option)) {
        const int n = choice_index(spec.choices, text);
        if (n < 0) return bad_argument(c, spec, text);
        value = static_cast<std::uint32_t>(n);
        return 0;
    }
    if (!tool::parse_number_in(text, spec.min, spec.max, value)) return bad_argument(c, spec, text);
    return 0;
}

bool is_positional(const ArgSpec &a) {
    return a.kind == ArgSpec::Kind::Number || a.kind == ArgSpec::Kind::Choice ||
           a.kind == ArgSpec::Kind::Text;
}

// The position of the command's option named `word`, or args.size().
std::size_t option_index(const Command &c, std::string_view word) {
    std::size_t k = 0;
    while (k < c.args.size() && (is_positional(c.args[k]) || word != c.args[k].name))
        ++k;
    return k;
}

// "--name", or "-o" where the command has an option by that name ("-1" stays a value).
bool is_option_word(const Command &c, std::string_view word) {
    return word.starts_with("--") ||
           (word.size() == 2 && word[0] == '-' && option_index(c, word) < c.args.size());
}

// Takes the option at words[w] (and its value, which moves w on).
int take_option(const Command &c, std::span<char *const> words, std::size_t &w, Args &args) {
    const std::size_t k = option_index(c, words[w]);
    if (k == c.args.size())
        return error(kExitUsage, "%s: unknown option \"%s\"; see kovactl help %s", synopsis_head(c).c_str(),
                     words[w], c.name);
    const ArgSpec &spec = c.args[k];
    args.given[k] = true;
    if (spec.kind == ArgSpec::Kind::Flag) return 0;
    const bool path = spec.kind == ArgSpec::Kind::Path;
    if (w + 1 >= words.size())
        return error(kExitUsage, "%s: %s needs %s", synopsis_head(c).c_str(), spec.name,
                     path ? "a file name" : range_text(spec).c_str());
    args.text[k] = words[++w];
    if (path && args.text[k].empty())
        return error(kExitUsage, "%s: %s needs a file name", synopsis_head(c).c_str(), spec.name);
    return path ? 0 : take_value(c, spec, args.text[k], args.value[k]);
}

// Takes `word` as the next positional argument from position `next` on.
int take_positional(const Command &c, const char *word, std::size_t &next, Args &args) {
    while (next < c.args.size() && !is_positional(c.args[next]))
        ++next;
    if (next >= c.args.size())
        return error(kExitUsage, "%s: unexpected argument \"%s\"", synopsis_head(c).c_str(), word);
    const ArgSpec &spec = c.args[next];
    const std::size_t k = next++;
    args.given[k] = true;
    args.text[k] = word;
    return spec.kind == ArgSpec::Kind::Text ? 0 : take_value(c, spec, word, args.value[k]);
}

// A missing positional argument is an error; the others take their fallback.
int fill_missing(const Command &c, Args &args) {
    for (std::size_t k = 0; k < c.args.size(); ++k) {
        const ArgSpec &spec = c.args[k];
        if (args.given[k]) continue;
        if (is_positional(spec) && !spec.optional) {
            const std::string range = range_text(spec);
            return error(kExitUsage, "%s: missing %s%s%s%s", synopsis_head(c).c_str(),
                         spec.kind == ArgSpec::Kind::Choice ? spec.choices : spec.name,
                         range.empty() ? "" : " (", range.c_str(), range.empty() ? "" : ")");
        }
        args.value[k] = spec.fallback;
    }
    return 0;
}

int parse_args(const Command &c, std::span<char *const> words, Args &args) {
    std::size_t next = 0; // next positional spec
    for (std::size_t w = 0; w < words.size(); ++w) {
        const int s = is_option_word(c, words[w]) ? take_option(c, words, w, args)
                                                  : take_positional(c, words[w], next, args);
        if (s != 0) return s;
    }
    return fill_missing(c, args);
}

// ------------------------------------------------------------------ command words

// The commands named `name`: the one with no second word, or the one whose
// second word (after N for a numbered one) is `word`; else nullptr and the
// second words that would do, in `expected`.
const Command *match(std::string_view name, bool numbered, std::string_view word, std::string &expected) {
    for (const auto table : tables())
        for (const Command &c : table) {
            if (name != c.name || numbered != c.numbered) continue;
            if (!c.word || word == c.word) return &c;
            expected += std::string(expected.empty() ? "" : ", ") + c.word;
        }
    return nullptr;
}

bool has_numbered(std::string_view name) {
    for (const auto table : tables())
        for (const Command &c : table)
            if (name == c.name && c.numbered) return true;
    return false;
}

int bad_subcommand(const std::string &where, const char *got, const std::string &expected) {
    if (!got) return error(kExitUsage, "%s: missing subcommand, one of %s", where.c_str(), expected.c_str());
    return error(kExitUsage, "%s: unknown subcommand \"%s\"; expected one of %s", where.c_str(), got,
                 expected.c_str());
}

// words[n], or nullptr when it is missing or empty.
const char *word_at(std::span<char *const> words, std::size_t n) {
    return n < words.size() && words[n][0] != '\0' ? words[n] : nullptr;
}

// "overlay N WORD": words[1] is the number, words[2] the second word.
const Command *find_numbered(std::span<char *const> words, const std::string &unnumbered, Args &args,
                             std::size_t &used, int &status) {
    std::uint32_t unit = 0;
    if (!tool::parse_number_in(words[1], 0, 1, unit)) {
        status = error(kExitUsage, "%s: N must be 0 or 1%s, not \"%s\"", words[0],
                       unnumbered.empty() ? "" : (" (or " + unnumbered + ")").c_str(), words[1]);
        return nullptr;
    }
    args.unit = static_cast<int>(unit);
    const char *third = word_at(words, 2);
    std::string expected;
    const Command *c = match(words[0], true, third ? third : "", expected);
    if (c)
        used = 3;
    else
        status = bad_subcommand(std::string(words[0]) + " N", third, expected);
    return c;
}

// Finds the command that the words name; sets `used` to the words taken.
const Command *find_command(std::span<char *const> words, Args &args, std::size_t &used, int &status) {
    const char *second = word_at(words, 1);
    std::string expected;
    if (const Command *c = match(words[0], false, second ? second : "", expected)) {
        used = c->word ? 2 : 1;
        return c;
    }
    const bool numbered = has_numbered(words[0]);
    if (expected.empty() && !numbered) {
        status = error(kExitUsage, "unknown command \"%s\"; see kovactl help", words[0]);
        return nullptr;
    }
    if (numbered && second) return find_numbered(words, expected, args, used, status);
    if (numbered) expected = "N" + std::string(expected.empty() ? "" : ", ") + expected;
    status = bad_subcommand(words[0], second, expected);
    return nullptr;
}

// Asks on the terminal before a write to the hardware.  True to go ahead.
bool confirmed(const Command &c) {
    if (!isatty(STDIN_FILENO)) {
        error(kExitFailure, "%s writes to the controller; confirm with -y (standard input is not a terminal)",
              synopsis_head(c).c_str());
        return false;
    }
    std::fprintf(stderr, "kovactl: %s writes to the controller's registers. Continue? [y/N] ",
                 synopsis_head(c).c_str());
    std::fflush(stderr);
    char answer[16] = {};
    if (!std::fgets(answer, sizeof answer, stdin)) answer[0] = '\0';
    if (answer[0] == 'y' || answer[0] == 'Y') return true;
    error(kExitFailure, "aborted; nothing written");
    return false;
}

} // namespace

int run(int argc, char **argv) {
    leave_card_to_options();
    Options options;
    options.command_line = std::span<char *const>(argv, static_cast<std::size_t>(argc));
    const int start = parse_options(argc, argv, options);
    if (start < 0) return -1 - start;
    if (options.sim && !kSimulatedFlavour) return hand_over_to_simulation(argc, argv);
    if (!kSimulatedFlavour && !options.sim &&
        (!options.settings.empty() || !options.failures.empty() || !options.trace_file.empty() ||
         !options.dump_file.empty()))
        return error(kExitUsage, "--set, --fail, --trace and --dump need --sim");
    if (!kSimulatedFlavour && !options.sim && !options.card.empty())
        return error(kExitUsage, "--card needs --sim (a virtual card is simulated)");
    find_card(options);
    if (start >= argc) return error(kExitUsage, "missing command; see kovactl help");

    const std::span<char *const> words(argv + start, static_cast<std::size_t>(argc - start));
    if (words[0] == std::string_view("help")) return help(words.subspan(1));
    if (const char *empty =
            tool::empty_state_dir_name(options.state_dir_given ? options.state_dir_option.c_str() : nullptr))
        return error(kExitUsage, "%s: empty directory name", empty);

    Args args;
    std::size_t used = 0;
    int status = 0;
    const Command *command = find_command(words, args, used, status);
    if (!command) return status;
    if (const int s = parse_args(*command, words.subspan(used), args)) return s;
    if (command->sessionless) return command->handler(options, args);

    if (!kSimulatedFlavour && options.dry_run) return dry_run_on_copy(options, argc, argv, start);
    if (!kSimulatedFlavour && command->writes && !options.yes && !confirmed(*command)) return kExitFailure;

    if (command->prepare)
        if (const int s = command->prepare(options, args)) return s;
    if (const int s = open_session(options)) return close_session(options, s);
    if (command->holds_per_step) return close_session(options, command->handler(options, args));
    int result;
    {
        const tool::SignalHold hold; // a signal counts once the whole sequence is done
        result = command->handler(options, args);
    }
    return close_session(options, result);
}

// ------------------------------------------------------------------ helpers

// NOLINTNEXTLINE(cert-dcl50-cpp): printf-style, the format attribute checks every call
int error(int status, const char *fmt, ...) {
    std::fputs("kovactl: ", stderr);
    va_list ap;
    va_start(ap, fmt);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): false positive, va_start is above
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fputc('\n', stderr);
    return status;
}

std::string state_directory(const Options &options) {
    const char *named = std::getenv("KOVA_STATE_DIR");
    if (!options.card.empty() && !options.state_dir_given && (named == nullptr || *named == '\0'))
        return options.card_state_dir;
    return tool::state_dir(options.state_dir_given ? options.state_dir_option.c_str() : nullptr);
}

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

int map_controller() {
    if (RequestIOPrivilege() != 0) {
        error(kExitFailure, "I/O privilege refused (iopl 3); %s", tool::privilege_hint());
        return kExitFailure;
    }
    if (MapKOVAMemory() != 0) {
        tool::flush_standard_output();
        error(kExitFailure, "cannot map the controller's memory");
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace kova::ctl
