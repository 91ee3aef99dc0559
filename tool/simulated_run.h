// The core of the programs that run on the simulated controller (kovasim,
// kovarun): the options table, the set-up, the output files, the frames after
// the run and the summary.  Each program's main passes what is its own: its
// name, operands and help text, its extra option rows and the program it runs.
#pragma once

#include "controller.h"
#include "output_file.h"
#include "register_text.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kova::simrun {

// An output file of the run, opened before anything runs so that a name that
// cannot be written is an error up front, and put in place whole after the
// run.  "-" is standard error.
struct Output {
    std::string name;
    picture::OutputFile file;
};

struct Options {
    Output trace;
    Output dump;
    std::string state_dir;  // empty: no lock-state record
    std::string card;       // the virtual card ("" none)
    bool separator = false; // "--" given
    bool frames_given = false;
    bool help = false;
    std::string source = "pal";
    std::uint32_t frames = 2;
    std::string png_file;
    std::string y4m_file;
    std::vector<registers::Setting> settings;
    std::vector<registers::Failure> failures;
    std::vector<char *> operands; // what the program runs, null-terminated after parsing
};

// Takes an option's value into the options; false with a one-line reason.
using Take = bool (*)(Options &options, std::string_view value, std::string &error);

// A row of a program's options table: parsing, the help text, the synopsis and
// --list-options all come from the rows.  None of the names may be an option
// of what the program runs, or a prefix of one.
struct OptionRow {
    const char *name;
    const char *argument; // the value's name, or nullptr for an option without one
    const char *help;
    Take take;
    // The value's choices, when the program knows them; the help text ends
    // with them (", " between), --list-options shows them ("|" between).
    std::string (*choices)(std::string_view separator, std::string_view last) = nullptr;
};

// --card FILE: the virtual card to run on (both programs' row takes it so).
inline bool take_card(Options &o, std::string_view v, std::string &e) {
    if (v.empty()) e = "empty file name";
    o.card = v;
    return !v.empty();
}

// What a program is and what it runs; everything else is this core's.
struct Program {
    const char *name;
    const char *operands;            // the synopsis after the options
    const char *about;               // the help text's paragraph after the synopsis
    const char *help_help;           // the --help row's text
    std::span<const OptionRow> rows; // after the rows every program has, before --help
    // The operands start with this word (nullptr: none), and the program's
    // options may stand among them when this says which operand takes the
    // next word as its value (nullptr: the first operand ends the options).
    const char *first_operand;
    int (*operand_takes_value)(const char *arg);
    bool card_from_environment; // $KOVA_CARD when no --card
    // The card's lock beside the card whatever --state-dir says, and no sync
    // lock recorded there: the traced program takes the register-owner lock
    // of its own state directory itself.
    bool card_lock_beside_card;
    bool always_drawn; // video memory drawn even without a picture asked for
    // What is wrong with the operands (empty: nothing), before any set-up; may be null.
    std::string (*operands_error)(char **operands);
    // Where a sync lock is recorded: --state-dir's, or the card's.
    void (*record_lock_in)(const std::string &dir);
    // Before the video model is made, after the settings; 0 or an exit status. May be null.
    int (*prepare)(char **operands);
    // The run itself: its exit status.
    int (*run)(sim::Controller &sim, const Options &options);
};

// The whole program: its exit status.
int run_program(const Program &program, int argc, char **argv);

} // namespace kova::simrun
