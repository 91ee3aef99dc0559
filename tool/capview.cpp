// capview: options, settings report, and the stop and start sequences that
// turn the settings into library calls.
#include "capview.h"

#include "capture.h"
#include "decode.h"
#include "common/privilege_hint.h"
#include "common/signal_hold.h"
#include "overlay.h"
#include "physmap.h"
#include "portmem.h"
#include "synclock.h"
#include "utility.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <iterator>
#include <string_view>

int srcWidth = 720;
int srcHeight = 576;
int destWidth = 720;
int destHeight = 576;
int offsetX = 0;
int offsetY = 0;
int shrinkX = 0;
int shrinkY = 0;
int bitclipWidth = 0;
int bitclipHeight = 0;
int overlayMode = 0;
int bDoubleBuf = 0;
int bBlank = 0;
int bSynclock = 0;
int tvMode = 3;
int bVerbose = 0;

void (*capview_after_sync_lock)(void) = nullptr;
int (*capview_before_registers)(void) = nullptr;

namespace {

constexpr const char *kProgramName = "capview";
constexpr const char *kVersion = "0.1";
constexpr const char *kShortOptions = "qbdov?w:W:h:H:x:X:y:Y:B:C:s:";

// The video memory that the mapping makes visible to the CPU and the engines
// address, the guard's 20-bit field of 4-byte units, and the capture pitch.
constexpr long kFrameBufferBytes = kova::decode::kVideoMemoryLength;
constexpr long long kVideoMemoryBytes = kova::decode::kVideoMemoryLength;
constexpr long long kGuardUnits = kova::decode::kCaptureAddressUnits;
constexpr int kMaxCapturePitch = kova::decode::kMaxCapturePitch;

// The buffer offset of the last start sequence (first KiB behind the screen).
std::uint32_t g_buffer_offset = 0;

const struct option long_options[] = {
    {"off", no_argument, nullptr, 'q'},
    {"bobmode", no_argument, nullptr, 'b'},
    {"destwidth", required_argument, nullptr, 'w'},
    {"destheight", required_argument, nullptr, 'h'},
    {"offsetx", required_argument, nullptr, 'x'},
    {"offsety", required_argument, nullptr, 'y'},
    {"shrinkx", required_argument, nullptr, 'X'},
    {"shrinky", required_argument, nullptr, 'Y'},
    {"sourcewidth", required_argument, nullptr, 'W'},
    {"sourceheight", required_argument, nullptr, 'H'},
    {"bitclipwidth", required_argument, nullptr, 'B'},
    {"bitclipheight", required_argument, nullptr, 'C'},
    {"doublebuffer", no_argument, nullptr, 'd'},
    {"blank", no_argument, nullptr, 'o'},
    {"verbose", no_argument, nullptr, 'v'},
    {"synclock", required_argument, nullptr, 's'},
    {"help", no_argument, nullptr, '?'},
    {nullptr, 0, nullptr, 0},
};

// A numeric option: the global it sets and its inclusive range.
// (cppcheck does not see the members read through find_if's result.)
struct NumericOption {
    char letter;
    // cppcheck-suppress unusedStructMember
    int *setting;
    // cppcheck-suppress unusedStructMember
    int low, high;
};

const NumericOption kNumericOptions[] = {
    {'w', &destWidth, 0, 1920},         {'W', &srcWidth, 0, 1920},    {'h', &destHeight, 0, 1080},
    {'H', &srcHeight, 0, 1080},         {'x', &offsetX, -1920, 1920}, {'X', &shrinkX, -1920, 1920},
    {'y', &offsetY, -1080, 1080},       {'Y', &shrinkY, -1080, 1080}, {'B', &bitclipWidth, -1920, 1920},
    {'C', &bitclipHeight, -1080, 1080},
};

// "-w, --destwidth" for diagnostics.
const char *long_name(int letter) {
    for (const struct option &o : long_options)
        if (o.name != nullptr && o.val == letter) return o.name;
    return "";
}

// True when the text is an optionally signed decimal number and nothing else.
bool plain_number(const char *text) {
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    if (*text == '-' || *text == '+') ++text;
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
    while (std::isdigit(static_cast<unsigned char>(*text)))
        ++text;
    return *text == '\0';
}

// The argument as atoi reads it: leading white space, an optional sign, then
// the leading digits; text without digits is 0.  A number beyond 32 bits is
// kept beyond them (saturated), so it falls outside every range instead of
// wrapping into one.
long long leading_integer(const char *text) {
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    long long value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text)
        value = std::min(value * 10 + (*text - '0'), static_cast<long long>(INT_MAX) + 1000);
    return negative ? -value : value;
}

// Diagnostics on standard error: a value out of its range (before the usage
// text) and one that is not a plain number (read as atoi reads it).
void say_out_of_range(int letter, const char *text, long long low, long long high) {
    std::fprintf(stderr, "%s: -%c, --%s: value '%s' is out of range (%lld to %lld)\n", kProgramName, letter,
                 long_name(letter), text, low, high);
}
void say_if_malformed(int letter, const char *text, long long value) {
    if (!plain_number(text))
        std::fprintf(stderr, "%s: warning: -%c, --%s: value '%s' is not a plain number; read as %lld\n",
                     kProgramName, letter, long_name(letter), text, value);
}

// The reason a mapping failed, with a hint at the usual causes.
void say_mapping_failure(int result, int error) {
    const char *hint = "";
    if (error == EACCES || error == EPERM)
        hint = result == -1 ? "; run as root"
                            : "; the kernel restricts /dev/mem (STRICT_DEVMEM): boot with iomem=relaxed";
    else if (error == ENODEV)
        hint = "; no display controller found";
    else if (error == ENXIO)
        hint = "; the aperture lies outside the display controller's memory";
    else if (error == ENOENT)
        hint = "; this system has no /dev/mem";
    std::fprintf(stderr, "%s: cannot map the controller: %s%s\n", kProgramName, std::strerror(error), hint);
}

// Warnings about settings the engines cannot hold, after the start sequence
// programmed them as they are.
void warn(const char *text) {
    std::fprintf(stderr, "%s: warning: %s\n", kProgramName, text);
}

void warn_buffer_past_memory(const char *what, long long start, long long end) {
    if (end <= kVideoMemoryBytes) return;
    char text[160];
    std::snprintf(text, sizeof text, "the %s (0x%llX to 0x%llX) runs past the 4 MiB of video memory", what,
                  start, end);
    warn(text);
}

void warn_unholdable_settings() {
    char text[160];
    const int pitch = bDoubleBuf == 1 ? srcWidth / 2 : srcWidth;
    if (pitch > kMaxCapturePitch) {
        std::snprintf(text, sizeof text, "capture pitch of %d pixels exceeds the engine's %d", pitch,
                      kMaxCapturePitch);
        warn(text);
    }

    const long long start = g_buffer_offset;
    const long long frame = static_cast<long long>(destWidth) * destHeight;
    const long long end = start + 2 * frame;
    if (bDoubleBuf == 1) {
        warn_buffer_past_memory("capture buffer", start, start + frame);
        warn_buffer_past_memory("back buffer", start + frame, end);
    } else {
        warn_buffer_past_memory("capture buffer", start, end);
    }
    // The guard lies one burst (of either bus width) before the end, in 4-byte units.
    using kova::decode::guard_burst;
    const long long end_units = end / kova::decode::kAddressUnit;
    if (end_units < guard_burst(true) / kova::decode::kAddressUnit ||
        end_units - guard_burst(false) / kova::decode::kAddressUnit >= kGuardUnits) {
        std::snprintf(text, sizeof text, "the capture guard address 0x%llX wraps into the visible screen",
                      end);
        warn(text);
    }

    const int left = offsetX + shrinkX / 2, top = offsetY + shrinkY / 2;
    const int right = offsetX + destWidth - shrinkX / 2, bottom = offsetY + destHeight - shrinkY / 2;
    if (right <= 0 || bottom <= 0 || left >= wScreenWidth || top >= wScreenHeight) {
        std::snprintf(text, sizeof text,
                      "the overlay window (%d,%d)-(%d,%d) lies entirely off the %ux%u screen", left, top,
                      right, bottom, wScreenWidth, wScreenHeight);
        warn(text);
    }

    const struct {
        const char *name;
        int value;
    } sizes[] = {{"source width", srcWidth},
                 {"source height", srcHeight},
                 {"destination width", destWidth},
                 {"destination height", destHeight}};
    for (const auto &size : sizes) {
        if (size.value != 0) continue;
        std::snprintf(text, sizeof text, "%s is 0: the engines scale from or to nothing", size.name);
        warn(text);
    }
}

// The low 16 bits of a setting, for the library's 16-bit arguments.
unsigned short u16(long value) {
    return static_cast<unsigned short>(value);
}

void print_settings_report() {
    std::printf("Overlaymode:  %d\n", overlayMode);
    std::printf("DestWidth:    %d\n", destWidth);
    std::printf("DestHeight:   %d\n", destHeight);
    std::printf("Offset x:     %d\n", offsetX);
    std::printf("Offset y:     %d\n", offsetY);
    std::printf("Shrink x:     %d\n", shrinkX);
    std::printf("Shrink y:     %d\n", shrinkY);
    std::printf("BitClWidth:   %d\n", bitclipWidth);
    std::printf("BitClHeight:  %d\n", bitclipHeight);
    std::printf("SourceWidth:  %d\n", srcWidth);
    std::printf("SourceHeight: %d\n", srcHeight);
    std::printf("DoubleBuffer: %d\n", bDoubleBuf);
    std::printf("Blank Output: %d\n", bBlank);
    std::printf("Synclock:     %d - %d\n", bSynclock, tvMode);
}

// Clears the screen rectangle under the window, clipped to the visible screen
// and to the mapped frame buffer.
void blank_window_area() {
    const int bytes_per_pixel = std::max(bBpp / 8, 1);
    const int right = std::min(destWidth, static_cast<int>(wScreenWidth));
    int bottom = std::min(destHeight, static_cast<int>(wScreenHeight));
    const long row_bytes = static_cast<long>(wScreenWidth) * bytes_per_pixel;
    if (row_bytes > 0) bottom = static_cast<int>(std::min<long>(bottom, kFrameBufferBytes / row_bytes));
    FillRect(0, 0, u16(right), u16(bottom), 0);
}

// -s, --synclock MODE: an out-of-range mode is no error, the lock keeps the
// last mode.
void take_synclock_mode(const char *value) {
    const long long mode = leading_integer(value);
    say_if_malformed('s', value, mode);
    if (mode >= 0 && mode < KOVA_PAL_MODES) // capview locks to PAL
        tvMode = static_cast<int>(mode);
    else
        std::fprintf(stderr, "%s: warning: -s, --synclock: mode '%s' is out of range (0 to %d); keeping %d\n",
                     kProgramName, value, KOVA_PAL_MODES - 1, tvMode);
    bSynclock = 1;
}

// A numeric option's value into its setting; false for an option that is not
// numeric (-?, --help, an unknown option or a missing argument) or a value
// out of its range.
bool take_numeric(int option, const char *value) {
    const auto *const numeric = std::find_if(std::begin(kNumericOptions), std::end(kNumericOptions),
                                             [option](const NumericOption &o) { return o.letter == option; });
    if (numeric == std::end(kNumericOptions)) return false;
    const long long number = leading_integer(value);
    if (number < numeric->low || number > numeric->high) {
        say_out_of_range(option, value, numeric->low, numeric->high);
        return false;
    }
    say_if_malformed(option, value, number);
    *numeric->setting = static_cast<int>(number);
    return true;
}

// The whole command line into the settings; false after any error (every
// option is still read, each told about).
bool parse_options(int argc, char **argv, bool &stop_only) {
    bool ok = true;
    int option;
    while ((option = getopt_long(argc, argv, kShortOptions, long_options, nullptr)) != -1) {
        switch (option) {
        case 'q':
            stop_only = true;
            break;
        case 'b':
            overlayMode = 1;
            break;
        case 'd':
            bDoubleBuf = 1;
            break;
        case 'o':
            bBlank = 1;
            break;
        case 'v':
            bVerbose = 1;
            break;
        case 's':
            take_synclock_mode(optarg);
            break;
        default:
            ok = take_numeric(option, optarg) && ok;
            break;
        }
    }
    return ok;
}

// With -v, what the run will do, on standard output before any register access.
void report_settings(bool stop_only) {
    if (bVerbose == 1) {
        if (stop_only)
            std::printf("Overlay mode stopped\n");
        else
            print_settings_report();
    }
    std::fflush(stdout);
}

// The stop sequence and, unless -q, the start sequence, a signal held until
// both are done: 0, or 2 when the controller cannot be mapped.
int run_sequences(bool stop_only) {
    const kova::tool::SignalHold hold;
    errno = 0;
    if (const int mapped = DisableOverlay(); mapped != 0) {
        say_mapping_failure(mapped, errno);
        return 2;
    }
    if (!stop_only) EnableOverlay();
    return 0;
}

} // namespace

extern "C" {

void Usage(void) {
    std::printf("\nUsage : %s [args]\n", kProgramName);
    std::printf(" Valid arguments:\n");
    std::printf("  -q, --off:            disable Overscan\n");
    std::printf("  -b, --bobmode:        use BOBMODE (default: WEAVEMODE)\n");
    std::printf("  -w, --destwidth:      destination width (720)\n");
    std::printf("  -h, --destheight:     destination height (576)\n");
    std::printf("  -x, --offsetx:        horizontal offset (0)\n");
    std::printf("  -y, --offsety:        vertical offset (0)\n");
    std::printf("  -X, --shrinkx:        horizontal shrink (0)\n");
    std::printf("  -Y, --shrinky:        vertical shrink (0)\n");
    std::printf("  -B, --bitclipwidth:   horizontal cut (0)\n");
    std::printf("  -C, --bitclipheight:  vertical cut (0)\n");
    std::printf("  -W, --sourcewidth:    source width (720)\n");
    std::printf("  -H, --sourceheight:   source height (576)\n");
    std::printf("  -d, --doublebuffer:   use doubleBuffer (for LCD TV)\n");
    std::printf("  -o, --blank:          clear output\n");
    std::printf("  -s, --synclock:       use synclock function\n");
    std::printf("      [0=640x480; 1=720x540; 2=768x576; 3=720x576]\n");
    std::printf("  -v, --verbose:        be verbose\n");
}

int capview_takes_value(const char *arg) {
    const std::string_view text = arg;
    if (text.starts_with("--")) {
        const std::string_view name = text.substr(2);
        if (name.find('=') != std::string_view::npos) return 0;
        const struct option *match = nullptr;
        int matches = 0;
        for (const struct option &o : long_options) {
            if (o.name == nullptr) break;
            if (name == o.name) return o.has_arg == required_argument;
            if (std::string_view(o.name).starts_with(name)) {
                match = &o;
                ++matches;
            }
        }
        return matches == 1 && match->has_arg == required_argument;
    }
    if (!text.starts_with("-") || text.size() < 2) return 0;
    const std::string_view letters = kShortOptions;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const auto at = letters.find(text[i]);
        if (at != std::string_view::npos && at + 1 < letters.size() && letters[at + 1] == ':')
            return i + 1 == text.size();
    }
    return 0;
}

int DisableOverlay(void) {
    const int mapped = MapKOVAMemory();
    if (mapped != 0) return mapped; // nothing is mapped: no register may be touched
    Kova_CaptureOff();
    Kova_EnableDoubleBuffer(0);
    Kova_CaptureCleanUp();
    Kova_SelectOverlayIndex(0);
    Kova_OverlayOff();
    Kova_SelectOverlayIndex(1);
    Kova_OverlayOff();
    Kova_OverlayCleanUp();
    if (bSynclock != 0) Kova_CleanupSyncLock();
    return 0;
}

void EnableOverlay(void) {
    SetEnvironmentVariables();
    // The buffer starts at the first KiB of video memory behind the visible screen.
    const std::uint32_t buffer = static_cast<std::uint32_t>(GetCurrentScreenMapSize(0)) * 1024u;
    g_buffer_offset = buffer;

    Kova_SelectOverlayIndex(0);
    if (bDoubleBuf == 1) destWidth -= destWidth % 8;
    Kova_SetOverlayFormat(0);
    Kova_SetOverlayMode(1);
    Kova_SetOverlaySrcAddr(buffer, 0, 0, u16(srcWidth), u16(srcWidth));
    Kova_SetOverlayWindow(u16(offsetX + shrinkX / 2), u16(offsetY + shrinkY / 2),
                          u16(offsetX + destWidth - shrinkX / 2), u16(offsetY + destHeight - shrinkY / 2));
    Kova_SetOverlayScale(static_cast<unsigned char>(overlayMode), u16(srcWidth), u16(destWidth),
                         u16(srcHeight), u16(bDoubleBuf == 1 ? 2 * destHeight : destHeight));
    Kova_ChangeOverlayFIFO();
    Kova_OverlayOn();

    Kova_SelectCaptureIndex(0);
    Kova_InitCapture(1);
    Kova_SetCapSrcWindow(u16(bitclipWidth), u16(bitclipWidth + srcWidth), u16(bitclipHeight),
                         u16(srcHeight / 2 + bitclipHeight));
    if (bDoubleBuf == 1) {
        Kova_SetCapDstAddr(buffer, 0, 0, u16(srcWidth / 2));
        Kova_SetBackBuffer_addr(buffer + static_cast<std::uint32_t>(destWidth * destHeight));
        Kova_EnableDoubleBuffer(1);
    } else {
        Kova_SetCapDstAddr(buffer, 0, 0, u16(srcWidth));
    }
    Kova_SetCaptureScale(u16(srcWidth), u16(destWidth - shrinkX), u16(srcHeight / 2),
                         u16(destHeight - shrinkY), 1);
    Kova_InvertFieldPolarity(0);
    Kova_CaptureOn();
    Kova_SetCapSafeGuardAddr(buffer + static_cast<std::uint32_t>(2 * destWidth * destHeight));

    if (bBlank != 0) blank_window_area();
    if (bSynclock != 0) {
        Kova_DoSyncLock(0, 0, u16(tvMode), 1);
        Kova_SetTVColor();
        if (capview_after_sync_lock != nullptr) capview_after_sync_lock();
    }
}

int capview_main(int argc, char **argv) {
    std::printf("%s v%s\n", kProgramName, kVersion);
    const bool privileged = RequestIOPrivilege() == 0;
    const int privilege_error = errno;
    bool stop_only = false;
    if (!parse_options(argc, argv, stop_only)) {
        Usage();
        return 1;
    }
    report_settings(stop_only);
    if (!privileged) {
        std::fprintf(stderr, "%s: I/O privilege refused (iopl 3): %s; %s\n", kProgramName,
                     std::strerror(privilege_error), kova::tool::privilege_hint());
        return 2;
    }
    if (capview_before_registers != nullptr) {
        if (const int status = capview_before_registers(); status != 0) return status;
    }
    if (const int status = run_sequences(stop_only); status != 0) return status;
    if (!stop_only) warn_unholdable_settings();
    return 0;
}

} // extern "C"
