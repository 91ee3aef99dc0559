// The hardware flavour: the I/O privilege and the mapping as capview makes
// them; --sim and --dry-run hand over to the simulated program beside this
// one.
#include "number.h"
#include "physmap.h"
#include "portmem.h"
#include "register_access.h"
#include "register_text.h"
#include "register_owner.h"
#include "session.h"
#include "signal_hold.h"
#include "snapshot.h"
#include "standard_output.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#ifndef KOVACTL_LIBEXEC_DIR
#define KOVACTL_LIBEXEC_DIR "/usr/local/libexec/kova"
#endif
#ifndef KOVACTL_LIBEXEC_FROM_BIN
#define KOVACTL_LIBEXEC_FROM_BIN "../libexec/kova"
#endif

namespace kova::ctl {

const bool kSimulatedFlavour = false;

namespace {

constexpr const char *kSimulatedProgram = "kovactl-sim";

// The simulated program: beside this one (a build tree), else in the libexec
// directory of the tree this program is installed in (so that a package
// unpacked anywhere works), else in the configured libexec directory.
std::string simulated_program() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string dir(self, static_cast<std::size_t>(n));
        dir.resize(dir.find_last_of('/') + 1);
        for (const std::string &candidate :
             {dir + kSimulatedProgram, dir + KOVACTL_LIBEXEC_FROM_BIN + "/" + kSimulatedProgram})
            if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::string(KOVACTL_LIBEXEC_DIR) + "/" + kSimulatedProgram;
}

// KOVACTL_SIM_WRAPPER names a program that runs the simulated twin, such as
// a user-mode emulator when this kovactl itself runs under one (the i386
// tests under qemu-i386): the twin is then started as WRAPPER TWIN ARGS.
int exec_simulated(std::vector<std::string> arguments) {
    std::string program = simulated_program();
    arguments.insert(arguments.begin(), program);
    if (const char *wrapper = std::getenv("KOVACTL_SIM_WRAPPER"); wrapper != nullptr && *wrapper != '\0') {
        program = wrapper;
        arguments.insert(arguments.begin(), program);
    }
    std::vector<char *> argv;
    argv.reserve(arguments.size() + 1);
    for (auto &a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    tool::flush_standard_output();
    execv(program.c_str(), argv.data());
    error(kExitFailure, "cannot run %s: %s", program.c_str(), std::strerror(errno));
    return kExitFailure;
}

// Exit status when the registers cannot be had, as capview's.
constexpr int kExitRegistersBusy = 2;

// How long to wait for another owner of the registers: KOVA_OWNER_WAIT_MS
// (milliseconds) when set to a number, else the programs' common bound.
std::chrono::milliseconds owner_wait() {
    const char *text = std::getenv("KOVA_OWNER_WAIT_MS");
    std::uint32_t ms = 0;
    if (text == nullptr || *text == '\0') return tool::kRegisterOwnerWait;
    if (tool::parse_number(text, ms)) return std::chrono::milliseconds(ms);
    error(kExitFailure, "warning: KOVA_OWNER_WAIT_MS=\"%s\" is not a number; waiting %lld ms", text,
          static_cast<long long>(tool::kRegisterOwnerWait.count()));
    return tool::kRegisterOwnerWait;
}

tool::RegisterOwner g_owner; // held from the first register access to the end of the program

} // namespace

int hand_over_to_simulation(int argc, char **argv) {
    return exec_simulated(std::vector<std::string>(argv + 1, argv + argc));
}

namespace {

// The whole command line, to the simulated program.
int hand_over(const Options &options) {
    return exec_simulated(
        std::vector<std::string>(options.command_line.begin() + 1, options.command_line.end()));
}

} // namespace

int dry_run_on_copy(const Options &options, int argc, char **argv, int command_start) {
    if (const int status = open_session(options)) return status;
    std::vector<std::string> settings;
    {
        const tool::SignalHold hold; // the pages are put back before a signal counts
        regs::Reader reader;
        state::read_snapshot(reader, [&](const registers::Setting &setting) {
            settings.push_back(registers::setting_line(setting.reg, setting.value));
        });
    }
    g_owner.release(); // the rest runs on the copy
    std::vector<std::string> arguments{"--sim"};
    for (std::string &line : settings) {
        arguments.push_back("--set");
        arguments.push_back(std::move(line));
    }
    for (int i = 1; i < argc; ++i) {
        if (i < command_start && std::string_view(argv[i]) == "--sim") continue;
        arguments.push_back(argv[i]);
    }
    return exec_simulated(arguments);
}

// The hardware program has no virtual card: --card needs --sim, which hands
// the run over before find_card.
void leave_card_to_options() {}
void find_card(Options &) {}

// The card commands work on files of the simulator: the simulated program runs them.
int card_create(const Options &options, const Args &) {
    return hand_over(options);
}
int card_reset(const Options &options, const Args &) {
    return hand_over(options);
}
int card_dump(const Options &options, const Args &) {
    return hand_over(options);
}
int card_info(const Options &options, const Args &) {
    return hand_over(options);
}

int open_session(const Options &options) {
    std::string reason;
    if (!g_owner.acquire(state_directory(options), "kovactl", owner_wait(), reason)) {
        error(kExitFailure, "%s", reason.c_str());
        return kExitRegistersBusy;
    }
    const tool::SignalHold hold; // the mapping's register accesses
    return map_controller();
}

int close_session(const Options &, int status) {
    return status;
}

} // namespace kova::ctl
