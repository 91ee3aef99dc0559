#include "simulated_run.h"

#include "card.h"
#include "engines.h"
#include "kova_version.h"
#include "number.h"
#include "register_dump.h"
#include "signal_hold.h"
#include "standard_output.h"
#include "state_dir.h"
#include "video/model.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace kova::simrun {
namespace {

using registers::Failure;

constexpr int kUsageError = 2;
constexpr std::uint32_t kMaxFrames = 100000;

// A picture's file name: not empty, and not "-", since standard output is capview's.
bool take_picture(std::string &file, std::string_view value, std::string &error) {
    if (value.empty()) {
        error = "empty file name";
        return false;
    }
    if (value == "-") {
        error = "standard output is capview's; name a file (a FIFO to pipe the picture)";
        return false;
    }
    file = value;
    return true;
}

bool take_file(Output &output, std::string_view value, std::string &error) {
    if (value.empty()) {
        error = "empty file name";
        return false;
    }
    output.name = value;
    return true;
}

// The rows every program has, before its own.
constexpr OptionRow kSharedRows[] = {
    {.name = "--trace",
     .argument = "FILE",
     .help = "write the trace of every platform event to FILE (- for standard error)",
     .take = [](Options &o, std::string_view v, std::string &e) { return take_file(o.trace, v, e); }},
    {.name = "--set",
     .argument = "REG=HEX",
     .help = "set a register before the run (repeatable): GRxx, SRxx, CRxx, GRxx@pp, SRxx@pp (paged, in page "
             "pp),\nTVxxxx, Pxxxx",
     .take =
         [](Options &o, std::string_view v, std::string &e) {
             registers::Setting setting;
             if (!registers::parse_setting(v, setting, e)) return false;
             o.settings.push_back(setting);
             return true;
         }},
    {.name = "--fail",
     .argument = "WHAT",
     .help = "make a platform call fail (repeatable): ",
     .take =
         [](Options &o, std::string_view v, std::string &e) {
             Failure failure;
             if (!registers::parse_failure(v, failure)) {
                 e = std::string(v) + ": unknown (" + registers::failure_names(", ", " or ") + ")";
                 return false;
             }
             o.failures.push_back(failure);
             return true;
         },
     .choices = registers::failure_names},
    {.name = "--dump",
     .argument = "FILE",
     .help = "write the registers after the run to FILE, one REG=HEX line each (- for standard error)",
     .take = [](Options &o, std::string_view v, std::string &e) { return take_file(o.dump, v, e); }},
    {.name = "--state-dir",
     .argument = "DIR",
     .help = "record a sync lock in DIR/lock.state, as capview on the hardware does",
     .take =
         [](Options &o, std::string_view v, std::string &e) {
             if (v.empty()) {
                 e = "empty directory name";
                 return false;
             }
             o.state_dir = v;
             return true;
         }},
    {.name = "--source",
     .argument = "pal|ntsc|none|FILE.y4m",
     .help = "the picture on the video port (default pal)",
     .take =
         [](Options &o, std::string_view v, std::string &) {
             o.source = v;
             return true;
         }},
    {.name = "--frames",
     .argument = "N",
     .help = "frames of the screen that pass after capview's run (default 2)",
     .take =
         [](Options &o, std::string_view v, std::string &e) {
             o.frames_given = true;
             if (!tool::parse_number_in(v, 0, kMaxFrames, o.frames)) {
                 e = std::string(v) + ": " + tool::number_range(0, kMaxFrames);
                 return false;
             }
             return true;
         }},
    {.name = "--png",
     .argument = "FILE",
     .help = "write the screen after the run as a PNG picture",
     .take = [](Options &o, std::string_view v, std::string &e) { return take_picture(o.png_file, v, e); }},
    {.name = "--y4m",
     .argument = "FILE",
     .help = "write the screen of every frame after the run as a y4m stream: 1.5 bytes a pixel\n"
             "a frame (460,806 bytes at 640x480, 1,179,654 at 1024x768); refused when the file\n"
             "system has not the room for all the frames",
     .take = [](Options &o, std::string_view v, std::string &e) { return take_picture(o.y4m_file, v, e); }},
};

bool take_help(Options &options, std::string_view, std::string &) {
    options.help = true;
    return true;
}

// The program's whole table: the shared rows, its own, --help.
std::vector<OptionRow> rows_of(const Program &program) {
    std::vector<OptionRow> rows(std::begin(kSharedRows), std::end(kSharedRows));
    rows.insert(rows.end(), program.rows.begin(), program.rows.end());
    rows.push_back({.name = "--help", .argument = nullptr, .help = program.help_help, .take = take_help});
    return rows;
}

const OptionRow *find_row(const std::vector<OptionRow> &rows, std::string_view name) {
    for (const OptionRow &row : rows)
        if (name == row.name) return &row;
    return nullptr;
}

std::string synopsis(const Program &program) {
    std::string text = std::string("usage: ") + program.name;
    for (const OptionRow &row : rows_of(program))
        text += row.argument ? std::string(" [") + row.name + " " + row.argument + "]" : "";
    return text + " " + program.operands + "\n";
}

void print_help(const Program &program) {
    std::string text = synopsis(program) + program.about;
    for (const OptionRow &row : rows_of(program)) {
        std::string left =
            std::string("  ") + row.name + (row.argument ? std::string(" ") + row.argument : "");
        left.resize(std::max<std::size_t>(left.size() + 1, 22), ' ');
        text += left;
        const std::string help = row.help + (row.choices ? row.choices(", ", ", ") : std::string());
        for (const char c : help)
            text += c == '\n' ? "\n" + std::string(22, ' ') : std::string(1, c);
        text += "\n";
    }
    std::fputs(text.c_str(), stdout);
}

// --list-options (for the shell's completion): one option a line, with its
// value's choices or name, then --version.
void print_option_list(const Program &program) {
    std::string text;
    for (const OptionRow &row : rows_of(program)) {
        text += row.name;
        if (row.choices)
            text += " " + row.choices("|", "|");
        else if (row.argument)
            text += std::string(" ") + row.argument;
        text += "\n";
    }
    std::fputs((text + "--version\n").c_str(), stdout);
}

// The status after the program's own text on standard output (its help and
// version; otherwise standard output is what it runs): a text that could not
// be written is an output file that could not be.
int own_output_status(const Program &program) {
    return tool::close_standard_output(program.name) ? 0 : kUsageError;
}

int usage_error(const Program &program, const std::string &message) {
    std::fprintf(stderr, "%s: %s\n%sRun '%s --help' for %s's options.\n", program.name, message.c_str(),
                 synopsis(program).c_str(), program.name, program.name);
    return kUsageError;
}

void fail(const Program &program, const std::string &message) {
    std::fprintf(stderr, "%s: %s\n", program.name, message.c_str());
}

// Text of the program's own on standard output, then the end of the program.
[[noreturn]] void print_and_exit(const Program &program, std::string_view arg) {
    if (arg == "--version")
        std::printf("%s %s\n", program.name, KOVA_VERSION_STRING);
    else
        print_option_list(program);
    std::exit(own_output_status(program));
}

// Takes the value of the option ROW at argv[i] (NAME or NAME=VALUE); 0 or
// the exit status of a usage error.
int take_option(const Program &program, const OptionRow &row, int argc, char **argv, int &i,
                Options &options) {
    const std::string_view arg = argv[i];
    const auto equals = arg.find('=');
    const bool attached = arg.starts_with("--") && equals != std::string_view::npos;
    const std::string name(attached ? arg.substr(0, equals) : arg);
    std::string_view value;
    if (row.argument == nullptr && attached) return usage_error(program, name + " takes no value");
    if (row.argument != nullptr) {
        if (attached)
            value = arg.substr(equals + 1);
        else if (i + 1 < argc)
            value = argv[++i];
        else
            return usage_error(program, name + " needs " + row.argument);
    }
    std::string error;
    if (!row.take(options, value, error)) return usage_error(program, name + ": " + error);
    return 0;
}

const OptionRow *row_at(const std::vector<OptionRow> &rows, std::string_view arg) {
    const auto equals = arg.find('=');
    const bool attached = arg.starts_with("--") && equals != std::string_view::npos;
    return find_row(rows, attached ? arg.substr(0, equals) : arg);
}

// Splits the command line into the program's options and the operands.
// Returns 0 or the exit status of a usage error.
int parse(const Program &program, int argc, char **argv, Options &options) {
    if (program.first_operand != nullptr) {
        static std::string first; // argv[0] of what runs, writable as argv is
        first = program.first_operand;
        options.operands.push_back(first.data());
    }
    const std::vector<OptionRow> rows = rows_of(program);
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            options.separator = true;
            ++i;
            break;
        }
        if (arg == "--version" || arg == "--list-options") print_and_exit(program, arg);
        const OptionRow *row = row_at(rows, arg);
        if (row == nullptr) {
            if (program.operand_takes_value == nullptr) break; // the operands start here
            options.operands.push_back(argv[i]);
            if (program.operand_takes_value(argv[i]) && i + 1 < argc) options.operands.push_back(argv[++i]);
            continue;
        }
        if (const int status = take_option(program, *row, argc, argv, i, options); status != 0) return status;
        if (options.help) return 0;
    }
    for (; i < argc; ++i)
        options.operands.push_back(argv[i]);
    options.operands.push_back(nullptr);
    return 0;
}

// Opens an output file for writing; "-" is standard error.
bool open_output(const Program &program, Output &output) {
    std::string error;
    if (output.name.empty() || output.name == "-" || output.file.open(output.name, error)) return true;
    fail(program, error);
    return false;
}

// Writes the text and puts the file in place.
bool write_output(const Program &program, Output &output, const std::string &text) {
    if (output.name == "-") return std::fputs(text.c_str(), stderr) >= 0 && std::fflush(stderr) == 0;
    if (output.file.get() == nullptr) return true;
    std::string error;
    if (std::fputs(text.c_str(), output.file.get()) >= 0 && output.file.commit(error)) return true;
    if (error.empty()) error = "cannot write " + output.name + ": " + std::strerror(errno);
    output.file.discard();
    fail(program, error);
    return false;
}

// Whether `free` bytes hold a y4m stream of all the frames; an error when
// they do not (nothing is written then).
bool room_for_frames(const std::string &path, std::uint64_t free, const sim::DisplayState &display,
                     std::uint32_t frames, std::string &error) {
    const std::uint64_t frame = picture::Y4mWriter::frame_bytes(display.width, display.height);
    const std::uint64_t need = frame * frames;
    if (need <= free) return true;
    error = path + ": " + std::to_string(frames) + " frames of " + std::to_string(frame) + " bytes need " +
            std::to_string(need) + " bytes, and its file system has " + std::to_string(free) +
            " free; not written";
    return false;
}

std::uint64_t free_bytes(const struct statvfs &fs) {
    return std::uint64_t{fs.f_bavail} * fs.f_frsize;
}

// The room check before the run, at the screen's size as the settings leave
// it: the file system of the regular file the stream replaces, or of the
// directory a new one goes to.  (A device or a FIFO takes the stream as it
// comes.)
bool room_before_the_run(const Program &program, const Options &options, const sim::Controller &sim) {
    if (options.y4m_file.empty()) return true;
    struct stat st {};
    std::string where = options.y4m_file;
    if (stat(where.c_str(), &st) != 0) {
        const auto slash = where.find_last_of('/');
        where = slash == std::string::npos ? "." : slash == 0 ? "/" : where.substr(0, slash);
    } else if (!S_ISREG(st.st_mode)) {
        return true;
    }
    struct statvfs fs {};
    std::string error;
    if (statvfs(where.c_str(), &fs) != 0 ||
        room_for_frames(options.y4m_file, free_bytes(fs), sim::display_state(sim), options.frames, error))
        return true; // a name that cannot be written is told when the stream is opened
    fail(program, error);
    return false;
}

// Attaches the controller to the card of --card or $KOVA_CARD; a sync lock
// is recorded in the card's state directory unless --state-dir names one.
bool attach_card(const Program &program, sim::Controller &sim, const Options &options) {
    sim::Card::Use use;
    use.program = program.name;
    use.state_dir = program.card_lock_beside_card ? sim::card_state_dir(options.card) : options.state_dir;
    std::string error;
    auto card = sim::Card::open(options.card, use, error);
    if (!card) {
        fail(program, "--card " + error);
        return false;
    }
    if (!program.card_lock_beside_card) program.record_lock_in(card->state_dir());
    sim.attach(std::move(card));
    return true;
}

// The y4m stream of the frames after the run, opened at the screen's size as
// the registers leave it and checked for room.
bool open_stream(picture::Y4mWriter &y4m, const sim::Controller &sim, const sim::video::Model &model,
                 const Options &options, std::string &error) {
    using namespace sim::video;
    const StandardInfo &info = standard_info(model.source().standard());
    const sim::DisplayState display = sim::display_state(sim);
    struct statvfs fs {};
    return y4m.open(options.y4m_file, display.width, display.height, info.field_rate_num, info.field_rate_den,
                    error) &&
           (!y4m.file().replaces() || fstatvfs(fileno(y4m.file().get()), &fs) != 0 ||
            room_for_frames(options.y4m_file, free_bytes(fs), display, options.frames, error));
}

// The frames after the run: each one field period of the source; the y4m
// stream gets the screen of every frame.
bool run_frames(const Program &program, sim::Controller &sim, const sim::video::Model &model,
                const Options &options) {
    picture::Y4mWriter y4m;
    std::string error;
    picture::Image screen;
    bool ok = options.y4m_file.empty() || open_stream(y4m, sim, model, options, error);
    for (std::uint32_t i = 0; i < options.frames && ok; ++i) { // a stream that cannot be written ends the run
        sim.next_field();
        if (options.y4m_file.empty()) continue;
        model.screen(screen);
        ok = y4m.write(screen);
    }
    ok = ok && y4m.close(error); // else the old file stays: a stream with a frame missing is not put in place
    if (ok && !options.png_file.empty() && !picture::png_supported()) {
        // A program built with nothing but a compiler still runs; the picture
        // alone is missing, and the user is told why.
        std::fprintf(stderr, "%s: warning: %s not written: this %s was built without libpng\n", program.name,
                     options.png_file.c_str(), program.name);
    } else if (ok && !options.png_file.empty()) {
        model.screen(screen);
        ok = picture::write_png(options.png_file, screen, error);
    }
    if (!ok) fail(program, error.empty() ? "cannot write the y4m stream" : error);
    return ok;
}

// What the engines were left doing, decoded from the registers alone.
std::string summary(const Program &program, const sim::Controller &sim, const sim::video::Model &model) {
    const state::ControllerState state = sim::controller_state(sim);
    std::string engines;
    for (int window = 0; window < 2; ++window)
        engines += state::describe(state.overlay[window], window);
    for (int engine = 0; engine < 2; ++engine)
        engines += state::describe(state.capture[engine]);
    engines += state::describe_buffers(state.capture[state.capture[1].routed ? 1 : 0]);
    engines += state::describe(state.lock);

    std::string text =
        std::string(program.name) + ": " + std::to_string(sim.access_count()) + " register accesses\n";
    for (std::size_t start = 0; start < engines.size();) {
        const std::size_t end = engines.find('\n', start);
        text += "  " + engines.substr(start, end - start + 1);
        start = end + 1;
    }
    text += "  video: " + model.source().name() + ", " + std::to_string(model.fields()) + " fields, " +
            std::to_string(model.fields_captured()) + " captured, " + std::to_string(model.guard_stops()) +
            " guard stops";
    if (const std::uint64_t damaged = model.source().damaged_frames(); damaged != 0)
        text += ", " + std::to_string(damaged) + " damaged source frames";
    return text + "\n";
}

// --state-dir: not the hardware's, and writable; 0 or a usage error's status.
int check_state_dir(const Program &program, const Options &options) {
    if (options.state_dir.empty()) return 0;
    std::string reason;
    if (tool::is_default_state_dir(options.state_dir))
        return usage_error(program,
                           "--state-dir " + options.state_dir +
                               ": the hardware's state directory; a simulated lock is recorded elsewhere");
    if (!tool::writable_state_dir(options.state_dir, reason)) {
        fail(program, "--state-dir " + reason);
        return kUsageError;
    }
    program.record_lock_in(options.state_dir);
    return 0;
}

// The controller as the options leave it before the run: on its card, with
// the settings and the failures.  0 or an exit status.
int set_up(const Program &program, sim::Controller &sim, Options &options) {
    if (!options.card.empty() && !attach_card(program, sim, options)) return kUsageError;
    sim.begin();
    for (const auto &setting : options.settings)
        sim::apply(sim, setting);
    for (const Failure failure : options.failures)
        sim.fail(failure);
    if (!room_before_the_run(program, options, sim)) return kUsageError;
    return program.prepare ? program.prepare(options.operands.data()) : 0;
}

// After the run: the frames, the trace, the dump and the summary; the run's
// status, or a usage error's when an output file could not be written.
int finish(const Program &program, sim::Controller &sim, Options &options, const sim::video::Model &model,
           int status) {
    bool written = run_frames(program, sim, model, options);
    {
        const tool::SignalHold hold; // each file is left old or complete new
        // The trace and the dump are formatted only for a file that asks for them.
        written &= write_output(program, options.trace,
                                options.trace.name.empty() ? std::string() : sim.trace_text());
        written &=
            write_output(program, options.dump, options.dump.name.empty() ? std::string() : sim::dump(sim));
    }
    if (const std::uint64_t damaged = model.source().damaged_frames(); damaged != 0)
        std::fprintf(stderr,
                     "%s: warning: --source %s: %llu frames end early or lack their header; each was "
                     "read as the end of the stream\n",
                     program.name, options.source.c_str(), static_cast<unsigned long long>(damaged));
    std::fputs(summary(program, sim, model).c_str(), stderr);
    if (!written && status == 0) return kUsageError;
    return status;
}

} // namespace

int run_program(const Program &program, int argc, char **argv) {
    Options options;
    if (const int status = parse(program, argc, argv, options); status != 0) return status;
    if (options.help) {
        print_help(program);
        return own_output_status(program);
    }
    if (program.operands_error)
        if (const std::string error = program.operands_error(options.operands.data()); !error.empty())
            return usage_error(program, error);
    picture::remove_unfinished_outputs_on_signal();
    sim::ignore_environment_card(); // the card is attached below, with the program's messages
    if (options.card.empty() && program.card_from_environment) options.card = sim::environment_card();
    if (const int status = check_state_dir(program, options); status != 0) return status;
    std::string error;
    auto source = sim::video::open_source(options.source, error);
    if (!source) return usage_error(program, "--source " + error);
    if (!open_output(program, options.trace) || !open_output(program, options.dump)) return kUsageError;

    auto &sim = sim::controller();
    if (const int status = set_up(program, sim, options); status != 0) return status;
    // The desktop is painted at the depth the settings leave, and with the
    // captured fields only for a picture that will show them; without one
    // the model keeps its counts and video memory stays untouched.
    using Pixels = sim::video::Model::Pixels;
    const bool picture = program.always_drawn || !options.png_file.empty() || !options.y4m_file.empty();
    sim::video::Model model(sim, std::move(source), picture ? Pixels::Drawn : Pixels::CountsOnly);
    const int status = program.run(sim, options);
    std::fflush(stdout);
    return finish(program, sim, options, model, status);
}

} // namespace kova::simrun
