#include "record_card.h"

#include "card.h"
#include "controller.h"
#include "lock_state.h"
#include "register_dump.h"
#include "snapshot.h"

#include <memory>
#include <utility>

namespace kova::run {

bool record_card(state::RegisterReader &reader, const std::string &path, std::string &error) {
    // The card's own state directory, whatever $KOVA_STATE_DIR says: that
    // one may be the directory whose register-owner lock the caller holds
    // for the controller it reads.
    sim::Card::Use use;
    use.program = "kovatrace";
    use.state_dir = sim::card_state_dir(path);
    auto card = sim::Card::open(path, use, error);
    if (!card) return false;
    sim::Controller copy;
    copy.attach(std::move(card));
    copy.power_on();
    // A lock recorded for an earlier state of this card ends with that state.
    if (!tool::remove_lock_state(copy.card()->state_dir(), error)) return false;
    state::read_snapshot(reader, [&](const registers::Setting &setting) { sim::apply(copy, setting); });
    return true;
}

} // namespace kova::run
