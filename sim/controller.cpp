#include "controller.h"

#include "register_map.h"
#include "vga_ports.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sys/mman.h>
#include <utility>

namespace kova::sim {

using reg::Pager;
using registers::Failure;
using registers::Reg;

namespace {

using namespace kova::vga;

constexpr auto kInputStatusVRetrace = static_cast<std::uint8_t>(reg::input_status::kVerticalRetrace.mask());
constexpr auto kInputStatusBlank = static_cast<std::uint8_t>(reg::input_status::kBlanking.mask());
constexpr std::uint8_t kGrStatus = reg::kSyncStatus.at();
constexpr auto kGrStatusPage = static_cast<std::uint8_t>(reg::kSyncStatus.page);
constexpr auto kGrStatusVRetrace = static_cast<std::uint8_t>(reg::kSyncStatus.field().mask());
constexpr std::uint8_t kGrApertureBase = reg::kApertureBase.at();

constexpr int kAnyPage = 0x100;
constexpr int kFakeMemFd = 3;

// The key of a read script: register kind, page (kAnyPage for unpaged
// registers and for scripts that apply in every page) and index.
std::uint32_t script_key(Reg::Kind kind, int page, std::uint16_t index) {
    return static_cast<std::uint32_t>(kind) << 25 | static_cast<std::uint32_t>(page) << 16 | index;
}

[[noreturn]] void fatal(const char *what, std::uint32_t offset) {
    std::fprintf(stderr, "simulated controller: %s (window offset %05X)\n", what, offset);
    std::abort();
}

constexpr std::size_t kPageSize = 4096;

bool all_zero(const std::uint8_t *bytes, std::size_t n) {
    return n == 0 || (bytes[0] == 0 && std::memcmp(bytes, bytes + 1, n - 1) == 0);
}

} // namespace

// ---------------------------------------------------------------- zero pages

ZeroPages::ZeroPages(std::size_t size) : data_(nullptr), size_(size) {
    void *pages =
        mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (pages == MAP_FAILED) {
        std::fprintf(stderr, "simulated controller: cannot map %zu bytes of memory: %s\n", size,
                     std::strerror(errno));
        std::abort();
    }
    data_ = static_cast<std::uint8_t *>(pages);
}

ZeroPages::~ZeroPages() {
    munmap(data_, size_);
}

ZeroPages::ZeroPages(const ZeroPages &other) : ZeroPages(other.size_) {
    copy_from(other.data_, other.size_);
}

ZeroPages &ZeroPages::operator=(const ZeroPages &other) {
    if (this != &other) assign(other.data_, other.size_);
    return *this;
}

void ZeroPages::assign(const std::uint8_t *bytes, std::size_t size) {
    // The mapping stays where it is: programs hold pointers into it.
    clear();
    copy_from(bytes, size);
}

void ZeroPages::clear() {
    // A private anonymous page given back reads as zeros again.
    if (madvise(data_, size_, MADV_DONTNEED) != 0) std::memset(data_, 0, size_);
}

// Into cleared pages: the pages of `bytes` that hold something (the rest are
// zeros already and stay unmapped).
void ZeroPages::copy_from(const std::uint8_t *bytes, std::size_t size) {
    const std::size_t n = std::min(size_, size);
    for (std::size_t at = 0; at < n; at += kPageSize) {
        const std::size_t page = std::min(kPageSize, n - at);
        if (!all_zero(bytes + at, page)) std::memcpy(data_ + at, bytes + at, page);
    }
}

namespace {

// The trace line of each event kind, in the order of Event::Kind: its name,
// then address and value in hex of these many digits (0: neither is shown).
struct EventLayout {
    const char *name;
    int address_digits, value_digits;
};
constexpr EventLayout kEventLayouts[] = {
    {"iopl", 0, 0}, {"open /dev/mem", 0, 0}, {"mmap", 8, 6}, {"close", 0, 0},
    {"out8", 4, 2}, {"in8", 4, 2},           {"w8", 5, 2},   {"r8", 5, 2},
    {"w16", 5, 4},  {"r16", 5, 4},           {"w32", 5, 8},  {"r32", 5, 8},
};
static_assert(std::size(kEventLayouts) == static_cast<std::size_t>(Event::Kind::R32) + 1);

} // namespace

std::string format(const Event &e) {
    const EventLayout &layout = kEventLayouts[static_cast<std::size_t>(e.kind)];
    char line[64];
    if (e.kind == Event::Kind::Iopl) // the level, in decimal
        std::snprintf(line, sizeof line, "%s %u", layout.name, e.address);
    else if (layout.address_digits == 0)
        std::snprintf(line, sizeof line, "%s", layout.name);
    else
        std::snprintf(line, sizeof line, "%s %0*X %0*X", layout.name, layout.address_digits, e.address,
                      layout.value_digits, e.value);
    std::string text = line;
    if (e.failed) text += " FAIL";
    return text;
}

// A 1024x768 screen at 16 bits per pixel, 4 MiB of video memory, the aperture
// at E0000000, capture idle (GR E5 bit 1); every other register is 0.  Built
// once at start-up, where a failing allocation leaves nothing to catch it.
// NOLINTNEXTLINE(cert-err58-cpp)
const std::vector<std::pair<Reg, std::uint8_t>> Controller::kPowerOnState = {
    {Reg::of(reg::kHorizontalDisplayEnd), 0x7F}, {Reg::of(reg::kOverflow), 0x40},
    {Reg::of(reg::kVerticalDisplayEnd), 0xFF},   {Reg::of(reg::kPixelDepth), 0x02},
    {Reg::of(reg::kMemoryConfig), 0x02},         {Reg::of(reg::kApertureBase), 0xE0},
    {Reg::of(reg::kChipRevision), 0x10},         {Reg::of(reg::kChipId), 0x09},
    {Reg::of(reg::kCaptureStatus), 0x02},
};

Controller::Controller() : own_(sizeof(Storage)), s_(reinterpret_cast<Storage *>(own_.data())) {
    reset();
}

Controller::~Controller() = default;

Controller::Controller(const Controller &other)
    : own_(sizeof(Storage)), s_(reinterpret_cast<Storage *>(own_.data())), refused_(other.refused_),
      video_backing_(other.video_backing_), field_hook_(other.field_hook_), scripts_(other.scripts_),
      open_fd_(other.open_fd_), events_(other.events_), accesses_(other.accesses_),
      recording_(other.recording_) {
    own_.assign(reinterpret_cast<const std::uint8_t *>(other.s_), sizeof(Storage));
    std::copy(std::begin(other.failures_), std::end(other.failures_), std::begin(failures_));
}

Controller &Controller::operator=(const Controller &other) {
    if (this == &other) return *this;
    if (card_)
        std::memcpy(s_, other.s_, sizeof(Storage));
    else
        own_.assign(reinterpret_cast<const std::uint8_t *>(other.s_), sizeof(Storage));
    refused_ = other.refused_;
    video_backing_ = other.video_backing_;
    field_hook_ = other.field_hook_;
    scripts_ = other.scripts_;
    std::copy(std::begin(other.failures_), std::end(other.failures_), std::begin(failures_));
    open_fd_ = other.open_fd_;
    events_ = other.events_;
    accesses_ = other.accesses_;
    recording_ = other.recording_;
    return *this;
}

void Controller::reset() {
    power_on();
    reset_process();
}

void Controller::begin() {
    if (!card_) power_on();
    reset_process();
}

void Controller::power_on(Storage &storage) {
    std::memset(&storage, 0, sizeof storage);
    for (const auto &[reg, value] : kPowerOnState)
        put(storage, reg, value);
}

void Controller::power_on() {
    // The controller's own memory hands its pages back; a card and storage the
    // caller keeps are cleared byte by byte.
    if (card_) {
        power_on(*s_);
    } else {
        own_.clear();
        for (const auto &[reg, value] : kPowerOnState)
            put(*s_, reg, value);
    }
    if (video_backing_ != nullptr) std::fill_n(video_backing_, kVideoMemorySize, std::uint8_t{0});
}

void Controller::reset_process() {
    scripts_.clear();
    std::fill(std::begin(failures_), std::end(failures_), false);
    open_fd_ = -1;
    events_.clear();
    accesses_ = 0;
    recording_ = true;
}

void Controller::attach(std::unique_ptr<Card> card) {
    s_ = &card->storage();
    card_ = std::move(card);
    own_.clear();
}

void Controller::detach() {
    if (!card_) return;
    own_.assign(reinterpret_cast<const std::uint8_t *>(s_), sizeof(Storage));
    s_ = reinterpret_cast<Storage *>(own_.data());
    card_.reset();
}

bool Controller::claim_desktop() {
    if (!card_) return true;
    if (s_->desktop_painted != 0) return false;
    s_->desktop_painted = 1;
    return true;
}

// ---------------------------------------------------------------- registers

std::uint8_t Controller::page_fa() const {
    return s_->gr[reg::kPageSelect.at()];
}

std::uint8_t Controller::page_bf() const {
    return s_->gr[reg::kPageSelectB.at()];
}

namespace {

// The cell of an indexed register in the controller's memory; a paged one in
// `page`, or in the page current there (kCurrentPage).  Null for a file that
// is not indexed.
std::uint8_t *cell(Storage &s, RegFile file, std::uint8_t index, int page) {
    const Pager pager = registers::pager_of(file, index);
    if (pager != Pager::None && page == Reg::kCurrentPage)
        page = pager == Pager::GrFA ? s.gr[reg::kPageSelect.at()] : s.gr[reg::kPageSelectB.at()];
    const std::size_t paged = static_cast<std::size_t>(page & 0xFF) * 256 + index;
    switch (file) {
    case RegFile::GR:
        if (pager == Pager::GrFA) return &s.gr_pages_fa[paged];
        if (pager == Pager::GrBF) return &s.gr_pages_bf[paged];
        return &s.gr[index];
    case RegFile::SR:
        return pager == Pager::GrFA ? &s.sr_pages_fa[paged] : &s.sr[index];
    case RegFile::CR:
        return &s.cr[index];
    default: // not an indexed file
        break;
    }
    return nullptr;
}

void put_tv(Storage &s, std::uint16_t index, std::uint16_t value) {
    const std::uint32_t at = Controller::kTvBase + index;
    s.window[at] = static_cast<std::uint8_t>(value);
    if (at + 1 < Controller::kWindowSize) s.window[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

} // namespace

void Controller::put(Storage &s, Reg reg, std::uint8_t value) {
    switch (reg.kind) {
    case Reg::Kind::Port:
        s.window[reg.index] = value;
        break;
    case Reg::Kind::TV:
        put_tv(s, reg.index, value);
        break;
    default:
        *cell(s, reg.kind, static_cast<std::uint8_t>(reg.index), reg.page) = value;
        break;
    }
}

std::uint8_t *Controller::indexed_cell(RegFile file, std::uint8_t index, int page) {
    return cell(*s_, file, index, page);
}

const std::uint8_t *Controller::indexed_cell(RegFile file, std::uint8_t index, int page) const {
    return cell(*s_, file, index, page);
}

std::uint8_t Controller::get(Reg reg) const {
    switch (reg.kind) {
    case Reg::Kind::Port:
        return s_->window[reg.index];
    case Reg::Kind::TV:
        return static_cast<std::uint8_t>(get_tv(reg.index));
    default:
        return *indexed_cell(reg.kind, static_cast<std::uint8_t>(reg.index), reg.page);
    }
}

void Controller::set(Reg reg, std::uint8_t value) {
    put(*s_, reg, value);
}

std::uint16_t Controller::get_tv(std::uint16_t index) const {
    const std::uint32_t at = kTvBase + index;
    const std::uint8_t high = at + 1 < kWindowSize ? s_->window[at + 1] : 0;
    return static_cast<std::uint16_t>(s_->window[at] | high << 8);
}

void Controller::set_tv(std::uint16_t index, std::uint16_t value) {
    put_tv(*s_, index, value);
}

// In line where the status registers are read, on the path of every access.
[[gnu::always_inline]] inline void Controller::tick_raster() {
    const std::uint64_t t = ++s_->raster;
    if (t % 8 == 6 && field_hook_) field_hook_();
}

void Controller::next_field() {
    do
        tick_raster();
    while (s_->raster % 8 != 6);
}

bool Controller::in_blanking() const {
    const std::uint64_t f = s_->raster % 8;
    return f % 2 == 1 || f >= 6;
}

// ---------------------------------------------------------------- read scripts

std::uint32_t Controller::key_of(Reg reg) {
    int page = kAnyPage;
    if (reg.page != Reg::kCurrentPage &&
        registers::pager_of(reg.kind, static_cast<std::uint8_t>(reg.index)) != Pager::None)
        page = reg.page & 0xFF;
    return script_key(reg.kind, page, reg.index);
}

void Controller::script_reads(Reg reg, std::vector<std::uint16_t> values) {
    Script &script = scripts_[key_of(reg)];
    script.values = std::move(values);
    script.next = 0;
}

void Controller::on_read(Reg reg, ReadHook hook) {
    scripts_[key_of(reg)].hook = std::move(hook);
}

void Controller::stick_bits(Reg reg, std::uint8_t mask, std::uint8_t value) {
    Script &script = scripts_[key_of(reg)];
    script.stuck_mask = mask;
    script.stuck_value = value & mask;
}

void Controller::clear_read_scripts() {
    scripts_.clear();
}

std::uint16_t Controller::apply_scripts(Reg::Kind kind, std::uint16_t index, int page,
                                        std::uint16_t natural) {
    auto found = scripts_.find(script_key(kind, page, index));
    if (found == scripts_.end() && page != kAnyPage) found = scripts_.find(script_key(kind, kAnyPage, index));
    if (found == scripts_.end()) return natural;

    Script &script = found->second;
    ++script.reads;
    std::uint16_t value = natural;
    if (script.stuck_mask != 0)
        value = static_cast<std::uint16_t>((value & ~script.stuck_mask) | script.stuck_value);
    if (script.hook) value = script.hook(value, script.reads);
    if (script.next < script.values.size()) value = script.values[script.next++];
    return value;
}

// ---------------------------------------------------------------- byte model

std::uint8_t Controller::read_byte(std::uint32_t offset) {
    std::uint8_t value;
    Reg::Kind kind = Reg::Kind::Port;
    std::uint16_t index = static_cast<std::uint16_t>(offset);
    int page = kAnyPage;

    const auto indexed = [&](RegFile file, Reg::Kind reg_kind, std::uint16_t index_port) {
        const auto reg_index = s_->window[index_port];
        kind = reg_kind;
        index = reg_index;
        const Pager pager = registers::pager_of(file, reg_index);
        if (pager != Pager::None) page = pager == Pager::GrFA ? page_fa() : page_bf();
        return *indexed_cell(file, reg_index, Reg::kCurrentPage);
    };

    switch (offset) {
    case kGrDataPort:
        value = indexed(RegFile::GR, Reg::Kind::GR, kGrIndexPort);
        if (index == kGrStatus && page == kGrStatusPage) {
            tick_raster();
            value = static_cast<std::uint8_t>((value & ~kGrStatusVRetrace) |
                                              (in_vertical_retrace() ? kGrStatusVRetrace : 0));
        }
        break;
    case kSrDataPort:
        value = indexed(RegFile::SR, Reg::Kind::SR, kSrIndexPort);
        break;
    case kCrDataPort:
        value = indexed(RegFile::CR, Reg::Kind::CR, kCrIndexPort);
        break;
    case kInputStatusPort:
        tick_raster();
        value = static_cast<std::uint8_t>((s_->window[offset] & ~(kInputStatusVRetrace | kInputStatusBlank)) |
                                          (in_vertical_retrace() ? kInputStatusVRetrace : 0) |
                                          (in_blanking() ? kInputStatusBlank : 0));
        break;
    default:
        value = s_->window[offset];
        break;
    }
    if (!scripts_.empty() && offset < decode::kPortSpan)
        value = static_cast<std::uint8_t>(apply_scripts(kind, index, page, value));
    return value;
}

void Controller::write_byte(std::uint32_t offset, std::uint8_t value) {
    switch (offset) {
    case kGrDataPort:
        *indexed_cell(RegFile::GR, s_->window[kGrIndexPort], Reg::kCurrentPage) = value;
        break;
    case kSrDataPort:
        *indexed_cell(RegFile::SR, s_->window[kSrIndexPort], Reg::kCurrentPage) = value;
        break;
    case kCrDataPort:
        *indexed_cell(RegFile::CR, s_->window[kCrIndexPort], Reg::kCurrentPage) = value;
        break;
    default:
        s_->window[offset] = value;
        break;
    }
}

// ---------------------------------------------------------------- platform events

void Controller::record(Event::Kind kind, std::uint32_t address, std::uint32_t value, bool failed) {
    if (recording_) events_.push_back(Event{kind, failed, address, value});
}

int Controller::iopl(int level) {
    const bool refused = failures_[static_cast<int>(Failure::Iopl)] || refused_;
    record(Event::Kind::Iopl, static_cast<std::uint32_t>(level), 0, refused);
    if (refused) {
        errno = refused_ ? ENODEV : EPERM; // as for a process without the privilege
        return -1;
    }
    return 0;
}

int Controller::open_mem() {
    const bool refused = failures_[static_cast<int>(Failure::OpenMem)] || refused_;
    record(Event::Kind::Open, 0, 0, refused);
    if (refused) {
        errno = refused_ ? ENODEV : EACCES; // as for a user other than root
        return -1;
    }
    open_fd_ = kFakeMemFd;
    return open_fd_;
}

void *Controller::map(int fd, std::uint32_t physical, std::uint32_t length) {
    // Only the controller's aperture exists in the simulated machine: the
    // frame buffer at its base and the register window 8 MiB above it.
    const std::uint32_t base = static_cast<std::uint32_t>(s_->gr[kGrApertureBase]) << 24;
    void *result = MAP_FAILED;
    if (fd == open_fd_ && fd >= 0 && base != 0 && !refused_) {
        if (physical == base + kFrameBufferOffset && length <= kVideoMemorySize &&
            !failures_[static_cast<int>(Failure::MapFrameBuffer)])
            result = video_memory();
        else if (physical == base + kRegisterWindowOffset && length <= kWindowSize &&
                 !failures_[static_cast<int>(Failure::MapRegisterWindow)])
            result = s_->window;
    }
    record(Event::Kind::Mmap, physical, length, result == MAP_FAILED);
    if (result == MAP_FAILED) errno = EPERM; // as under a kernel that restricts /dev/mem
    return result;
}

void Controller::close_mem(int fd) {
    record(Event::Kind::Close, 0, 0);
    if (fd == open_fd_) open_fd_ = -1;
}

void Controller::fail(Failure what, bool enabled) {
    failures_[static_cast<int>(what)] = enabled;
}

void Controller::port_out8(std::uint16_t port, std::uint8_t value) {
    ++accesses_;
    record(Event::Kind::Out8, port, value);
    write_byte(port, value);
}

std::uint8_t Controller::port_in8(std::uint16_t port) {
    ++accesses_;
    const std::uint8_t value = read_byte(port);
    record(Event::Kind::In8, port, value);
    return value;
}

void Controller::window_store(std::uint32_t offset, std::uint32_t value, unsigned bytes) {
    if (offset > kWindowSize - bytes) fatal("store outside the register window", offset);
    ++accesses_;
    static constexpr Event::Kind kinds[] = {Event::Kind::W8, Event::Kind::W8, Event::Kind::W16,
                                            Event::Kind::W16, Event::Kind::W32};
    record(kinds[bytes], offset, value);
    for (unsigned i = 0; i < bytes; ++i)
        write_byte(offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t Controller::window_load(std::uint32_t offset, unsigned bytes) {
    if (offset > kWindowSize - bytes) fatal("load outside the register window", offset);
    ++accesses_;
    std::uint32_t value = 0;
    for (unsigned i = 0; i < bytes; ++i)
        value |= static_cast<std::uint32_t>(read_byte(offset + i)) << (8 * i);
    if (bytes == 2 && !scripts_.empty() && offset >= kTvBase && offset < kTvBase + kTvSize)
        value = apply_scripts(Reg::Kind::TV, static_cast<std::uint16_t>(offset - kTvBase), kAnyPage,
                              static_cast<std::uint16_t>(value));
    static constexpr Event::Kind kinds[] = {Event::Kind::R8, Event::Kind::R8, Event::Kind::R16,
                                            Event::Kind::R16, Event::Kind::R32};
    record(kinds[bytes], offset, value);
    return value;
}

// ---------------------------------------------------------------- trace

std::vector<std::string> Controller::trace() const {
    std::vector<std::string> lines;
    lines.reserve(events_.size());
    for (const Event &e : events_)
        lines.push_back(format(e));
    return lines;
}

std::string Controller::trace_text() const {
    std::string text;
    for (const Event &e : events_) {
        text += format(e);
        text += '\n';
    }
    return text;
}

namespace {

bool g_environment_card = true;

// Attaches the process-wide controller to the card of $KOVA_CARD when one is
// named; when that card cannot be had, every platform call fails.  Out of
// line, so that controller(), on the path of every register access, stays a
// guard test and a return.
[[gnu::noinline]] void attach_environment_card(Controller &sim) {
    const std::string path = environment_card();
    if (!g_environment_card || path.empty()) return;
    std::string error;
    Card::Use use;
    use.program = program_invocation_short_name;
    if (auto card = Card::open(path, use, error)) {
        sim.attach(std::move(card));
        return;
    }
    std::fprintf(stderr, "%s: KOVA_CARD=%s: %s; every platform call fails\n", program_invocation_short_name,
                 path.c_str(), error.c_str());
    sim.refuse_platform();
}

// The process-wide controller: one object, made on first use.
struct ProcessController {
    Controller sim;
    [[gnu::noinline]] ProcessController() { attach_environment_card(sim); }
};

} // namespace

void ignore_environment_card() {
    g_environment_card = false;
}

std::string environment_card() {
    const char *path = std::getenv("KOVA_CARD");
    return path != nullptr ? path : "";
}

Controller &controller() {
    static ProcessController instance;
    return instance.sim;
}

} // namespace kova::sim
