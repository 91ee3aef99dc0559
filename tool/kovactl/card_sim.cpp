// The card commands' work in the simulated program: a virtual card is held
// (its register-owner lock) while a command reads or writes it.
#include "card.h"
#include "controller.h"
#include "controller_state.h"
#include "engines.h"
#include "kovactl.h"
#include "lock_state.h"
#include "register_dump.h"
#include "session.h"

#include <memory>

namespace kova::ctl {

namespace {

constexpr int kExitCardBusy = 2; // as for registers in use on the hardware

std::string file_of(const Args &args) {
    return std::string(args.text[0]);
}

// A controller of this command's own on the card FILE, which must exist;
// null after a message, with `status` set.
std::unique_ptr<sim::Controller> open_card(const Options &options, const Args &args, int &status) {
    sim::Card::Use use;
    use.program = "kovactl";
    use.create = false;
    if (options.state_dir_given) use.state_dir = options.state_dir_option;
    std::string reason;
    bool busy = false;
    auto card = sim::Card::open(file_of(args), use, reason, &busy);
    if (!card) {
        status = error(busy ? kExitCardBusy : kExitFailure, "card: %s", reason.c_str());
        return nullptr;
    }
    auto sim = std::make_unique<sim::Controller>();
    sim->attach(std::move(card));
    return sim;
}

} // namespace

int card_create(const Options &, const Args &args) {
    std::string reason;
    if (sim::Card::create(file_of(args), reason)) return kExitOk;
    return error(kExitFailure, "card create: %s", reason.c_str());
}

// Power-on: the registers, the raster, the video clock and video memory as a
// cold start leaves them; a lock recorded in the card's state directory ends
// with it, as the hardware's record goes with a reboot.
int card_reset(const Options &options, const Args &args) {
    int status = kExitOk;
    const auto sim = open_card(options, args, status);
    if (!sim) return status;
    sim->power_on();
    std::string reason;
    if (!tool::remove_lock_state(sim->card()->state_dir(), reason))
        return error(kExitFailure, "card reset: the card is reset, but its lock-state record stays: %s",
                     reason.c_str());
    return kExitOk;
}

int card_dump(const Options &options, const Args &args) {
    int status = kExitOk;
    const auto sim = open_card(options, args, status);
    if (!sim) return status;
    std::fputs(sim::dump(*sim).c_str(), stdout);
    return kExitOk;
}

// The header's facts, the clocks, then what `status` prints.
int card_info(const Options &options, const Args &args) {
    int status = kExitOk;
    const auto sim = open_card(options, args, status);
    if (!sim) return status;
    const sim::Card &card = *sim->card();
    const sim::Card::Header &h = card.header();
    std::printf("card: %s, format version %u, %llu bytes (%u KiB video memory, %u KiB register window)\n",
                card.path().c_str(), h.version, static_cast<unsigned long long>(h.file_size),
                h.video_memory_size / 1024, h.window_size / 1024);
    std::printf("state directory: %s\n", card.state_dir().c_str());
    std::printf("raster: t = %llu; video: %llu fields delivered\n",
                static_cast<unsigned long long>(sim->raster_time()),
                static_cast<unsigned long long>(sim->video_fields()));
    sim::ControllerReader reader(*sim);
    std::fputs(state::describe(state::controller_state(reader)).c_str(), stdout);
    return kExitOk;
}

} // namespace kova::ctl
