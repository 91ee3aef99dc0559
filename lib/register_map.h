// The register map: every register the library touches, declared once, with
// its file, index, page (for paged registers) and bit fields.  The library
// modules, the simulated controller and the tools read registers by these
// names.
//
// How the map is written:
//   KOVA_REGISTER(kName, gr(index, "name", {{fields}}))   a register; a
//       register with one field gives it inline and reads it as field()
//   KOVA_FIELD(kName, ns, kField, shift, width, "meaning")   a named field of
//       the register declared just before it, as ns::kField
//   KOVA_REGISTER_LIKE(kName, kOther, ...)   a register alike bit for bit to
//       kOther, with kOther's fields
// Each register and each field is written once: kRegisters, at the end, is
// built from these declarations in order.
//
// Every register has its own type, and a field has the type of its register:
// set(), masked writes and masks take only fields of the register they are
// used with, so that a field of one register given to another is a compile
// error.  A constant too wide for its field is a compile error too; a value
// known only at run time goes through set_value(), which checks it (see there).
//
// C++ only and header-only: every name here is a constant expression, so the
// hardware object modules that include it gain no data, no constructors and
// no symbols.
//
// Files: GR, SR and CR are the indexed files behind the index/data port pairs
// 0x3CE/0x3CF, 0x3C4/0x3C5 and 0x3D4/0x3D5; Port a single port; TV a 16-bit
// register of the TV encoder region; CAP the register file of the current
// capture engine (GR in page 0x00 or 0x80 of GR FA); OVL the register file of
// the current overlay window (GR for window 0, SR for window 1).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <type_traits>
#include <utility>

namespace kova::reg {

enum class File : std::uint8_t { GR, SR, CR, Port, TV, CAP, OVL };

// Which register pages a register: none, GR FA or GR BF.
enum class Pager : std::uint8_t { None, GrFA, GrBF };

// The page of a paged register that is "whichever page is current".
inline constexpr int kCurrentPage = -1;

// A bit field: `width` bits from bit `shift` upward.  This untyped form is
// what the tables of kRegisters hold; code that writes registers uses the
// typed FieldOf below.
struct Field {
    std::uint8_t shift = 0;
    std::uint8_t width = 0;
    const char *meaning = nullptr;

    // The field's bits, at bit 0.
    constexpr std::uint32_t low_bits() const { return width >= 32 ? ~0u : (1u << width) - 1u; }
    constexpr std::uint32_t mask() const { return low_bits() << shift; }
    // Whether v fits the field.
    constexpr bool fits(std::uint32_t v) const { return (v & ~low_bits()) == 0; }
    // The field's value in a register value.
    constexpr unsigned extract(unsigned register_value) const { return (register_value & mask()) >> shift; }
};

// A field of the registers of layout L (the type of one register, or of
// registers alike bit for bit).
template <typename L>
struct FieldOf : Field {};

inline constexpr std::size_t kMaxFields = 8;

// Where a register is: what the access sequences need of it.  Code that
// reaches the machine takes an Address by value, so that no entry of the map
// is ever stored in an object module.
struct Address {
    File file;
    std::uint16_t index;
    std::uint8_t span;

    constexpr std::uint8_t at(unsigned n = 0) const { return static_cast<std::uint8_t>(index + n); }
};

using Fields = std::array<Field, kMaxFields>;

struct Register {
    File file;
    std::uint16_t index;
    Pager pager;
    int page;          // for a paged register: its page, or kCurrentPage
    std::uint8_t span; // consecutive byte registers holding one value, low byte first
    const char *name;  // short readable name for tools
    Fields fields;     // complete in kRegisters; a named constant holds only its inline field

    constexpr operator Address() const { return {file, index, span}; }

    // The index as the byte written to an index port.
    constexpr std::uint8_t at() const { return static_cast<std::uint8_t>(index); }
    // The index of byte n of a multi-byte value.
    constexpr std::uint8_t at(unsigned n) const { return static_cast<std::uint8_t>(index + n); }
    // Bits of the whole value: 16 for a TV register, else 8 per byte register.
    constexpr unsigned width() const { return file == File::TV ? 16u : 8u * span; }
    constexpr std::size_t field_count() const {
        std::size_t n = 0;
        while (n < kMaxFields && fields[n].width != 0)
            ++n;
        return n;
    }
};

// A register of the map, of its own type L.
template <typename L>
struct RegisterOf : Register {
    using Layout = L;
    // The first field: the one field of a register that has one.
    constexpr FieldOf<L> field() const { return {fields[0]}; }
};

constexpr Register gr(std::uint8_t index, const char *name, Fields fields = {}, std::uint8_t span = 1) {
    return {File::GR, index, Pager::None, kCurrentPage, span, name, fields};
}
constexpr Register gr_fa(std::uint8_t index, int page, const char *name, Fields fields = {}) {
    return {File::GR, index, Pager::GrFA, page, 1, name, fields};
}
constexpr Register gr_bf(std::uint8_t index, int page, const char *name, Fields fields = {}) {
    return {File::GR, index, Pager::GrBF, page, 1, name, fields};
}
constexpr Register sr(std::uint8_t index, const char *name, Fields fields = {}) {
    return {File::SR, index, Pager::None, kCurrentPage, 1, name, fields};
}
constexpr Register sr_fa(std::uint8_t index, int page, const char *name, Fields fields = {}) {
    return {File::SR, index, Pager::GrFA, page, 1, name, fields};
}
constexpr Register cr(std::uint8_t index, const char *name, Fields fields = {}) {
    return {File::CR, index, Pager::None, kCurrentPage, 1, name, fields};
}
constexpr Register port(std::uint16_t number, const char *name, Fields fields = {}) {
    return {File::Port, number, Pager::None, kCurrentPage, 1, name, fields};
}
constexpr Register tv(std::uint16_t index, const char *name, Fields fields = {}) {
    return {File::TV, index, Pager::None, kCurrentPage, 1, name, fields};
}
// A capture register lives in the current engine's page of GR FA.
constexpr Register cap(std::uint8_t index, const char *name, Fields fields = {}, std::uint8_t span = 1) {
    return {File::CAP, index, Pager::GrFA, kCurrentPage, span, name, fields};
}
constexpr Register ovl(std::uint8_t index, const char *name, Fields fields = {}, std::uint8_t span = 1) {
    return {File::OVL, index, Pager::None, kCurrentPage, span, name, fields};
}

// ---------------------------------------------------------------------------
// Declarations.  Each KOVA_REGISTER and KOVA_FIELD also records itself as the
// next entry of Declared<>, numbered by __COUNTER__; kRegisters is built from
// these entries at the end.

// One declaration: a register (field width 0), or a field of `reg`.
struct Declaration {
    Register reg;
    Field field{};
    // KOVA_REGISTER_LIKE: the register whose fields it has.  Held by value and
    // flagged, not by address: comparing a global's address is not a constant
    // expression where a sanitizer instruments globals.
    bool like_another = false;
    Register fields_like{};
};

template <int N>
struct Declared;

// NOLINTBEGIN(bugprone-macro-parentheses): the arguments are names and initialisers of declarations
inline constexpr int kCounterBefore = __COUNTER__;
#define KOVA_DECLARED(...)                                                                                   \
    template <>                                                                                              \
    struct Declared<__COUNTER__ - kCounterBefore - 1> {                                                      \
        static constexpr Declaration value{__VA_ARGS__};                                                     \
    }

#define KOVA_REGISTER(name, ...)                                                                             \
    struct name##Layout;                                                                                     \
    inline constexpr RegisterOf<name##Layout> name{__VA_ARGS__};                                             \
    KOVA_DECLARED(name)

#define KOVA_REGISTER_LIKE(name, like, ...)                                                                  \
    inline constexpr RegisterOf<decltype(like)::Layout> name{__VA_ARGS__};                                   \
    KOVA_DECLARED(name, {}, true, like)

#define KOVA_FIELD(reg, ns, name, shift, width, meaning)                                                     \
    namespace ns {                                                                                           \
    inline constexpr FieldOf<decltype(reg)::Layout> name{{shift, width, meaning}};                           \
    }                                                                                                        \
    KOVA_DECLARED(reg, ns::name)
// NOLINTEND(bugprone-macro-parentheses)

// ---------------------------------------------------------------------------
// Values, masks and masked writes derived from fields.

// Builds that check field values at run time: the simulated flavour (which the
// tests, the fuzzers and kovasim run) and any build without NDEBUG.
#if defined(KOVA_SIMULATED) || !defined(NDEBUG)
inline constexpr bool kCheckFieldValues = true;
#else
inline constexpr bool kCheckFieldValues = false;
#endif

// A run-time value too wide for its field, in a checked build: one line on
// standard error and abort, as a failed assertion does.
[[noreturn]] inline void field_overflow(const Field &f, std::uint32_t v) {
    std::fprintf(stderr, "kova: value 0x%X is too wide for the %u-bit field \"%s\"\n",
                 static_cast<unsigned>(v), static_cast<unsigned>(f.width), f.meaning);
    std::abort();
}

// Called only when set() is given a constant too wide for its field: not a
// constant expression, so that the call is a compile error.
void a_constant_too_wide_for_its_field();

template <typename L, typename... F>
constexpr std::uint32_t mask_of(FieldOf<L> first, F... fields) {
    static_assert((std::is_same_v<F, FieldOf<L>> && ...), "fields of one register only");
    return (first.mask() | ... | fields.mask());
}

// The keep mask of a byte register that keeps every bit but the given fields.
template <typename L, typename... F>
constexpr std::uint8_t keep_all_but(FieldOf<L> first, F... fields) {
    return static_cast<std::uint8_t>(~mask_of(first, fields...));
}

// The keep mask of a TV register that keeps every bit but the given fields.
template <typename L, typename... F>
constexpr std::uint16_t tv_keep_all_but(FieldOf<L> first, F... fields) {
    return static_cast<std::uint16_t>(~mask_of(first, fields...));
}

// One masked write of a byte register of layout L: the bits to write and the
// keep mask.  Changes of several fields combine with |.
template <typename L>
struct Change {
    std::uint8_t value;
    std::uint8_t keep;

    constexpr Change operator|(Change other) const {
        return {static_cast<std::uint8_t>(value | other.value), static_cast<std::uint8_t>(keep & other.keep)};
    }
};

// Field f becomes v, a value known only at run time; every other bit is kept.
//
// What "checked" means here: the library has no exceptions, no heap and no
// error channel in its C interface, and each of its register sequences must
// stay exactly as it is on the bus, so a value that does not fit cannot be
// refused half-way through a sequence.  The library's own callers keep their
// values in range (the composites below wrap an address on purpose, where the
// engines' counters wrap, before their parts reach a field).  A value that
// does not fit is therefore a fault of the caller: a checked build (above)
// stops on it with a message, which the tests and fuzzers, all run on the
// simulated flavour, would catch; the delivered hardware objects write the
// value's low bits into the field and never touch another bit.
template <typename L>
constexpr Change<L> set_value(FieldOf<L> f, std::uint32_t v) {
    if (kCheckFieldValues && !f.fits(v)) field_overflow(f, v);
    return {static_cast<std::uint8_t>((v & f.low_bits()) << f.shift), keep_all_but(f)};
}

// Field f becomes the constant v; every other bit is kept.  A v too wide for
// the field is a compile error.  (A C++17 program that includes the installed
// map, through the simulated controller's header, gets a constexpr function:
// too wide a v is then a compile error where the change is a constant, and
// checked as set_value() checks it elsewhere.)
#if __cplusplus >= 202002L
#define KOVA_CONSTEVAL consteval
#else
#define KOVA_CONSTEVAL constexpr
#endif
template <typename L>
KOVA_CONSTEVAL Change<L> set(FieldOf<L> f, std::uint32_t v) {
    if (!f.fits(v)) a_constant_too_wide_for_its_field();
    return set_value(f, v);
}
#undef KOVA_CONSTEVAL

// The given fields keep their bits; every other bit becomes 0.
template <typename L, typename... F>
constexpr Change<L> clear_all_but(FieldOf<L> first, F... fields) {
    return {0, static_cast<std::uint8_t>(mask_of(first, fields...))};
}

// A whole register image in which the given fields keep their old bits.
template <typename L, typename... F>
constexpr Change<L> image_keeping(std::uint8_t image, FieldOf<L> first, F... fields) {
    return {image, static_cast<std::uint8_t>(mask_of(first, fields...))};
}

// ---------------------------------------------------------------------------
// Single ports.

KOVA_REGISTER(kSrIndex, port(0x3C4, "sequencer index"));
KOVA_REGISTER(kSrData, port(0x3C5, "sequencer data"));
KOVA_REGISTER(kDacMask, port(0x3C6, "DAC mask"));
KOVA_FIELD(kDacMask, dac_mask, kRamdacPowerDown, 0, 1, "RAMDAC power-down, with bit 6");
KOVA_FIELD(kDacMask, dac_mask, kPowerDown, 6, 1, "DAC power-down (1 = off)");
KOVA_REGISTER(kMiscOutputRead, port(0x3CC, "misc output read"));
KOVA_FIELD(kMiscOutputRead, misc_output, kClockSelect, 2, 2, "pixel clock select");
KOVA_REGISTER(kGrIndex, port(0x3CE, "graphics index"));
KOVA_REGISTER(kGrData, port(0x3CF, "graphics data"));
KOVA_REGISTER(kCrIndex, port(0x3D4, "CRT index"));
KOVA_REGISTER(kCrData, port(0x3D5, "CRT data"));
KOVA_REGISTER(kInputStatus, port(0x3DA, "input status"));
KOVA_FIELD(kInputStatus, input_status, kBlanking, 0, 1, "display blanked");
KOVA_FIELD(kInputStatus, input_status, kVerticalRetrace, 3, 1, "vertical retrace");

// ---------------------------------------------------------------------------
// GR: page selects.

KOVA_REGISTER(kPageSelect, gr(0xFA, "page select", {{{0, 8, "page of the GR/SR registers paged by it"}}}));
KOVA_REGISTER(kPageSelectB, gr(0xBF, "page select B", {{{0, 8, "page of GR B1, BA, BB, BE"}}}));
// Pages of GR FA.
namespace page {
inline constexpr std::uint8_t kCommon = 0x00;  // capture engine 0 and the common registers
inline constexpr std::uint8_t kEngine1 = 0x80; // capture engine 1 and the double-buffer registers
inline constexpr std::uint8_t kBackBufferCopy = 0x01;
inline constexpr std::uint8_t kSyncStatus = 0x03;
inline constexpr std::uint8_t kTvOutput = 0x05;
inline constexpr std::uint8_t kOutputSwitch = 0x08;
} // namespace page
// Pages of GR BF.
namespace page_b {
inline constexpr std::uint8_t kCommon = 0x00;
inline constexpr std::uint8_t kVideoPort = 0x01; // also TV sensing
inline constexpr std::uint8_t kCrtDac = 0x02;
inline constexpr std::uint8_t kCrtSense = 0x40;
} // namespace page_b

// ---------------------------------------------------------------------------
// GR: screen mode, memory, chip identity, clocks.

KOVA_REGISTER(kExtendedVertical, gr(0x11, "extended vertical", {{{1, 1, "vertical display end bit 10"}}}));
KOVA_REGISTER(kApertureControl, gr(0x33, "aperture control", {{{0, 1, "linear aperture enable"}}}));
KOVA_REGISTER(kApertureBase, gr(0x35, "aperture base", {{{0, 8, "physical address bits 31-24"}}}));
KOVA_REGISTER(kDacAccess, gr(0x56, "DAC access"));
KOVA_FIELD(kDacAccess, dac_access, kMaskPort, 2, 1, "DAC mask port access");
KOVA_REGISTER(kFetchControl, gr(0x70, "display fetch control", {{{6, 1, "display fetch reset"}}}));
KOVA_REGISTER(kMemoryConfig, gr(0x72, "memory configuration"));
KOVA_FIELD(kMemoryConfig, memory_config, kSizeCode, 0, 2, "memory size code");
KOVA_FIELD(kMemoryConfig, memory_config, kWideBus, 2, 1, "wide memory bus");
KOVA_REGISTER(kFifoThreshold1, gr(0x74, "FIFO threshold 1"));
KOVA_REGISTER(kFifoThreshold2, gr(0x75, "FIFO threshold 2"));
KOVA_REGISTER(kPixelDepth, gr(0x77, "pixel depth", {{{0, 3, "depth code"}}}));
KOVA_REGISTER(kChipRevision, gr(0x91, "chip revision", {{{4, 4, "revision"}}}));
KOVA_REGISTER(kChipId, gr(0x92, "chip identifier", {{{0, 8, "identifier"}}}));
// The synthesiser registers of the pixel clock; the memory clock's are alike
// bit for bit and take the same fields.
KOVA_REGISTER(kPixelClockN, gr(0xB0, "pixel clock N"));
KOVA_FIELD(kPixelClockN, clock, kFeedbackLow, 0, 8, "feedback divider bits 7-0");
KOVA_REGISTER(kPixelClockM, gr_bf(0xB1, kCurrentPage, "pixel clock M"));
KOVA_FIELD(kPixelClockM, clock, kReferenceLow, 0, 5, "reference divider bits 4-0");
KOVA_FIELD(kPixelClockM, clock, kPostDivider, 6, 2, "post divider");
KOVA_REGISTER_LIKE(kMemoryClockN, kPixelClockN, gr(0xB2, "memory clock N"));
KOVA_REGISTER_LIKE(kMemoryClockM, kPixelClockM, gr(0xB3, "memory clock M"));
KOVA_REGISTER(kClockLoad, gr(0xB9, "clock load", {{{7, 1, "load the synthesiser"}}}));
KOVA_REGISTER(kPixelClockHigh, gr_bf(0xBA, kCurrentPage, "pixel clock high"));
KOVA_FIELD(kPixelClockHigh, clock, kFeedbackHigh, 0, 3, "feedback divider bits 10-8");
KOVA_FIELD(kPixelClockHigh, clock, kReferenceHigh, 3, 3, "reference divider bits 7-5");
KOVA_FIELD(kPixelClockHigh, clock, kPostDividerHigh, 6, 1, "post divider bit 2");
KOVA_REGISTER_LIKE(kMemoryClockHigh, kPixelClockHigh, gr_bf(0xBB, kCurrentPage, "memory clock high"));

// ---------------------------------------------------------------------------
// GR: display detection and DAC switches (paged by GR BF or GR FA).

KOVA_REGISTER(kTvSenseStatus,
              gr_bf(0xB1, page_b::kVideoPort, "TV sense status", {{{2, 1, "TV sensing possible"}}}));
KOVA_REGISTER(kCrtDacControl, gr_bf(0xB1, page_b::kCrtDac, "CRT DAC control",
                                    {{{0, 6, "CRT DAC power-down (all set = off)"}}}));
KOVA_REGISTER(kCrtSense, gr_bf(0xBE, page_b::kCrtSense, "CRT sense", {{{5, 2, "sense code"}}}));
KOVA_REGISTER(kTvOutputControl, gr_fa(0x4E, page::kTvOutput, "TV output control"));
KOVA_FIELD(kTvOutputControl, tv_output, kTestClear, 0, 1, "colour test: cleared during the test");
KOVA_FIELD(kTvOutputControl, tv_output, kTestSet, 1, 1, "colour test: set during the test");
KOVA_FIELD(kTvOutputControl, tv_output, kDacEnable, 2, 1, "TV DAC enable");

// ---------------------------------------------------------------------------
// GR: capture (common registers in page 0x00 unless paged otherwise).

KOVA_REGISTER(kBackBufferCopyLow, gr_fa(0x41, page::kBackBufferCopy, "back buffer copy low",
                                        {{{0, 8, "back-buffer address bits 7-0"}}}));
KOVA_REGISTER(kBackBufferCopyMid, gr_fa(0x42, page::kBackBufferCopy, "back buffer copy mid",
                                        {{{0, 8, "back-buffer address bits 15-8"}}}));
KOVA_REGISTER(kSyncStatus, gr_fa(0x43, page::kSyncStatus, "sync status", {{{7, 1, "vertical sync"}}}));
KOVA_REGISTER(kGuard0Low, gr(0x45, "capture guard 0 low", {{{0, 8, "address bits 7-0"}}}));
KOVA_REGISTER(kGuard0Mid, gr(0x46, "capture guard 0 mid", {{{0, 8, "address bits 15-8"}}}));
KOVA_REGISTER(kGuard1Low, gr(0x47, "capture guard 1 low", {{{0, 8, "address bits 7-0"}}}));
KOVA_REGISTER(kGuard1Mid, gr(0x48, "capture guard 1 mid", {{{0, 8, "address bits 15-8"}}}));
KOVA_REGISTER(kGuardHigh, gr(0x49, "capture guard high"));
KOVA_FIELD(kGuardHigh, guard_high, kEngine0, 0, 4, "engine 0 address bits 19-16");
KOVA_FIELD(kGuardHigh, guard_high, kEngine1, 4, 4, "engine 1 address bits 19-16");
KOVA_REGISTER(kCaptureSetup88, gr(0x88, "capture set-up 88"));
KOVA_REGISTER(kCaptureSetup89, gr(0x89, "capture set-up 89"));
KOVA_REGISTER(kCaptureSetupA4, gr(0xA4, "capture set-up A4", {{{0, 1, "set-up bit 0"}}}));
KOVA_REGISTER(kCaptureSetupA5, gr(0xA5, "capture set-up A5", {{{0, 1, "set-up bit 0"}}}));
KOVA_REGISTER(kFifoWindow0, gr(0xA6, "overlay 0 FIFO control", {{{3, 1, "window 0 FIFO control"}}}));
KOVA_REGISTER(kBackBufferLow, gr(0xA7, "back buffer low", {{{0, 8, "address bits 7-0"}}}));
KOVA_REGISTER(kBackBufferMid, gr(0xA8, "back buffer mid", {{{0, 8, "address bits 15-8"}}}));
KOVA_REGISTER(kBackBufferHigh, gr(0xA9, "back buffer high"));
KOVA_FIELD(kBackBufferHigh, back_buffer_high, kAddress, 0, 4, "address bits 19-16");
KOVA_FIELD(kBackBufferHigh, back_buffer_high, kDoubleBuffer, 4, 1, "double buffering on");
KOVA_REGISTER(kDoubleBufferControl, gr(0xAC, "double buffer control", {{{1, 1, "double buffering on"}}}));
KOVA_REGISTER(kBackBufferHighCopy, gr(0xAD, "back buffer high copy", {{{0, 4, "address bits 19-16"}}}));
KOVA_REGISTER(kVideoPortControl, gr(0xB5, "video port control"));
KOVA_FIELD(kVideoPortControl, video_port, kLow, 0, 2, "video port bits 1-0");
KOVA_FIELD(kVideoPortControl, video_port, kHigh, 7, 1, "video port bit 7");
KOVA_REGISTER(kVideoPortBA, gr_bf(0xBA, page_b::kVideoPort, "video port BA"));
KOVA_FIELD(kVideoPortBA, video_port_ba, kBit1, 1, 1, "video port bit 1");
KOVA_FIELD(kVideoPortBA, video_port_ba, kBit7, 7, 1, "video port bit 7");
KOVA_REGISTER(kVideoPortBB, gr_bf(0xBB, page_b::kVideoPort, "video port BB"));
KOVA_FIELD(kVideoPortBB, video_port_bb, kBit1, 1, 1, "video port bit 1");
KOVA_FIELD(kVideoPortBB, video_port_bb, kBit2, 2, 1, "video port bit 2");
KOVA_REGISTER(kDoubleBuffer0, gr_fa(0xE0, page::kEngine1, "double buffer E0"));
KOVA_FIELD(kDoubleBuffer0, double_buffer0, kBit3, 3, 1, "set-up bit 3");
KOVA_FIELD(kDoubleBuffer0, double_buffer0, kBits65, 5, 2, "set-up bits 6-5");
KOVA_REGISTER(kDoubleBuffer3, gr_fa(0xE3, page::kEngine1, "double buffer E3", {{{3, 1, "set-up bit 3"}}}));
KOVA_REGISTER(kDoubleBuffer5, gr_fa(0xE5, page::kEngine1, "double buffer E5"));
KOVA_REGISTER(kDoubleBuffer7, gr_fa(0xE7, page::kEngine1, "double buffer E7"));
KOVA_REGISTER(kDoubleBuffer9, gr_fa(0xE9, page::kEngine1, "double buffer E9"));
KOVA_REGISTER(kCaptureStatus, gr_fa(0xE5, page::kCommon, "capture status", {{{1, 1, "stopped"}}}));
KOVA_REGISTER(kCaptureControl, gr(0xE8, "capture control"));
KOVA_FIELD(kCaptureControl, capture_control, kEnable, 0, 1, "enable");
KOVA_FIELD(kCaptureControl, capture_control, kKeptBit1, 1, 1, "kept bit 1");
KOVA_FIELD(kCaptureControl, capture_control, kHold, 2, 1, "hold while the address changes");
KOVA_FIELD(kCaptureControl, capture_control, kStop, 3, 1, "stop request");
KOVA_FIELD(kCaptureControl, capture_control, kKeptBit4, 4, 1, "kept bit 4");
KOVA_FIELD(kCaptureControl, capture_control, kEngineEnables, 5, 2, "engine enables");
KOVA_FIELD(kCaptureControl, capture_control, kKeptBit7, 7, 1, "kept bit 7");
KOVA_REGISTER(kFieldControl, gr_fa(0xE9, page::kCommon, "field control"));
KOVA_FIELD(kFieldControl, field_control, kInitial, 4, 1, "set at initialisation");
KOVA_FIELD(kFieldControl, field_control, kInverted, 5, 1, "fields inverted");
KOVA_REGISTER(kFieldScaleControl, gr(0xEF, "frame scale control", {{{2, 1, "frame scaling"}}}));
KOVA_REGISTER(kFifoCommon, gr(0xF1, "overlay FIFO common", {{{6, 2, "FIFO policy"}}}));
KOVA_REGISTER(kDoubleBufferGate, gr(0xF7, "double buffer gate"));

// Capture register file of the current engine.
KOVA_REGISTER(kCapXStart, cap(0x60, "capture x start", {{{0, 16, "2 x first pixel + 1"}}}, 2));
KOVA_REGISTER(kCapXEnd, cap(0x62, "capture x end", {{{0, 16, "2 x end pixel + 2"}}}, 2));
KOVA_REGISTER(kCapYStart, cap(0x64, "capture y start", {{{0, 16, "first line"}}}, 2));
KOVA_REGISTER(kCapYEnd, cap(0x66, "capture y end", {{{0, 16, "end line"}}}, 2));
KOVA_REGISTER(kCapHStep, cap(0x68, "capture h step", {{{0, 16, "0x0800 at initialisation"}}}, 2));
KOVA_REGISTER(kCapHScale, cap(0x6A, "capture h scale", {{{0, 16, "4.12 factor"}}}, 2));
KOVA_REGISTER(kCapVStep, cap(0x6C, "capture v step", {{{0, 16, "0x0800 at initialisation"}}}, 2));
KOVA_REGISTER(kCapVScale, cap(0x6E, "capture v scale", {{{0, 16, "4.12 factor"}}}, 2));
KOVA_REGISTER(kCapFieldScale, cap(0xEA, "capture field scale"));
KOVA_FIELD(kCapFieldScale, cap_field_scale, kFieldScaling, 1, 1, "field scaling");
KOVA_FIELD(kCapFieldScale, cap_field_scale, kBit5, 5, 1, "kept bit 5");
KOVA_REGISTER(kCapAddress, cap(0xEB, "capture address", {{{0, 20, "destination in 4-byte units"}}}, 3));
KOVA_REGISTER(kCapPitch, cap(0xEE, "capture pitch", {{{0, 8, "pitch in units of 4 pixels"}}}));

// ---------------------------------------------------------------------------
// Overlay register file of the current window.

KOVA_REGISTER(kOvlStart, ovl(0xC0, "overlay start", {{{0, 24, "start in 4-byte units"}}}, 3));
KOVA_REGISTER(kOvlPitch, ovl(0xC3, "overlay pitch", {{{0, 8, "pitch bits 7-0, 8-byte units"}}}));
KOVA_REGISTER(kOvlPitchHigh, ovl(0xC4, "overlay pitch high"));
KOVA_FIELD(kOvlPitchHigh, ovl_pitch_high, kPitch, 0, 4, "pitch bits 11-8");
KOVA_FIELD(kOvlPitchHigh, ovl_pitch_high, kFetch, 4, 4, "fetch bits 11-8");
KOVA_REGISTER(kOvlLeft, ovl(0xC5, "overlay left", {{{0, 16, "left edge"}}}, 2));
KOVA_REGISTER(kOvlRight, ovl(0xC7, "overlay right", {{{0, 16, "right edge"}}}, 2));
KOVA_REGISTER(kOvlTop, ovl(0xC9, "overlay top", {{{0, 16, "top edge"}}}, 2));
KOVA_REGISTER(kOvlBottom, ovl(0xCB, "overlay bottom", {{{0, 16, "bottom edge"}}}, 2));
KOVA_REGISTER(kOvlFetch, ovl(0xCD, "overlay fetch", {{{0, 8, "fetch bits 7-0, 8-byte units"}}}));
KOVA_REGISTER(kOvlKeyColour, ovl(0xCE, "overlay key colour", {{{0, 24, "key colour"}}}, 3));
KOVA_REGISTER(kOvlHStep, ovl(0xD1, "overlay h step", {{{0, 16, "0x0800"}}}, 2));
KOVA_REGISTER(kOvlHFactor, ovl(0xD3, "overlay h factor", {{{0, 16, "4.12 factor"}}}, 2));
KOVA_REGISTER(kOvlVStep, ovl(0xD5, "overlay v step", {{{0, 16, "0x0800"}}}, 2));
KOVA_REGISTER(kOvlVFactor, ovl(0xD7, "overlay v factor", {{{0, 16, "4.12 factor"}}}, 2));
KOVA_REGISTER(kOvlFifo1, ovl(0xD9, "overlay FIFO 1"));
KOVA_REGISTER(kOvlFifo2, ovl(0xDA, "overlay FIFO 2"));
KOVA_REGISTER(kOvlFormat, ovl(0xDB, "overlay format", {{{0, 3, "format code"}}}));
KOVA_REGISTER(kOvlControl, ovl(0xDC, "overlay control"));
KOVA_FIELD(kOvlControl, ovl_control, kMode, 1, 1, "mode");
KOVA_FIELD(kOvlControl, ovl_control, kEnable, 2, 1, "enable");
KOVA_FIELD(kOvlControl, ovl_control, kWide, 5, 1, "wide source");
KOVA_FIELD(kOvlControl, ovl_control, kOn, 7, 1, "on");
KOVA_REGISTER(kOvlFifoControl, ovl(0xDD, "overlay FIFO control"));
KOVA_FIELD(kOvlFifoControl, ovl_fifo_control, kPolicy0, 0, 1, "FIFO policy bit 0");
KOVA_FIELD(kOvlFifoControl, ovl_fifo_control, kBit1, 1, 1, "FIFO control bit 1");
KOVA_FIELD(kOvlFifoControl, ovl_fifo_control, kPolicy2, 2, 1, "FIFO policy bit 2");
KOVA_FIELD(kOvlFifoControl, ovl_fifo_control, kBit4, 4, 1, "FIFO control bit 4");
// GR DE of window 0 and SR DE of window 1.
KOVA_REGISTER(kOvlDisplay, ovl(0xDE, "overlay display"));
KOVA_FIELD(kOvlDisplay, ovl_display, kWindow1OnTop, 0, 1, "window 1 on top (SR DE)");
KOVA_FIELD(kOvlDisplay, ovl_display, kFetchReset, 6, 1, "display fetch reset");

// ---------------------------------------------------------------------------
// SR.

KOVA_REGISTER(kOutputSwitch, sr(0x4A, "sync-lock output switch", {{{3, 1, "sync-lock video output"}}}));
KOVA_REGISTER(kOutputSwitch2, sr_fa(0x4F, page::kOutputSwitch, "sync-lock output switch 2"));
KOVA_FIELD(kOutputSwitch2, output_switch2, kBit0, 0, 1, "output bit 0");
KOVA_FIELD(kOutputSwitch2, output_switch2, kBit4, 4, 1, "output bit 4");
KOVA_FIELD(kOutputSwitch2, output_switch2, kHigh, 6, 2, "output bits 7-6");
KOVA_REGISTER(kVideoRoute, sr(0xA0, "video port route", {{{7, 1, "engine 1"}}}));
KOVA_REGISTER(kSafeguard, sr(0xA2, "capture guard control", {{{2, 1, "guard on"}}}));
KOVA_REGISTER(kVideoPortSetupA3, sr(0xA3, "video port set-up A3", {{{6, 2, "video port bits 7-6"}}}));
KOVA_REGISTER(kPortMode, sr(0xA4, "video port mode"));
KOVA_FIELD(kPortMode, port_mode, kBit0, 0, 1, "mode bit 0");
KOVA_FIELD(kPortMode, port_mode, kBit4, 4, 1, "mode bit 4");
KOVA_REGISTER(kVideoPortSetupA5, sr(0xA5, "video port set-up A5", {{{6, 2, "video port bits 7-6"}}}));
KOVA_REGISTER(kLineBuffer, sr(0xA6, "line buffer and clock"));
KOVA_FIELD(kLineBuffer, line_buffer, kClock, 4, 1, "video clock bit");
KOVA_FIELD(kLineBuffer, line_buffer, kBit5, 5, 1, "line buffer bit 5");
KOVA_FIELD(kLineBuffer, line_buffer, kWide0, 6, 1, "window 0 above 360 pixels");
KOVA_FIELD(kLineBuffer, line_buffer, kWide1, 7, 1, "window 1 above 360 pixels");
KOVA_REGISTER(kFieldMode, sr(0xA7, "overlay field mode"));
KOVA_FIELD(kFieldMode, field_mode, kDouble0, 0, 1, "window 0 BOB 2:1");
KOVA_FIELD(kFieldMode, field_mode, kDouble1, 1, 1, "window 1 BOB 2:1");
KOVA_FIELD(kFieldMode, field_mode, kBob0, 2, 1, "window 0 BOB");
KOVA_FIELD(kFieldMode, field_mode, kBob1, 3, 1, "window 1 BOB");

// The extended-sync block SR E0-EF (SR E3 is not part of it).
KOVA_REGISTER(kExtSyncE0, sr(0xE0, "ext sync E0"));
KOVA_REGISTER(kExtSyncE1, sr(0xE1, "ext sync E1"));
KOVA_REGISTER(kExtSyncE2, sr(0xE2, "ext sync E2"));
KOVA_REGISTER(kExtSyncE4, sr(0xE4, "ext sync E4"));
KOVA_REGISTER(kExtSyncE5, sr(0xE5, "ext sync E5"));
KOVA_REGISTER(kExtSyncE6, sr(0xE6, "ext sync E6"));
KOVA_REGISTER(kExtSyncE7, sr(0xE7, "ext sync E7"));
KOVA_REGISTER(kExtSyncE8, sr(0xE8, "ext sync E8"));
KOVA_REGISTER(kExtSyncE9, sr(0xE9, "ext sync E9"));
KOVA_REGISTER(kExtSyncEA, sr(0xEA, "ext sync EA"));
KOVA_REGISTER(kVcrControl, sr(0xEB, "VCR control", {{{7, 1, "VCR setting off"}}}));
KOVA_REGISTER(kExtSyncEC, sr(0xEC, "ext sync EC"));
KOVA_FIELD(kExtSyncEC, ext_sync_ec, kBit2, 2, 1, "video clock bit 2");
KOVA_FIELD(kExtSyncEC, ext_sync_ec, kBit4, 4, 1, "video clock bit 4");
KOVA_REGISTER(kExtSyncED, sr(0xED, "ext sync ED"));
KOVA_FIELD(kExtSyncED, ext_sync_ed, kRoute, 4, 1, "video port to engine 1");
KOVA_FIELD(kExtSyncED, ext_sync_ed, kBit5, 5, 1, "sync bit 5");
KOVA_FIELD(kExtSyncED, ext_sync_ed, kBit6, 6, 1, "sync bit 6");
KOVA_REGISTER(kClockEE, sr(0xEE, "clock EE"));
KOVA_FIELD(kClockEE, clock_ee, kBit0, 0, 1, "clock bit 0");
KOVA_FIELD(kClockEE, clock_ee, kBit7, 7, 1, "clock bit 7");
KOVA_REGISTER(kClockEF, sr(0xEF, "clock EF"));
KOVA_FIELD(kClockEF, clock_ef, kBit0, 0, 1, "clock bit 0");
KOVA_FIELD(kClockEF, clock_ef, kEngine1, 1, 1, "capture engine 1 on the video port");
KOVA_FIELD(kClockEF, clock_ef, kSelect0, 2, 1, "clock select 0");
KOVA_FIELD(kClockEF, clock_ef, kVariant1, 3, 1, "variant 1");
KOVA_FIELD(kClockEF, clock_ef, kGenlock, 4, 2, "genlock bits 5-4");
KOVA_FIELD(kClockEF, clock_ef, kHigh, 6, 2, "kept bits 7-6");

// ---------------------------------------------------------------------------
// CR.

KOVA_REGISTER(kHorizontalTotal, cr(0x00, "horizontal total"));
KOVA_REGISTER(kHorizontalDisplayEnd, cr(0x01, "horizontal display end", {{{0, 8, "bits 7-0"}}}));
KOVA_REGISTER(kHorizontalBlankStart, cr(0x02, "horizontal blank start"));
KOVA_REGISTER(kHorizontalBlankEnd, cr(0x03, "horizontal blank end"));
KOVA_REGISTER(kHorizontalRetraceStart, cr(0x04, "horizontal retrace start"));
KOVA_REGISTER(kHorizontalRetraceEnd, cr(0x05, "horizontal retrace end"));
KOVA_REGISTER(kVerticalTotal, cr(0x06, "vertical total"));
KOVA_REGISTER(kOverflow, cr(0x07, "overflow"));
KOVA_FIELD(kOverflow, overflow, kVde8, 1, 1, "vertical display end bit 8");
KOVA_FIELD(kOverflow, overflow, kVde9, 6, 1, "vertical display end bit 9");
KOVA_REGISTER(kMaxScanLine, cr(0x09, "maximum scan line"));
KOVA_REGISTER(kVerticalRetraceStart, cr(0x10, "vertical retrace start"));
KOVA_REGISTER(kVerticalRetraceEnd, cr(0x11, "vertical retrace end", {{{7, 1, "protect CR 00-07"}}}));
KOVA_REGISTER(kVerticalDisplayEnd, cr(0x12, "vertical display end", {{{0, 8, "bits 7-0"}}}));
KOVA_REGISTER(kVerticalBlankStart, cr(0x15, "vertical blank start"));
KOVA_REGISTER(kVerticalBlankEnd, cr(0x16, "vertical blank end"));
KOVA_REGISTER(kCrtUnlock, cr(0x1F, "CRT unlock"));
KOVA_REGISTER(kSyncLock28, cr(0x28, "sync lock 28"));
KOVA_REGISTER(kSyncLock29, cr(0x29, "sync lock 29"));
KOVA_REGISTER(kSyncLock2A, cr(0x2A, "sync lock 2A"));
KOVA_REGISTER(kSyncLock2B, cr(0x2B, "sync lock 2B"));
KOVA_REGISTER(kExtendedHorizontal,
              cr(0x53, "extended horizontal", {{{1, 1, "horizontal display end bit 8"}}}));

// ---------------------------------------------------------------------------
// TV encoder.

// The first registers of the sync-lock TV images: 16-bit registers every 4
// bytes from E428, and 32-bit values as register pairs every 4 bytes from E530.
KOVA_REGISTER(kTvImage16First, tv(0xE428, "TV image 16-bit start"));
KOVA_REGISTER(kTvImage32First, tv(0xE530, "TV image 32-bit start"));
KOVA_REGISTER(kTvDacControl, tv(0xE430, "TV DAC control"));
KOVA_FIELD(kTvDacControl, tv_dac, kDrive0, 0, 1, "drive bit 0");
KOVA_FIELD(kTvDacControl, tv_dac, kDrive1, 1, 1, "drive bit 1");
KOVA_FIELD(kTvDacControl, tv_dac, kSenseCode, 6, 2, "sense code");
KOVA_FIELD(kTvDacControl, tv_dac, kDrive8, 8, 1, "drive bit 8");
KOVA_REGISTER(kTvStandard, tv(0xE438, "TV standard", {{{12, 1, "NTSC"}}}));
KOVA_REGISTER(kTvColourLevelA, tv(0xE440, "TV colour level A"));
KOVA_REGISTER(kTvColourLevelB, tv(0xE448, "TV colour level B"));
KOVA_REGISTER(kTvColourResult, tv(0xE454, "TV colour result", {{{8, 1, "colour right"}}}));
KOVA_REGISTER(kTvColourFlip, tv(0xE46C, "TV colour flip", {{{0, 1, "flip"}}}));
KOVA_REGISTER(kTvVcr, tv(0xE478, "TV VCR mode"));
KOVA_REGISTER(kTvDeferred, tv(0xE47C, "TV deferred"));
KOVA_REGISTER(kTvE4EC, tv(0xE4EC, "TV video clock E4EC", {{{3, 1, "NTSC video clock"}}}));
KOVA_REGISTER(kTvSenseMask, tv(0xE4FC, "TV sense mask"));
KOVA_REGISTER(kTvSenseLevel, tv(0xE500, "TV sense level"));
KOVA_REGISTER(kTvClockE5F0, tv(0xE5F0, "TV video clock E5F0"));
KOVA_REGISTER(kTvClockE5F2, tv(0xE5F2, "TV video clock E5F2"));
KOVA_REGISTER(kTvClockE5F4, tv(0xE5F4, "TV video clock E5F4"));
KOVA_REGISTER(kTvClockE5F6, tv(0xE5F6, "TV video clock E5F6"));
KOVA_FIELD(kTvClockE5F6, tv_e5f6, kBit1, 1, 1, "colour test clears bit 1");
KOVA_FIELD(kTvClockE5F6, tv_e5f6, kGenlock, 4, 2, "genlock bits");
KOVA_FIELD(kTvClockE5F6, tv_e5f6, kBit8, 8, 1, "colour test clears bit 8");
KOVA_REGISTER(kTvColourTestA, tv(0xE604, "TV colour test A"));
KOVA_REGISTER(kTvColourTestB, tv(0xE606, "TV colour test B"));

// ---------------------------------------------------------------------------
// Values the sequences write, named once.

// SR E4 while the display runs from the video clock, by standard.
namespace ext_sync_e4 {
inline constexpr std::uint8_t kVideoClockNtsc = 0x50;
inline constexpr std::uint8_t kVideoClockPal = 0x56;
} // namespace ext_sync_e4
constexpr std::uint8_t video_clock_e4(bool ntsc) {
    return ntsc ? ext_sync_e4::kVideoClockNtsc : ext_sync_e4::kVideoClockPal;
}

// The sync registers CR 28-2B, in the order of a row of the sync tables.
inline constexpr std::size_t kSyncRegisterCount = 4;
inline constexpr std::array<Address, kSyncRegisterCount> kSyncRegisters{kSyncLock28, kSyncLock29, kSyncLock2A,
                                                                        kSyncLock2B};

// ---------------------------------------------------------------------------
// Composite values: one value whose bits lie in fields of several registers,
// low bits first.  split() gives each part's field value, join() the value
// from the parts' register values; the library writes with the one and the
// state decoder reads with the other.

// One part of a composite: a field and its register, which the compiler checks
// belong together.
struct Part {
    template <typename L>
    constexpr Part(const RegisterOf<L> &r, FieldOf<L> f) : where(r), field(f) {}

    Address where;
    Field field;

    // Whether the field is its whole (byte) register.
    constexpr bool whole() const { return field.shift == 0 && field.width == 8 && where.span == 1; }
};

template <std::size_t N>
struct Composite {
    std::array<Part, N> parts;

    constexpr unsigned width() const {
        unsigned bits = 0;
        for (const Part &p : parts)
            bits += p.field.width;
        return bits;
    }
    constexpr std::uint32_t mask() const { return width() >= 32 ? ~0u : (1u << width()) - 1u; }
    // The value modulo 2^width(): for an address that wraps as the engine's
    // counter does.
    constexpr std::uint32_t wrap(std::uint32_t v) const { return v & mask(); }

    // Each part's field value, low part first.  A value too wide for the
    // composite is checked as set_value() checks a field's.
    constexpr std::array<std::uint32_t, N> split(std::uint32_t v) const {
        if (kCheckFieldValues && (v & ~mask()) != 0)
            field_overflow({0, static_cast<std::uint8_t>(width()), "composite value"}, v);
        std::array<std::uint32_t, N> values{};
        unsigned at = 0;
        for (std::size_t i = 0; i < N; ++i) {
            values[i] = (v >> at) & parts[i].field.low_bits();
            at += parts[i].field.width;
        }
        return values;
    }
    // The value from each part's whole register value, low part first.
    constexpr std::uint32_t join(const std::array<std::uint32_t, N> &register_values) const {
        std::uint32_t v = 0;
        unsigned at = 0;
        for (std::size_t i = 0; i < N; ++i) {
            v |= parts[i].field.extract(register_values[i]) << at;
            at += parts[i].field.width;
        }
        return v;
    }
};

// Start addresses (in 4-byte units) of capture engines 0 and 1's guards.
inline constexpr Composite<3> kGuard0Address{{{{kGuard0Low, kGuard0Low.field()},
                                               {kGuard0Mid, kGuard0Mid.field()},
                                               {kGuardHigh, guard_high::kEngine0}}}};
inline constexpr Composite<3> kGuard1Address{{{{kGuard1Low, kGuard1Low.field()},
                                               {kGuard1Mid, kGuard1Mid.field()},
                                               {kGuardHigh, guard_high::kEngine1}}}};
// The back buffer's address (in 4-byte units), and its copy in page 0x01.
inline constexpr Composite<3> kBackBufferAddress{{{{kBackBufferLow, kBackBufferLow.field()},
                                                   {kBackBufferMid, kBackBufferMid.field()},
                                                   {kBackBufferHigh, back_buffer_high::kAddress}}}};
inline constexpr Composite<3> kBackBufferCopyAddress{{{{kBackBufferCopyLow, kBackBufferCopyLow.field()},
                                                       {kBackBufferCopyMid, kBackBufferCopyMid.field()},
                                                       {kBackBufferHighCopy, kBackBufferHighCopy.field()}}}};
// An overlay window's pitch and fetch count (in 8-byte units).
inline constexpr Composite<2> kOvlPitchUnits{
    {{{kOvlPitch, kOvlPitch.field()}, {kOvlPitchHigh, ovl_pitch_high::kPitch}}}};
inline constexpr Composite<2> kOvlFetchUnits{
    {{{kOvlFetch, kOvlFetch.field()}, {kOvlPitchHigh, ovl_pitch_high::kFetch}}}};
// A capture engine's destination and an overlay window's source (in 4-byte
// units): one field over the bytes of one multi-byte register.
inline constexpr Composite<1> kCapDestination{{{{kCapAddress, kCapAddress.field()}}}};
inline constexpr Composite<1> kOvlSource{{{{kOvlStart, kOvlStart.field()}}}};

// ---------------------------------------------------------------------------
// Every register of the map, for programs that iterate, built from the
// declarations above.

template <int... N>
constexpr std::array<Declaration, sizeof...(N)> declarations(std::integer_sequence<int, N...>) {
    return {Declared<N>::value...};
}
inline constexpr auto kDeclarations =
    declarations(std::make_integer_sequence<int, __COUNTER__ - kCounterBefore - 1>{});
#undef KOVA_DECLARED
#undef KOVA_REGISTER
#undef KOVA_REGISTER_LIKE
#undef KOVA_FIELD

constexpr bool same_place(const Register &a, const Register &b) {
    return a.file == b.file && a.index == b.index && a.page == b.page;
}

constexpr std::size_t register_count() {
    std::size_t n = 0;
    for (const Declaration &d : kDeclarations)
        n += d.field.width == 0 ? 1 : 0;
    return n;
}

// Each register with its fields: its inline field, the named fields declared
// after it, or the fields of the register it is like.
constexpr std::array<Register, register_count()> registers() {
    std::array<Register, register_count()> out{};
    std::size_t n = 0;
    for (const Declaration &d : kDeclarations) {
        if (d.field.width == 0) {
            out[n++] = d.reg;
            for (std::size_t i = 0; d.like_another && i < n; ++i)
                if (same_place(out[i], d.fields_like)) out[n - 1].fields = out[i].fields;
        } else {
            Register &r = out[n - 1];
            r.fields[r.field_count()] = d.field;
        }
    }
    return out;
}
inline constexpr std::array<Register, register_count()> kRegisters = registers();

// Each field follows its own register.
constexpr bool fields_follow_their_registers() {
    std::size_t last = kDeclarations.size(); // none yet
    for (std::size_t i = 0; i < kDeclarations.size(); ++i) {
        const Declaration &d = kDeclarations[i];
        if (d.field.width == 0)
            last = i;
        else if (last == kDeclarations.size() || !same_place(kDeclarations[last].reg, d.reg))
            return false;
    }
    return true;
}
static_assert(fields_follow_their_registers(), "a KOVA_FIELD must follow its own register");

// No register is declared twice.
constexpr bool all_distinct() {
    for (std::size_t a = 0; a < kRegisters.size(); ++a)
        for (std::size_t b = a + 1; b < kRegisters.size(); ++b)
            if (same_place(kRegisters[a], kRegisters[b])) return false;
    return true;
}
static_assert(all_distinct(), "a register is declared twice");

// Every field lies inside its register and apart from the others.
constexpr bool fields_fit() {
    for (const Register &r : kRegisters) {
        std::uint32_t used = 0;
        for (std::size_t i = 0; i < r.field_count(); ++i) {
            const Field &f = r.fields[i];
            if (f.shift + f.width > r.width() || (used & f.mask()) != 0) return false;
            used |= f.mask();
        }
    }
    return true;
}
static_assert(fields_fit(), "a field lies outside its register or over another field");

// ---------------------------------------------------------------------------
// Paging derived from the map.

// The indexed file of an overlay window's registers: GR for window 0, SR for
// window 1.
constexpr File overlay_file(unsigned window) {
    return window == 1 ? File::SR : File::GR;
}

// The indexed file a register of the map lives in: CAP is GR; OVL is GR for
// window 0 and SR for window 1.
constexpr bool lives_in(const Register &r, File indexed_file) {
    switch (r.file) {
    case File::CAP:
        return indexed_file == File::GR;
    case File::OVL:
        return indexed_file == File::GR || indexed_file == File::SR;
    default:
        return r.file == indexed_file;
    }
}

// The pager of index `index` of the indexed file GR, SR or CR: the pager of
// the map's entries that cover it, None where the map has none.
constexpr Pager pager_of(File indexed_file, std::uint8_t index) {
    for (const Register &r : kRegisters)
        if (lives_in(r, indexed_file) && index >= r.index && index < r.index + r.span) return r.pager;
    return Pager::None;
}

constexpr std::array<Pager, 256> pagers_of(File indexed_file) {
    std::array<Pager, 256> pagers{};
    for (unsigned i = 0; i < 256; ++i)
        pagers[i] = pager_of(indexed_file, static_cast<std::uint8_t>(i));
    return pagers;
}

} // namespace kova::reg
