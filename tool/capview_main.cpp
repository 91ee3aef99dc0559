// capview on the hardware.
#include "capview.h"
#include "lock_state.h"
#include "register_owner.h"
#include "state_dir.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Records the lock's save areas so that a later process can undo it; a
// failure is only a warning on standard error.
void record_sync_lock() {
    std::string error;
    if (!kova::tool::record_lock_state(kova::tool::state_dir(nullptr), error))
        std::fprintf(stderr, "capview: warning: sync lock not recorded: %s\n", error.c_str());
}

kova::tool::RegisterOwner owner; // held until the program ends

// Nobody else touches the registers while this program does.
int take_the_registers() {
    std::string error;
    if (const char *empty = kova::tool::empty_state_dir_name(nullptr)) {
        std::fprintf(stderr, "capview: %s: empty directory name\n", empty);
        return 2;
    }
    if (owner.acquire(kova::tool::state_dir(nullptr), "capview", kova::tool::kRegisterOwnerWait, error))
        return 0;
    std::fprintf(stderr, "capview: %s\n", error.c_str());
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    capview_after_sync_lock = record_sync_lock;
    capview_before_registers = take_the_registers;
    std::exit(capview_main(argc, argv));
}
