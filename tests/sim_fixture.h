// Common ground of the simulated-controller suites: a fresh controller for
// every test, the library's base pointers cleared, and its trace in both
// spellings of expected_trace.h.
#pragma once

#include "controller.h"
#include "expected_trace.h"
#include "physmap.h"
#include "portmem.h"

#include <gtest/gtest.h>

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
