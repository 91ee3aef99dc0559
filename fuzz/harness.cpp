#include "harness.h"

#include "capture.h"
#include "capview.h"
#include "controller.h"
#include "overlay.h"
#include "physmap.h"
#include "portmem.h"
#include "save_areas.h"
#include "synclock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <getopt.h>
#include <unistd.h>

namespace kova::fuzz {

std::vector<std::string> split_arguments(const std::uint8_t *data, std::size_t size) {
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start < size) {
        const auto *end = static_cast<const std::uint8_t *>(std::memchr(data + start, 0, size - start));
        const std::size_t stop = end != nullptr ? static_cast<std::size_t>(end - data) : size;
        arguments.emplace_back(reinterpret_cast<const char *>(data + start), stop - start);
        start = stop + 1;
    }
    return arguments;
}

Argv::Argv(const char *program, const std::vector<std::string> &arguments) {
    strings_.reserve(arguments.size() + 1);
    strings_.emplace_back(program);
    strings_.insert(strings_.end(), arguments.begin(), arguments.end());
    for (std::string &s : strings_)
        pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
}

namespace {

std::string make_scratch_dir() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kova-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("kova fuzz: mkdtemp");
        std::abort();
    }
    setenv("KOVA_STATE_DIR", (pattern + "/state").c_str(), 1);
    return pattern;
}

void remove_scratch_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_dir(), ignored);
}

// One global of the library or of capview: where it lives and its value at
// start-up (static initialisation is over before any fuzz target runs).
struct Global {
    Global(void *where, std::size_t bytes)
        : address(where), size(bytes),
          start_up(static_cast<unsigned char *>(where), static_cast<unsigned char *>(where) + bytes) {}
    void *address;
    std::size_t size;
    std::vector<unsigned char> start_up;
};

#define KOVA_GLOBAL(name) Global(static_cast<void *>(&(name)), sizeof(name))

// Adds a part of the library's flags and save areas (save_areas.h).
template <std::size_t N>
void add_areas(std::vector<Global> &list, const save::Area (&part)[N]) {
    for (const save::Area &area : part)
        list.emplace_back(area.data, area.size());
}

// Every global that the library's public headers and capview.h export as
// writable.  A global missing here leaks state from one input to the next;
// the capview target runs each input twice and stops on a differing trace.
std::vector<Global> make_globals() {
    std::vector<Global> list = {
        // capview's settings
        KOVA_GLOBAL(srcWidth),
        KOVA_GLOBAL(srcHeight),
        KOVA_GLOBAL(destWidth),
        KOVA_GLOBAL(destHeight),
        KOVA_GLOBAL(offsetX),
        KOVA_GLOBAL(offsetY),
        KOVA_GLOBAL(shrinkX),
        KOVA_GLOBAL(shrinkY),
        KOVA_GLOBAL(bitclipWidth),
        KOVA_GLOBAL(bitclipHeight),
        KOVA_GLOBAL(overlayMode),
        KOVA_GLOBAL(bDoubleBuf),
        KOVA_GLOBAL(bBlank),
        KOVA_GLOBAL(bSynclock),
        KOVA_GLOBAL(tvMode),
        KOVA_GLOBAL(bVerbose),
        KOVA_GLOBAL(capview_before_registers),
        KOVA_GLOBAL(capview_after_sync_lock),
        // register window, frame buffer and screen environment
        KOVA_GLOBAL(pFB),
        KOVA_GLOBAL(pMMIO),
        KOVA_GLOBAL(dwMEM_IO_BASE),
        KOVA_GLOBAL(dwLINEAR_BASE),
        KOVA_GLOBAL(wScreenWidth),
        KOVA_GLOBAL(wScreenHeight),
        KOVA_GLOBAL(bBpp),
        // engine selectors and the overlay save area
        KOVA_GLOBAL(wCaptureIndex),
        KOVA_GLOBAL(wMaxCaptureNum),
        KOVA_GLOBAL(wOverlayIndex),
        KOVA_GLOBAL(wMaxOverlayNum),
        KOVA_GLOBAL(wBytePerPixel),
        KOVA_GLOBAL(bInitialized),
        KOVA_GLOBAL(savedReg74),
        KOVA_GLOBAL(savedReg75),
        KOVA_GLOBAL(savedRegD9),
        KOVA_GLOBAL(savedRegDA),
        KOVA_GLOBAL(savedRegDD),
    };
    // the sync-lock and video-clock flags and save areas, and the caller bytes
    add_areas(list, save::kSyncLock);
    add_areas(list, save::kVideoClock);
    add_areas(list, save::kCallerBytes);
    return list;
}

std::vector<Global> &globals() {
    static std::vector<Global> list = make_globals();
    return list;
}

#undef KOVA_GLOBAL

} // namespace

const std::string &scratch_dir() {
    static const std::string dir = make_scratch_dir();
    // Registered once dir is complete, so that it runs before dir's destructor.
    static const bool removed_at_exit = std::atexit(remove_scratch_dir) == 0;
    (void)removed_at_exit;
    return dir;
}

void silence_stdout() {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
}

void reset_globals() {
    for (Global &g : globals())
        std::memcpy(g.address, g.start_up.data(), g.size);
}

std::vector<unsigned char> globals_image() {
    std::vector<unsigned char> image;
    for (const Global &g : globals()) {
        const auto *bytes = static_cast<const unsigned char *>(g.address);
        image.insert(image.end(), bytes, bytes + g.size);
    }
    return image;
}

void reset_process_state() {
    reset_globals();
    optind = 0; // glibc: a full reinitialisation of getopt, including its scan position
    sim::controller().reset();
    std::error_code ignored; // the state directory (lock-state record) as a fresh machine has it: none
    std::filesystem::remove_all(scratch_dir() + "/state", ignored);
}

void start_program_target() {
    scratch_dir();
    silence_stdout();
    reset_process_state(); // the first call records the globals at start-up
}

ProgramRun run_program(const char *program, int (*main)(int, char **), const std::vector<std::string> &args) {
    reset_process_state();
    Argv argv(program, args);
    const int status = main(argv.argc(), argv.argv());
    std::fflush(stdout);
    return {status, sim::controller().events()};
}

bool same_run(const ProgramRun &a, const ProgramRun &b) {
    return a.status == b.status && a.events.size() == b.events.size() &&
           std::equal(a.events.begin(), a.events.end(), b.events.begin(), [](const auto &x, const auto &y) {
               return x.kind == y.kind && x.failed == y.failed && x.address == y.address &&
                      x.value == y.value;
           });
}

} // namespace kova::fuzz
