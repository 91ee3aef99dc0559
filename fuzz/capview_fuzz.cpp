// Fuzz target: capview's option handling and the sequences it runs, in
// process on the simulated controller.
//
// Input: arguments separated by NUL bytes.  Leading arguments of the forms
// "--set=NAME=HEX" (a register setting as kovasim takes it) and "--fail=WHAT"
// (iopl, open, mmap-fb, mmap-mmio) prepare the controller; the rest is
// capview's command line.
//
// Beyond crashes and sanitizer reports, the target stops on:
//   - an exit status other than 0, 1 or 2;
//   - a register access after the usage text (status 1 leaves the chip alone),
//     or before capview_before_registers (where the program on the hardware
//     takes the register-owner lock);
//   - an input whose second run differs from its first in status or trace, or
//     after which capview without options runs differently from the way it
//     did at start-up (state that leaks from one run to the next, so that a
//     finding would not reproduce on its own).
#include "capview.h"
#include "controller.h"
#include "harness.h"
#include "register_dump.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using kova::registers::Failure;

// Register accesses made before capview_before_registers was called, or -1
// when it was not called.
long long accesses_before_hook = -1;

int before_registers() {
    accesses_before_hook = static_cast<long long>(kova::sim::controller().access_count());
    return 0;
}

struct Outcome {
    int status;
    std::uint64_t accesses;
    std::vector<kova::sim::Event> events;
};

// Applies the leading controller arguments; returns how many there were.
std::size_t prepare_controller(const std::vector<std::string> &args) {
    auto &sim = kova::sim::controller();
    std::size_t used = 0;
    for (; used < args.size(); ++used) {
        const std::string_view arg = args[used];
        kova::registers::Setting setting;
        std::string error;
        Failure failure;
        if (arg.starts_with("--set=") && kova::registers::parse_setting(arg.substr(6), setting, error))
            kova::sim::apply(sim, setting);
        else if (arg.starts_with("--fail=") && kova::registers::parse_failure(arg.substr(7), failure))
            sim.fail(failure);
        else
            break;
    }
    return used;
}

Outcome run(const std::vector<std::string> &args) {
    kova::fuzz::reset_process_state();
    const std::size_t used = prepare_controller(args);
    accesses_before_hook = -1;
    capview_before_registers = before_registers;
    kova::fuzz::Argv argv("capview",
                          std::vector<std::string>(args.begin() + static_cast<long>(used), args.end()));
    const int status = capview_main(argv.argc(), argv.argv());
    std::fflush(stdout);
    const auto &sim = kova::sim::controller();
    return {status, sim.access_count(), sim.events()};
}

[[noreturn]] void finding(const char *what) {
    std::fprintf(stderr, "capview fuzz target: %s\n", what);
    std::abort();
}

bool same(const kova::sim::Event &a, const kova::sim::Event &b) {
    return a.kind == b.kind && a.failed == b.failed && a.address == b.address && a.value == b.value;
}

bool same(const Outcome &a, const Outcome &b) {
    return a.status == b.status && a.events.size() == b.events.size() &&
           std::equal(a.events.begin(), a.events.end(), b.events.begin(),
                      [](const auto &x, const auto &y) { return same(x, y); });
}

// capview without options, as it ran at start-up.
const Outcome &reference() {
    static const Outcome outcome = run({});
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    kova::fuzz::scratch_dir();
    kova::fuzz::silence_stdout();
    kova::fuzz::reset_process_state(); // the first call records the globals at start-up
    reference();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::vector<std::string> args = kova::fuzz::split_arguments(data, size);
    const Outcome first = run(args);
    if (first.status < 0 || first.status > 2) finding("exit status outside 0, 1, 2");
    if (first.status == 1 && first.accesses != 0) finding("register accesses after the usage text");
    if (first.accesses != 0 && accesses_before_hook != 0)
        finding("register accesses before capview_before_registers or without it");

    if (!same(run(args), first)) finding("a second run of the same command line runs differently");
    if (!same(run({}), reference())) finding("capview without options runs differently after this input");
    return 0;
}
