// Common ground of the simulated-controller suites: a fresh controller for
// every test, the library's base pointers cleared, and its trace in both
// spellings of expected_trace.h.
#pragma once

#include "controller.h"
#include "expected_trace.h"
#include "physmap.h"
#include "portmem.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <vector>

// Pages of the simulated video memory that exist (were touched since the last reset).
inline std::size_t video_pages_in_use(const kova::sim::Controller &sim) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> in_core(kova::sim::Controller::kVideoMemorySize / page);
    // mincore wants the start of a page: the mapping is one.
    if (mincore(const_cast<std::uint8_t *>(sim.video_memory()), kova::sim::Controller::kVideoMemorySize,
                in_core.data()) != 0)
        return SIZE_MAX;
    std::size_t n = 0;
    for (unsigned char c : in_core)
        n += c & 1;
    return n;
}

class SimTest : public ::testing::Test {
  protected:
    kova::sim::Controller &sim = kova::sim::controller();

    void SetUp() override {
        sim.reset();
        dwMEM_IO_BASE = nullptr;
        dwLINEAR_BASE = nullptr;
        pFB = nullptr;
        pMMIO = nullptr;
    }

    // Maps the controller as the program does, then empties the trace so that
    // a test sees only its own accesses.
    void map() {
        ASSERT_EQ(MapKOVAMemory(), 0);
        sim.clear_trace();
    }

    // The accesses so far in the bus form and in the register form.
    Lines trace() const { return sim.trace(); }
    Lines ops() const { return decode(sim.trace()); }
};
