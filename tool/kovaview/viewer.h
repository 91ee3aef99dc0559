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
    std::string mode;    // "1024x768 16 bpp"
    const char *lock;    // the sync lock's kind: off, synclock, genlock, video clock
    std::string held_by; // the program that held the registers at the last field ("" none)
};

class Viewer {
  public:
    // How the register-owner lock of `lock_dir` is taken ("" dir: the
    // controller is this process's own, no lock taken).
    enum class Wait : std::uint8_t {
        AsTheOthers, // wait for the holder, as every program does; give up after the common bound
        NotAtAll,    // a field whose registers are held is skipped (a card's clock never blocks)
    };
    Viewer(kova::sim::Controller &sim, std::unique_ptr<kova::sim::video::Source> source, std::string lock_dir,
           Wait wait);

    enum class Field : std::uint8_t { Brought, Skipped, Failed };
    // One field period: the field brought, and the screen composed into
    // `screen` when it is wanted; the status read.  Skipped when another
    // program holds the registers and the viewer does not wait; Failed with
    // `error` set when the registers could not be taken.
    Field field(kova::picture::Image *screen, std::string &error);

    // As the registers were at the last field.
    const Status &status() const { return status_; }
    const kova::sim::video::Model &model() const { return model_; }
    std::uint64_t fields() const { return fields_; }             // brought by this viewer
    std::uint64_t periods() const { return fields_ + skipped_; } // field periods gone: brought or skipped
    std::uint64_t skipped() const { return skipped_; }
    // The source's field number: the card's clock when there is a card.
    std::uint64_t field_number() const { return sim_.video_fields(); }

  private:
    bool take(std::string &error);

    kova::sim::Controller &sim_;
    kova::sim::video::Model model_;
    std::string lock_dir_;
    Wait wait_;
    kova::tool::RegisterOwner owner_;
    std::uint64_t fields_ = 0, skipped_ = 0;
    Status status_{"", "", ""};
};

// The program that holds the register-owner lock of `dir` now ("" when
// nobody does).
std::string register_holder(const std::string &dir);

} // namespace kova::view
