// Waits on the bits of the input status port 0x3DA (vertical retrace,
// display blanked), each poll bounded by the library's shared status limit.
// The sync waits of utility and every retrace wait of synclock go through
// these two.
#pragma once

#include "portmem.h"
#include "register_map.h"
#include "status_poll.h"
#include "vga_ports.h"

#include <cstdint>

namespace kova {

using InputStatusBit = reg::FieldOf<decltype(reg::kInputStatus)::Layout>;

// Reads the input status until `bit` reads 1 (want_set) or 0; false, after
// one warning line naming the wait, when it never gets there.
inline bool poll_input_status(const char *wait_name, InputStatusBit bit, bool want_set) {
    return poll_status(
        wait_name, [] { return kovainp(vga::kInputStatusPort); },
        [bit, want_set](std::uint8_t status) { return (bit.extract(status) != 0) == want_set; });
}

enum class Edge { Rising, Falling };

// The next edge of `bit`: a rising edge waits while the bit is 1, then while
// it is 0; a falling edge the other way round.  A poll that runs out ends the
// wait (false) without starting the second half.
inline bool wait_edge(const char *wait_name, InputStatusBit bit, Edge edge) {
    const bool rising = edge == Edge::Rising;
    return poll_input_status(wait_name, bit, !rising) && poll_input_status(wait_name, bit, rising);
}

} // namespace kova
