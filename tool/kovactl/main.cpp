// kovactl [--sim] [--set REG=HEX]... [--fail WHAT]... [--trace FILE] [--dump FILE]
//         [--state-dir DIR] [--json] [-y|--yes] [-n|--dry-run] COMMAND [ARGS...]
#include "kova_version.h"
#include "physmap.h"
#include "portmem.h"
#include "kovactl.h"
#include "privilege_hint.h"
#include "session.h"
#include "signal_hold.h"
#include "state_dir.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace kova::ctl {

namespace {

constexpr const char *kSynopsis =
    "usage: kovactl [--sim] [--set REG=HEX]... [--fail WHAT]... [--trace FILE] [--dump FILE]\n"
    "               [--state-dir DIR] [--json] [-y|--yes] [-n|--dry-run] COMMAND [ARGS...]\n";

constexpr const char *kOptionHelp =
    "options:\n"
    "  --sim            run on a fresh simulated controller instead of the hardware\n"
    "  --set REG=HEX    (--sim) preset a register: GRxx, SRxx, CRxx, GRxx@pp, SRxx@pp, TVxxxx, Pxxxx\n"
    "  --fail WHAT      (--sim) make a platform call fail: iopl, open, mmap-fb, mmap-mmio\n"
    "  --trace FILE     (--sim) write the register trace to FILE (- for standard error)\n"
    "  --dump FILE      (--sim) write the register state to FILE (- for standard error)\n"
    "  --state-dir DIR  where the lock-state record lives (default $KOVA_STATE_DIR or /run/kova)\n"
    "  --json           print the result of a reading command as one JSON object\n"
    "  -y, --yes        write to the hardware without asking\n"
    "  -n, --dry-run    run the command on a simulated copy of the controller and print its trace\n"
    "  --version        print the version\n"
    "numbers are decimal or 0x hex; see kovactl help COMMAND for the ranges\n";

std::array<std::span<const Command>, 7> tables() {
    return {status_commands(),  register_commands(), display_commands(), overlay_commands(),
            capture_commands(), lock_commands(),     grab_commands()};
}

// ------------------------------------------------------------------ help

std::string range_text(const ArgSpec &spec) {
    if (spec.kind == ArgSpec::Kind::Choice || (spec.kind == ArgSpec::Kind::Option && spec.choices))
        return std::string("one of ") + spec.choices;
    if (spec.kind == ArgSpec::Kind::Text || spec.kind == ArgSpec::Kind::Flag ||
        spec.kind == ArgSpec::Kind::Path)
        return "";
    return spec.hex ? "a number from " + hex(spec.min) + " to " + hex(spec.max)
                    : "a number from " + std::to_string(spec.min) + " to " + std::to_string(spec.max);
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
    std::printf("%s%scommands:\n", kSynopsis, kOptionHelp);
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
    bool found = false;
    for (const auto table : tables())
        for (const Command &c : table)
            if (words[0] == std::string_view(c.name) &&
                (words.size() < 2 || (c.word && words[1] == std::string_view(c.word)))) {
                print_command_help(c);
                found = true;
            }
    if (!found) return usage_error("help: unknown command \"%s\"; see kovactl help", words[0]);
    return kExitOk;
}

// ------------------------------------------------------------------ global options

// Parses the options before the command.  Returns the index of the command
// word, or -1 - exit status when the program is to stop.
// NOLINTNEXTLINE(readability-function-cognitive-complexity): one flat walk over the words; to be split up
int parse_options(int argc, char **argv, Options &options) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") return i + 1;
        if (arg.empty() || arg[0] != '-') return i;
        std::string_view name = arg, value;
        bool has_value = false;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            has_value = true;
        }
        const auto flag = [&](bool &target) {
            if (has_value)
                return usage_error("%.*s takes no value", static_cast<int>(name.size()), name.data());
            target = true;
            return 0;
        };
        int status = 0;
        if (name == "--sim") {
            status = flag(options.sim);
        } else if (name == "--json") {
            status = flag(options.json);
        } else if (name == "-y" || name == "--yes") {
            status = flag(options.yes);
        } else if (name == "-n" || name == "--dry-run") {
            status = flag(options.dry_run);
        } else if (name == "--help" || name == "-h") {
            print_command_list();
            return -1 - kExitOk;
        } else if (name == "--version") {
            std::printf("kovactl %s\n", KOVA_VERSION_STRING);
            return -1 - kExitOk;
        } else if (name == "--set" || name == "--fail" || name == "--trace" || name == "--dump" ||
                   name == "--state-dir") {
            if (!has_value) {
                if (i + 1 >= argc) return -1 - usage_error("%s needs an argument", argv[i]);
                value = argv[++i];
            }
            std::string reason; // cppcheck-suppress variableScope ; shared by the --set branch's calls
            if (name == "--set") {
                sim::Setting setting;
                if (!sim::parse_setting(value, setting, reason))
                    return -1 - usage_error("--set %s", reason.c_str());
                options.settings.push_back(setting);
            } else if (name == "--fail") {
                sim::Failure failure;
                if (!sim::parse_failure(value, failure))
                    return -1 - usage_error("--fail: \"%.*s\" is not one of %s",
                                            static_cast<int>(value.size()), value.data(), sim::kFailureNames);
                options.failures.push_back(failure);
            } else if (name == "--trace" || name == "--dump") {
                if (value.empty()) return -1 - usage_error("%s needs a file name", std::string(name).c_str());
                (name == "--trace" ? options.trace_file : options.dump_file) = value;
            } else {
                options.state_dir_option = value;
                options.state_dir_given = true;
            }
        } else {
            return -1 - usage_error("unknown option \"%s\"; see kovactl --help", argv[i]);
        }
        if (status != 0) return -1 - status;
    }
    return i;
}

// ------------------------------------------------------------------ command arguments

int bad_argument(const Command &c, const ArgSpec &spec, std::string_view got) {
    const std::string where = synopsis_head(c);
    if (spec.kind == ArgSpec::Kind::Choice)
        return usage_error("%s: expected %s, not \"%.*s\"", where.c_str(), range_text(spec).c_str(),
                           static_cast<int>(got.size()), got.data());
    return usage_error("%s: %s must be %s, not \"%.*s\"", where.c_str(), spec.name, range_text(spec).c_str(),
                       static_cast<int>(got.size()), got.data());
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
    if (!parse_number(text, value) || value < spec.min || value > spec.max)
        return bad_argument(c, spec, text);
    return 0;
}

// NOLINTNEXTLINE(readability-function-cognitive-complexity): one flat walk over the words; to be split up
int parse_args(const Command &c, std::span<char *const> words, Args &args) {
    std::size_t next = 0; // next positional spec
    const auto is_positional = [](const ArgSpec &a) {
        return a.kind == ArgSpec::Kind::Number || a.kind == ArgSpec::Kind::Choice ||
               a.kind == ArgSpec::Kind::Text;
    };
    for (std::size_t w = 0; w < words.size(); ++w) {
        const std::string_view word = words[w];
        // "-o": an option only where the command has one by that name ("-1" stays a value).
        const bool short_option = word.size() == 2 && word[0] == '-' &&
                                  std::any_of(c.args.begin(), c.args.end(), [&](const ArgSpec &a) {
                                      return !is_positional(a) && word == a.name;
                                  });
        if (word.starts_with("--") || short_option) {
            std::size_t k = 0;
            for (; k < c.args.size(); ++k)
                if (!is_positional(c.args[k]) && word == c.args[k].name) break;
            if (k == c.args.size())
                return usage_error("%s: unknown option \"%s\"; see kovactl help %s", synopsis_head(c).c_str(),
                                   words[w], c.name);
            args.given[k] = true;
            if (c.args[k].kind == ArgSpec::Kind::Option || c.args[k].kind == ArgSpec::Kind::Path) {
                const bool path = c.args[k].kind == ArgSpec::Kind::Path;
                if (w + 1 >= words.size())
                    return usage_error("%s: %s needs %s", synopsis_head(c).c_str(), c.args[k].name,
                                       path ? "a file name" : range_text(c.args[k]).c_str());
                args.text[k] = words[++w];
                if (path && args.text[k].empty())
                    return usage_error("%s: %s needs a file name", synopsis_head(c).c_str(), c.args[k].name);
                if (!path)
                    if (const int s = take_value(c, c.args[k], args.text[k], args.value[k])) return s;
            }
            continue;
        }
        while (next < c.args.size() && !is_positional(c.args[next]))
            ++next;
        if (next >= c.args.size())
            return usage_error("%s: unexpected argument \"%s\"", synopsis_head(c).c_str(), words[w]);
        const ArgSpec &spec = c.args[next];
        args.given[next] = true;
        args.text[next] = word;
        if (spec.kind != ArgSpec::Kind::Text)
            if (const int s = take_value(c, spec, word, args.value[next])) return s;
        ++next;
    }
    for (std::size_t k = 0; k < c.args.size(); ++k) {
        const ArgSpec &spec = c.args[k];
        if (args.given[k]) continue;
        if (is_positional(spec) && !spec.optional) {
            const std::string range = range_text(spec);
            return usage_error("%s: missing %s%s%s%s", synopsis_head(c).c_str(),
                               spec.kind == ArgSpec::Kind::Choice ? spec.choices : spec.name,
                               range.empty() ? "" : " (", range.c_str(), range.empty() ? "" : ")");
        }
        args.value[k] = spec.fallback;
    }
    return 0;
}

// Finds the command that the words name; sets `used` to the words taken.
// NOLINTNEXTLINE(readability-function-cognitive-complexity): one flat walk over the words; to be split up
const Command *find_command(std::span<char *const> words, Args &args, std::size_t &used, int &status) {
    const std::string_view name = words[0];
    const std::string_view second = words.size() > 1 ? std::string_view(words[1]) : std::string_view();
    bool known = false, numbered = false;
    std::string expected;
    for (const auto table : tables())
        for (const Command &c : table) {
            if (name != c.name) continue;
            known = true;
            if (c.numbered) {
                numbered = true;
                continue;
            }
            if (!c.word) {
                used = 1;
                return &c;
            }
            if (second == c.word) {
                used = 2;
                return &c;
            }
            expected += std::string(expected.empty() ? "" : ", ") + c.word;
        }
    if (!known) {
        status = usage_error("unknown command \"%s\"; see kovactl help", words[0]);
        return nullptr;
    }
    if (numbered && !second.empty()) {
        std::uint32_t unit = 0;
        if (!parse_number(second, unit) || unit > 1) {
            status = usage_error("%s: N must be 0 or 1%s, not \"%s\"", words[0],
                                 expected.empty() ? "" : (" (or " + expected + ")").c_str(), words[1]);
            return nullptr;
        }
        args.unit = static_cast<int>(unit);
        const std::string_view third = words.size() > 2 ? std::string_view(words[2]) : std::string_view();
        std::string words_expected;
        for (const auto table : tables())
            for (const Command &c : table) {
                if (name != c.name || !c.numbered) continue;
                if (third == c.word) {
                    used = 3;
                    return &c;
                }
                words_expected += std::string(words_expected.empty() ? "" : ", ") + c.word;
            }
        status = third.empty()
                     ? usage_error("%s N: missing subcommand, one of %s", words[0], words_expected.c_str())
                     : usage_error("%s N: unknown subcommand \"%s\"; expected one of %s", words[0], words[2],
                                   words_expected.c_str());
        return nullptr;
    }
    if (numbered) expected = "N" + std::string(expected.empty() ? "" : ", ") + expected;
    status = second.empty() ? usage_error("%s: missing subcommand, one of %s", words[0], expected.c_str())
                            : usage_error("%s: unknown subcommand \"%s\"; expected one of %s", words[0],
                                          words[1], expected.c_str());
    return nullptr;
}

// Asks on the terminal before a write to the hardware.  True to go ahead.
bool confirmed(const Command &c) {
    if (!isatty(STDIN_FILENO)) {
        error("%s writes to the controller; confirm with -y (standard input is not a terminal)",
              synopsis_head(c).c_str());
        return false;
    }
    std::fprintf(stderr, "kovactl: %s writes to the controller's registers. Continue? [y/N] ",
                 synopsis_head(c).c_str());
    std::fflush(stderr);
    char answer[16] = {};
    if (!std::fgets(answer, sizeof answer, stdin)) answer[0] = '\0';
    if (answer[0] == 'y' || answer[0] == 'Y') return true;
    error("aborted; nothing written");
    return false;
}

} // namespace

int run(int argc, char **argv) {
    Options options;
    const int start = parse_options(argc, argv, options);
    if (start < 0) return -1 - start;
    if (options.sim && !kSimulatedFlavour) return hand_over_to_simulation(argc, argv);
    if (!kSimulatedFlavour && !options.sim &&
        (!options.settings.empty() || !options.failures.empty() || !options.trace_file.empty() ||
         !options.dump_file.empty()))
        return usage_error("--set, --fail, --trace and --dump need --sim");
    if (start >= argc) return usage_error("missing command; see kovactl help");

    const std::span<char *const> words(argv + start, static_cast<std::size_t>(argc - start));
    if (words[0] == std::string_view("help")) return help(words.subspan(1));
    if (const char *empty =
            tool::empty_state_dir_name(options.state_dir_given ? options.state_dir_option.c_str() : nullptr))
        return usage_error("%s: empty directory name", empty);

    Args args;
    std::size_t used = 0;
    int status = 0;
    const Command *command = find_command(words, args, used, status);
    if (!command) return status;
    if (const int s = parse_args(*command, words.subspan(used), args)) return s;

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

bool parse_number(std::string_view text, std::uint32_t &value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t v = 0;
    for (const char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFu) return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

// printf-style on purpose: the format attribute has the compiler check every call.
void error(const char *fmt, ...) { // NOLINT(cert-dcl50-cpp)
    std::fputs("kovactl: ", stderr);
    va_list ap;
    va_start(ap, fmt);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): false positive, va_start is above
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fputc('\n', stderr);
}

int usage_error(const char *fmt, ...) { // NOLINT(cert-dcl50-cpp): printf-style, as error() above
    std::fputs("kovactl: ", stderr);
    va_list ap;
    va_start(ap, fmt);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): false positive, va_start is above
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fputc('\n', stderr);
    return kExitUsage;
}

std::string state_directory(const Options &options) {
    return tool::state_dir(options.state_dir_given ? options.state_dir_option.c_str() : nullptr);
}

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

int map_controller() {
    if (RequestIOPrivilege() != 0) {
        error("I/O privilege refused (iopl 3); %s", tool::privilege_hint());
        return kExitFailure;
    }
    if (MapKOVAMemory() != 0) {
        std::fflush(stdout);
        error("cannot map the controller's memory");
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace kova::ctl
