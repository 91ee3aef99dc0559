// capview on the hardware.
#include "capview.h"
#include "lock_state.h"
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

} // namespace

int main(int argc, char **argv) {
    capview_after_sync_lock = record_sync_lock;
    std::exit(capview_main(argc, argv));
}
