// sim_check: one's own use of the library, tested against the simulated
// controller: the register writes land in the controller and in its trace.
#include <sim/controller.h>

#include "misc.h"
#include "physmap.h"
#include "utility.h"

#include <cstdio>

int main() {
    auto &sim = kova::sim::controller();
    sim.reset(); // power-on state
    if (MapKOVAMemory() != 0) return 1;
    sim.clear_trace();

    Out_Video_Reg(0xE8, 0x04); // GR E8 = 04
    const unsigned mib = GetVMemSize();

    // Index and data port of GR E8, then GR 72 read back for the memory size.
    const char *const expected = "w8 003CE E8\n"
                                 "w8 003CF 04\n"
                                 "w8 003CE 72\n"
                                 "r8 003CF 02\n";
    const bool ok =
        sim.trace_text() == expected && sim.get(kova::registers::Reg::gr(0xE8)) == 0x04 && mib == 4;
    if (!ok) std::fputs(sim.trace_text().c_str(), stdout);
    std::puts(ok ? "sim_check: ok" : "sim_check: FAILED");
    return ok ? 0 : 1;
}
