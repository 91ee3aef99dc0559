// The hardware flavour: the I/O privilege and the mapping as capview makes
// them; --sim and --dry-run hand over to the simulated program beside this
// one.
#include "number.h"
#include "physmap.h"
#include "portmem.h"
#include "register_access.h"
#include "register_map.h"
#include "register_text.h"
#include "register_owner.h"
#include "session.h"
#include "signal_hold.h"
#include "standard_output.h"
#include "synclock.h"

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

using registers::Reg;

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

// The pages in which the library uses paged registers.
constexpr int kPagesFA[] = {reg::page::kCommon,     reg::page::kEngine1,  reg::page::kBackBufferCopy,
                            reg::page::kSyncStatus, reg::page::kTvOutput, reg::page::kOutputSwitch};
constexpr int kPagesBF[] = {reg::page_b::kCommon, reg::page_b::kVideoPort, reg::page_b::kCrtDac,
                            reg::page_b::kCrtSense};

// Reads the controller's register state as settings, one "NAME=HEX" line per
// register read: every GR, SR and CR (paged ones in the library's pages), the
// TV-encoder registers of the map and of the sync-lock images, and the
// readable single ports of the map.  Pages changed for the reads are put
// back; nothing else is written.  The simulated program, fed these lines,
// holds the registers read as they are; the others stay at power-on.
std::vector<std::string> snapshot() {
    std::vector<std::string> lines;
    const auto keep = [&lines](Reg reg, std::uint32_t value) {
        lines.push_back(registers::setting_line(reg, value));
    };
    regs::Reader reader;
    const std::uint8_t page_fa = reader.gr(reg::kPageSelect.at(), Reg::kCurrentPage);
    const std::uint8_t page_bf = reader.gr(reg::kPageSelectB.at(), Reg::kCurrentPage);
    for (const auto kind : {Reg::Kind::GR, Reg::Kind::SR, Reg::Kind::CR}) {
        for (int i = 0; i < 256; ++i) {
            const auto index = static_cast<std::uint16_t>(i);
            const reg::Pager pager = registers::pager_of(kind, static_cast<std::uint8_t>(i));
            if (pager == reg::Pager::None) {
                keep(Reg{kind, index}, static_cast<std::uint8_t>(regs::read(Reg{kind, index})));
                continue;
            }
            const std::span<const int> pages =
                pager == reg::Pager::GrFA ? std::span<const int>(kPagesFA) : std::span<const int>(kPagesBF);
            for (const int page : pages)
                keep(Reg{kind, index, page}, static_cast<std::uint8_t>(regs::read(Reg{kind, index, page})));
        }
    }
    keep(Reg::gr(reg::kPageSelect.at()), page_fa);
    keep(Reg::gr(reg::kPageSelectB.at()), page_bf);
    const auto tv = [&](std::uint32_t index) {
        keep(Reg::tv(static_cast<std::uint16_t>(index)), reader.tv(static_cast<std::uint16_t>(index)));
    };
    for (std::uint32_t i = 0; i < std::size(wTVReg16); ++i)
        tv(reg::kTvImage16First.index + 4 * i);
    for (std::uint32_t i = 0; i < std::size(dwTVReg32); ++i) {
        tv(reg::kTvImage32First.index + 4 * i);
        tv(reg::kTvImage32First.index + 4 * i + 2);
    }
    for (const reg::Register &r : reg::kRegisters) {
        if (r.file == reg::File::TV) tv(r.index);
        if (r.file == reg::File::Port &&
            (r.index == reg::kMiscOutputRead.index || r.index == reg::kDacMask.index))
            keep(Reg::port(r.index), reader.port(r.index));
    }
    return lines;
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
        settings = snapshot();
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
