// The simulated controller: register files with their paging, single ports,
// the TV/audio region, a raster, video memory, the platform events with
// failure injection, and the trace of every access.
//
// The library's simulated flavour sends every platform call here (see
// sim/platform_sim.cpp).  Tests and kovasim reach the one process-wide
// controller through kova::sim::controller().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "card.h"
#include "decode.h"
#include "failure_names.h"
#include "register_id.h"
#include "register_map.h"

namespace kova::sim {

// Register files behind the index/data pairs 0x3CE/0x3CF, 0x3C4/0x3C5,
// 0x3D4/0x3D5 (GR, SR and CR of the register map's files); their paging and
// the names of registers are the register module's (register_id.h).
using RegFile = reg::File;

// Memory that reads as zeros and costs nothing until it is touched: an
// anonymous mapping whose pages come into being on first use.  Clearing hands
// the pages back; a copy copies only the pages that hold something.
class ZeroPages {
  public:
    explicit ZeroPages(std::size_t size);
    ~ZeroPages();
    ZeroPages(const ZeroPages &other);
    ZeroPages &operator=(const ZeroPages &other);

    std::uint8_t *data() { return data_; }
    const std::uint8_t *data() const { return data_; }
    std::size_t size() const { return size_; }
    std::uint8_t &operator[](std::size_t at) { return data_[at]; }
    const std::uint8_t &operator[](std::size_t at) const { return data_[at]; }
    // Zeros again, the pages handed back.
    void clear();
    // A copy of `size` bytes (at most this size), only the pages that hold
    // something taking memory.
    void assign(const std::uint8_t *bytes, std::size_t size);

  private:
    void copy_from(const std::uint8_t *bytes, std::size_t size);

    std::uint8_t *data_;
    std::size_t size_;
};

// One traced platform event.
struct Event {
    enum class Kind : std::uint8_t { Iopl, Open, Mmap, Close, Out8, In8, W8, R8, W16, R16, W32, R32 };
    Kind kind;
    bool failed;
    std::uint32_t address; // iopl level, mmap physical address, port or window offset
    std::uint32_t value;   // mmap length, or the value written or read
};

// The trace line of an event, e.g. "w16 003CE 03FA" or "mmap E0000000 400000 FAIL".
std::string format(const Event &event);

class Controller {
  public:
    // The aperture and register window as the library maps them.
    static constexpr std::uint32_t kVideoMemorySize = decode::kVideoMemoryLength;
    static constexpr std::uint32_t kWindowSize = decode::kRegisterWindowLength;
    static constexpr std::uint32_t kTvBase = decode::kTvBase;
    static constexpr std::uint32_t kTvSize = decode::kTvSpan;
    static constexpr std::uint32_t kFrameBufferOffset = decode::kFrameBufferOffset;
    static constexpr std::uint32_t kRegisterWindowOffset = decode::kRegisterWindowOffset;

    // The registers that are not 0 at power-on, with their values.
    static const std::vector<std::pair<registers::Reg, std::uint8_t>> kPowerOnState;

    Controller();
    ~Controller();
    // A copy holds the other's state in storage of its own (never a card).
    Controller(const Controller &other);
    // The other's state, into this controller's storage (its card, if any).
    Controller &operator=(const Controller &other);

    // Back to the power-on state: default registers, raster at 0, empty
    // trace, no failures, no read scripts, video memory cleared (its pages
    // handed back: untouched video memory costs nothing).  On a card, the
    // card is put back to power-on.
    void reset();
    // What a program starts on: the power-on state without a card; the card
    // as it is with one.  This process's own state (trace, access count,
    // failures, read scripts) starts afresh either way.
    void begin();
    // The power-on state of the controller's memory alone.
    void power_on();
    static void power_on(Storage &storage);

    // ---- The card (sim/card.h) ----
    // From now on the controller's memory is the card's; the controller's own
    // state is left behind.
    void attach(std::unique_ptr<Card> card);
    // Back to storage of its own, holding what the card held; the card is let go.
    void detach();
    bool on_card() const { return card_ != nullptr; }
    const Card *card() const { return card_.get(); }
    // A process whose card could not be had: every platform call fails from
    // now on (errno ENODEV), reset or not, so that nothing runs unnoticed on
    // a controller of its own.
    void refuse_platform() { refused_ = true; }

    // ---- Register state (no trace, no raster tick, no read scripts) ----
    std::uint8_t get(registers::Reg reg) const;
    void set(registers::Reg reg, std::uint8_t value);
    std::uint16_t get_tv(std::uint16_t index) const;
    void set_tv(std::uint16_t index, std::uint16_t value);
    // Current pages: GR FA and GR BF.
    std::uint8_t page_fa() const;
    std::uint8_t page_bf() const;

    // ---- Read scripts ----
    // Successive reads of reg return these values (16-bit for TV registers);
    // once they are used up the register reads normally again.
    void script_reads(registers::Reg reg, std::vector<std::uint16_t> values);
    // Every read of reg returns hook(natural value, 1-based read number).
    using ReadHook = std::function<std::uint16_t(std::uint16_t natural, std::uint64_t read_number)>;
    void on_read(registers::Reg reg, ReadHook hook);
    // Bits in mask always read as the same bits of value.
    void stick_bits(registers::Reg reg, std::uint8_t mask, std::uint8_t value);
    void clear_read_scripts();

    // ---- Raster: t advances on every read of port 0x3DA and of GR 43 page 03 ----
    std::uint64_t raster_time() const { return s_->raster; }
    void set_raster_time(std::uint64_t t) { s_->raster = t; }
    bool in_vertical_retrace() const { return s_->raster % 8 >= 6; }
    bool in_blanking() const;
    // Field boundaries: the start of every vertical retrace calls the hook
    // (the video model's clock).  A reset leaves the hook in place.
    void on_field_boundary(std::function<void()> hook) { field_hook_ = std::move(hook); }
    // Runs the raster on to the start of the next retrace, as if the status
    // were polled until then (nothing is traced).
    void next_field();
    // The video model's clock: the fields the source has delivered since
    // power-on (kept on the card with the registers).
    std::uint64_t &video_fields() { return s_->fields; }
    // The field the capture engine wrote last, plus one (0: none since
    // power-on); kept on the card, so that the next program shows the
    // buffer and the BOB field the engine left.
    std::uint32_t &video_last_field() { return s_->last_field; }
    // Whether the video model is to paint its desktop now: always on storage
    // of the controller's own, once after power-on on a card.
    bool claim_desktop();

    // ---- Failure injection ----
    void fail(registers::Failure what, bool enabled = true);

    // ---- Trace ----
    const std::vector<Event> &events() const { return events_; }
    std::vector<std::string> trace() const;
    std::string trace_text() const; // one line per event, each ending in '\n'
    void clear_trace() { events_.clear(); }
    // Register accesses (window and direct port I/O) since the last reset,
    // counted even while recording is off.
    std::uint64_t access_count() const { return accesses_; }
    void set_recording(bool on) { recording_ = on; }

    // ---- Memory ----
    std::uint8_t *video_memory() { return video_backing_ != nullptr ? video_backing_ : s_->video; }
    const std::uint8_t *video_memory() const {
        return video_backing_ != nullptr ? video_backing_ : s_->video;
    }
    // Video memory in storage the caller keeps (kVideoMemorySize bytes, e.g. a
    // shared mapping that a traced program sees too), from the next reset on;
    // null: the controller's own again.
    void use_video_backing(std::uint8_t *memory) { video_backing_ = memory; }
    std::uint8_t *window_base() { return s_->window; }

    // ---- Platform entry points (the simulated flavour of the platform layer) ----
    int iopl(int level);
    int open_mem();
    void *map(int fd, std::uint32_t physical, std::uint32_t length);
    void close_mem(int fd);
    void port_out8(std::uint16_t port, std::uint8_t value);
    std::uint8_t port_in8(std::uint16_t port);
    void window_store(std::uint32_t offset, std::uint32_t value, unsigned bytes);
    std::uint32_t window_load(std::uint32_t offset, unsigned bytes);

  private:
    struct Script {
        std::vector<std::uint16_t> values;
        std::size_t next = 0;
        ReadHook hook;
        std::uint64_t reads = 0;
        std::uint8_t stuck_mask = 0;
        std::uint8_t stuck_value = 0;
    };

    std::uint8_t *indexed_cell(RegFile file, std::uint8_t index, int page);
    const std::uint8_t *indexed_cell(RegFile file, std::uint8_t index, int page) const;
    std::uint8_t read_byte(std::uint32_t offset);
    void write_byte(std::uint32_t offset, std::uint8_t value);
    std::uint16_t apply_scripts(registers::Reg::Kind kind, std::uint16_t index, int page,
                                std::uint16_t natural);
    static std::uint32_t key_of(registers::Reg reg);
    void record(Event::Kind kind, std::uint32_t address, std::uint32_t value, bool failed = false);
    void tick_raster();

    void reset_process();
    static void put(Storage &storage, registers::Reg reg, std::uint8_t value);

    // The controller's memory: its own (zero pages), or the card's.
    ZeroPages own_;
    Storage *s_;
    std::unique_ptr<Card> card_;
    bool refused_ = false;
    std::uint8_t *video_backing_ = nullptr;

    std::function<void()> field_hook_;
    std::unordered_map<std::uint32_t, Script> scripts_;

    bool failures_[4] = {};
    int open_fd_ = -1;

    std::vector<Event> events_;
    std::uint64_t accesses_ = 0;
    bool recording_ = true;
};

// The one simulated controller of the process.  Its first use attaches it
// to the card that $KOVA_CARD names, if any (made when missing); when that
// card cannot be had, a message goes to standard error, the card is left as
// it is, and every platform call fails.
Controller &controller();
// Before the first controller(): leave $KOVA_CARD to the program, which
// attaches its card itself (the tools, with their own options and messages).
void ignore_environment_card();
// The card $KOVA_CARD names ("" when unset or empty).
std::string environment_card();

} // namespace kova::sim
