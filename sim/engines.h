// What the simulated controller's engines are doing, read off its register
// state with no trace and no raster tick: the shared decoder over a reader of
// the controller's registers.  kovasim prints it as its summary; it is also
// where a model of the engines' effect on video memory and the screen will grow.
#pragma once

#include "controller.h"
#include "controller_state.h"

#include <cstdint>
#include <string>

namespace kova::sim {

using state::CaptureState;
using state::DisplayState;
using state::OverlayState;

// Reads the register state directly (Controller::get): nothing is traced.
class ControllerReader final : public state::RegisterReader {
  public:
    explicit ControllerReader(const Controller &sim) : sim_(sim) {}
    using state::RegisterReader::gr;
    using state::RegisterReader::sr;
    std::uint8_t gr(std::uint8_t index, int page) override {
        return sim_.get(registers::Reg::gr(index, page));
    }
    std::uint8_t sr(std::uint8_t index, int page) override {
        return sim_.get(registers::Reg::sr(index, page));
    }
    std::uint8_t cr(std::uint8_t index) override { return sim_.get(registers::Reg::cr(index)); }
    std::uint8_t port(std::uint16_t port) override { return sim_.get(registers::Reg::port(port)); }
    std::uint16_t tv(std::uint16_t index) override { return sim_.get_tv(index); }

  private:
    const Controller &sim_;
};

OverlayState overlay_state(const Controller &sim, int window);
// The window on top where both overlap (SR DE bit 0).
int overlay_on_top(const Controller &sim);
// The engine routed to the video port, or an engine named by number.
CaptureState capture_state(const Controller &sim);
CaptureState capture_state(const Controller &sim, int engine);
DisplayState display_state(const Controller &sim);
state::ControllerState controller_state(const Controller &sim);

} // namespace kova::sim
