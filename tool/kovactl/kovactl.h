// kovactl: every library entry point from the shell.
//
// Commands live in tables, one per command group (one source file each).  A
// command is its name, an optional engine or window number, an optional second
// word, and a list of argument descriptions; help text and argument checks
// come from the tables, and so do the bash completion's command words (it
// reads "kovactl help").  A new command is an entry and its handler in its
// group's table, its entry in the man page (a test holds the page to the
// tables) and a test of what it does.
#pragma once

#include "failure_names.h"
#include "register_text.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kova::ctl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 64; // usage errors, as sysexits' EX_USAGE

// One argument of a command.
struct ArgSpec {
    enum class Kind : std::uint8_t {
        Number, // decimal or 0x hex, within [min, max]
        Choice, // one of the words in `choices` ("on|off"); its position is the value
        Text,   // handed to the command as it is (register names and settings)
        Flag,   // "--name" with no value, anywhere after the fixed arguments
        Option, // "--name VALUE": a number, or a choice when `choices` is set
        Path,   // "--name FILE" (or "-o FILE"): the file name, handed over as it is
    };
    const char *name; // "X", "ADDR", "--clock"
    Kind kind;
    std::uint32_t min = 0, max = 0;
    const char *choices = nullptr;
    bool optional = false;
    std::uint32_t fallback = 0; // value when an optional argument is left out
    bool hex = false;           // show the range in hex
};

// The parsed arguments, by position in the command's list.
struct Args {
    static constexpr int kMax = 8;
    std::uint32_t value[kMax] = {};
    std::string_view text[kMax];
    bool given[kMax] = {};
    int unit = 0; // the engine or window number of "overlay N ..." and "capture N ..."
};

struct Options;

using Handler = int (*)(const Options &options, const Args &args);

// A row of a group's table, written with designated initializers
// ({.name = "reg", .word = "get", .args = kGetArgs, .handler = reg_get, .help = "..."}).
struct Command {
    const char *name = nullptr; // "overlay"
    bool numbered = false;      // takes an engine or window number after the name
    const char *word = nullptr; // second word, or nullptr
    std::span<const ArgSpec> args{};
    bool writes = false; // changes the controller (asks for confirmation on the hardware)
    Handler handler = nullptr;
    const char *help = nullptr;
    // Runs before the controller is mapped; a non-zero result ends the run
    // with that status, nothing touched.
    Handler prepare = nullptr;
    // The handler holds signals over each step itself (long loops of waits
    // stay interruptible between steps); otherwise over the whole handler.
    bool holds_per_step = false;
    // The command works on files alone (a virtual card): no controller is
    // opened for it, in either flavour.
    bool sessionless = false;
};

// A number of the command line as the library's parameter type.
inline unsigned short u16(std::uint32_t v) {
    return static_cast<unsigned short>(v);
}

// The handler of a command such as "capture N on": selects engine or window N
// with Select, then runs Operation.
template <void (*Select)(unsigned short), void (*Operation)()>
int on_unit(const Options &, const Args &args) {
    Select(u16(static_cast<std::uint32_t>(args.unit)));
    Operation();
    return kExitOk;
}

// Global options.
struct Options {
    bool sim = false;
    bool json = false;
    bool yes = false;
    bool dry_run = false;
    std::string trace_file;
    std::string dump_file;
    std::string state_dir_option;
    bool state_dir_given = false;
    std::string card;                         // --card, else $KOVA_CARD (simulated flavour): the virtual card
    std::string card_state_dir;               // the card's own state directory
    std::vector<registers::Setting> settings; // --set, for the simulated controller
    std::vector<registers::Failure> failures; // --fail
    std::span<char *const> command_line;      // argv, for a hand-over to the simulated program
};

// The whole program: options, command, session.  Returns the exit status.
int run(int argc, char **argv);

// The command tables, one per group.
std::span<const Command> status_commands();
std::span<const Command> register_commands();
std::span<const Command> display_commands();
std::span<const Command> overlay_commands();
std::span<const Command> capture_commands();
std::span<const Command> lock_commands();
std::span<const Command> grab_commands();
std::span<const Command> card_commands();
std::span<const Command> trace_commands();

// The one message helper: "kovactl: " and the formatted text on standard
// error; returns status (kExitUsage for a usage error, kExitFailure).
int error(int status, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// The state directory of the lock-state record (with a card and none named,
// the card's own).
std::string state_directory(const Options &options);

// "kovactl help registers": every register name that kovactl takes, one a
// line (the indexed registers, paged ones in each page the map uses, then the
// map's names); the bash completion reads it.
void print_register_names();

// "overlay N window": the command's words, for messages.
std::string synopsis_head(const Command &command);

// Text helpers.
std::string hex(std::uint32_t value, int digits = 0);

} // namespace kova::ctl
