// One field after another on the simulated controller: each field of the
// source brought through the capture engines into video memory and the
// screen composed, with the register-owner lock held around the field only,
// so that other programs sharing the controller run between fields.
#pragma once

#include "controller.h"
#include "register_owner.h"
#include "video/model.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kova::view {

// What the title shows and the summary reports.
struct Status {
    std::string mode; // "1024x768 16 bpp"
    const char *lock; // the sync lock's kind: off, synclock, genlock, video clock
};

class Viewer {
  public:
    // `lock_dir` empty: the controller is this process's own, no lock taken.
    Viewer(kova::sim::Controller &sim, std::unique_ptr<kova::sim::video::Source> source,
           std::string lock_dir);

    // One field: brought, and the screen composed into `screen` when it is
    // wanted; the status read.  False with `error` set when the registers could not be taken.
    bool field(kova::sim::video::Image *screen, std::string &error);

    // As the registers were at the last field.
    const Status &status() const { return status_; }
    const kova::sim::video::Model &model() const { return model_; }
    std::uint64_t fields() const { return fields_; } // brought by this viewer

  private:
    kova::sim::Controller &sim_;
    kova::sim::video::Model model_;
    std::string lock_dir_;
    kova::tool::RegisterOwner owner_;
    std::uint64_t fields_ = 0;
    Status status_{"", ""};
};

} // namespace kova::view
