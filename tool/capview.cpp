// capview: options, settings report, and the stop and start sequences that
// turn the settings into library calls.
#include "capview.h"

#include "capture.h"
#include "overlay.h"
#include "physmap.h"
#include "portmem.h"
#include "synclock.h"
#include "utility.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <getopt.h>
#include <iterator>

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

namespace {

constexpr const char *kProgramName = "capview";
constexpr const char *kVersion = "0.1";
constexpr const char *kShortOptions = "qbdov?w:W:h:H:x:X:y:Y:B:C:s:";

// The frame buffer that the mapping makes visible to the CPU.
constexpr long kFrameBufferBytes = 0x400000;

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
struct NumericOption {
    char letter;
    int *setting;
    int low, high;
};

const NumericOption kNumericOptions[] = {
    {'w', &destWidth, 0, 1920},         {'W', &srcWidth, 0, 1920},    {'h', &destHeight, 0, 1080},
    {'H', &srcHeight, 0, 1080},         {'x', &offsetX, -1920, 1920}, {'X', &shrinkX, -1920, 1920},
    {'y', &offsetY, -1080, 1080},       {'Y', &shrinkY, -1080, 1080}, {'B', &bitclipWidth, -1920, 1920},
    {'C', &bitclipHeight, -1080, 1080},
};

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

    bool stop_only = false;
    bool error = false;
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
        case 's': {
            const long long mode = leading_integer(optarg);
            if (mode >= 0 && mode <= 3) tvMode = static_cast<int>(mode);
            bSynclock = 1; // an out-of-range mode is no error: the lock keeps the last mode
            break;
        }
        default: {
            const auto numeric =
                std::find_if(std::begin(kNumericOptions), std::end(kNumericOptions),
                             [option](const NumericOption &o) { return o.letter == option; });
            if (numeric == std::end(kNumericOptions)) {
                error = true; // -?, --help, an unknown option or a missing argument
                break;
            }
            const long long value = leading_integer(optarg);
            if (value >= numeric->low && value <= numeric->high)
                *numeric->setting = static_cast<int>(value);
            else
                error = true;
            break;
        }
        }
    }

    if (error) {
        Usage();
        return 1;
    }
    if (bVerbose == 1) {
        if (stop_only)
            std::printf("Overlay mode stopped\n");
        else
            print_settings_report();
    }
    std::fflush(stdout);
    if (!privileged) {
        std::fprintf(stderr, "%s: I/O privilege refused (iopl 3); run as root on an x86 machine\n",
                     kProgramName);
        return 2;
    }

    if (DisableOverlay() != 0) return 2;
    if (!stop_only) EnableOverlay();
    return 0;
}

} // extern "C"
