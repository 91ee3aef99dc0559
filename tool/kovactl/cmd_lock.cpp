// synclock, genlock, videoclock, crt and fetch: the timing locks and the
// helpers under them.  A lock's save areas outlive this process in the
// lock-state record, so that a later run can undo it.
#include "json.h"
#include "kovactl.h"
#include "lock_state.h"
#include "session.h"
#include "state_dir.h"
#include "synclock.h"

#include <cstdlib>
#include <utility>

namespace kova::ctl {

namespace {

constexpr const char *kStandards = "pal|ntsc"; // position = the library's standard (0 PAL, 1 NTSC)
constexpr std::uint32_t kModes[2] = {KOVA_PAL_MODES, KOVA_NTSC_MODES}; // by standard

// The directory of the lock-state record.  A simulated run uses one only when
// asked (--state-dir, KOVA_STATE_DIR or a card's own), so that it never
// touches the hardware's record.
bool record_dir(const Options &options, std::string &dir) {
    if (kSimulatedFlavour && !options.state_dir_given && !std::getenv("KOVA_STATE_DIR") &&
        options.card.empty())
        return false;
    dir = state_directory(options);
    return true;
}

// Before a command that uses the record: a simulated run keeps out of the
// hardware's directory, and when the command `writes` the record the
// directory can take it (else the lock could not be undone later).  kExitOk,
// or the status after a message; nothing touched.
int check_record_dir(const Options &options, bool writes) {
    std::string dir, reason;
    if (options.dry_run || !record_dir(options, dir)) return kExitOk;
    if (kSimulatedFlavour && tool::is_default_state_dir(dir))
        return error(
            kExitFailure,
            "%s is the hardware's state directory; a simulated run records its locks elsewhere (--state-dir)",
            dir.c_str());
    if (writes && !tool::writable_state_dir(dir, reason))
        return error(kExitFailure, "the lock-state record cannot be written: %s; nothing done",
                     reason.c_str());
    return kExitOk;
}

// Loads the record into the library's flags and save areas; before anything
// is mapped, so that a missing or damaged record touches no register.
int load_record(const Options &options, bool writes) {
    std::string dir, reason;
    if (!record_dir(options, dir)) {
        error(kExitFailure, "no lock-state record in a simulated run without --state-dir");
        return kExitFailure;
    }
    if (const int s = check_record_dir(options, writes)) return s;
    if (tool::load_lock_state(dir, reason) != tool::LockStateLoad::Ok) {
        error(kExitFailure, "%s", reason.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

// What the loaded record holds, by the library's flags.
std::string record_kind() {
    std::string kind;
    for (const auto &[flag, name] :
         {std::pair{wSyncLock, "a sync lock"}, std::pair{wSyncLockGM, "a genlock-mode lock"},
          std::pair{wExtClock, "a video-clock switch"}})
        if (flag != 0) kind += (kind.empty() ? "" : " and ") + std::string(name);
    return kind;
}

// Loads the record, which must hold the lock that the command works on:
// otherwise the library would do nothing and the command seem done.
int load_lock(const Options &options, const unsigned short &flag, const char *lock, bool writes) {
    if (const int s = load_record(options, writes)) return s;
    if (flag != 0) return kExitOk;
    return error(kExitFailure, "the lock-state record holds %s, not %s; nothing done", record_kind().c_str(),
                 lock);
}

// The prepare step of each command that loads the record; an undo rewrites
// or removes it afterwards.
int undo_sync_lock(const Options &options, const Args &) {
    return load_lock(options, wSyncLock, "a sync lock", true);
}
int load_sync_lock(const Options &options, const Args &) {
    return load_lock(options, wSyncLock, "a sync lock", false);
}
int undo_genlock(const Options &options, const Args &) {
    return load_lock(options, wSyncLockGM, "a genlock-mode lock", true);
}
int undo_video_clock(const Options &options, const Args &) {
    return load_lock(options, wExtClock, "a video-clock switch", true);
}
int load_any_record(const Options &options, const Args &) {
    return load_record(options, false);
}

void record(const Options &options) {
    std::string dir, reason;
    if (options.dry_run || !record_dir(options, dir)) return;
    if (!tool::record_lock_state(dir, reason))
        error(kExitFailure, "warning: lock state not recorded: %s", reason.c_str());
}

int settle(const Options &options) {
    std::string dir, reason;
    if (options.dry_run || !record_dir(options, dir)) return kExitOk;
    if (tool::settle_lock_state(dir, reason)) return kExitOk;
    error(kExitFailure, "the clean-up ran, but the lock-state record was not updated: %s", reason.c_str());
    return kExitFailure;
}

// Arguments shared by the lock commands: MODE, then --standard, --clock, --variant.
constexpr ArgSpec kLockArgs[] = {
    {"MODE", ArgSpec::Kind::Number, 0, 3},    {"--standard", ArgSpec::Kind::Option, 0, 0, kStandards},
    {"--clock", ArgSpec::Kind::Option, 0, 1}, {"--variant", ArgSpec::Kind::Option, 0, 1, nullptr, false, 1},
    {"--no-color", ArgSpec::Kind::Flag},
};
struct LockArgs {
    unsigned short standard, mode, clock;
    unsigned char variant;
};

int lock_args(const char *what, const Args &a, LockArgs &out) {
    out.mode = static_cast<unsigned short>(a.value[0]);
    out.standard = static_cast<unsigned short>(a.value[1]);
    out.clock = static_cast<unsigned short>(a.value[2]);
    out.variant = static_cast<unsigned char>(a.value[3]);
    if (out.mode >= kModes[out.standard])
        return error(kExitUsage, "%s: MODE must be a number from 0 to %u for %s, not \"%.*s\"", what,
                     kModes[out.standard] - 1, out.standard ? "NTSC" : "PAL",
                     static_cast<int>(a.text[0].size()), a.text[0].data());
    return kExitOk;
}

int check_sync_lock(const Options &options, const Args &a) {
    LockArgs l;
    if (const int s = lock_args("synclock on", a, l)) return s;
    return check_record_dir(options, true);
}
int check_genlock(const Options &options, const Args &a) {
    LockArgs l;
    if (const int s = lock_args("genlock on", a, l)) return s;
    return check_record_dir(options, true);
}
int check_videoclock(const Options &options, const Args &a) {
    LockArgs l;
    if (const int s = lock_args("videoclock on", a, l)) return s;
    return check_record_dir(options, true);
}
int check_output(const Options &options, const Args &a) {
    LockArgs l;
    Args shifted = a; // MODE is the second argument here
    shifted.value[0] = a.value[1];
    shifted.text[0] = a.text[1];
    shifted.value[1] = a.value[2];
    shifted.value[3] = a.value[3];
    if (const int s = lock_args("genlock output", shifted, l)) return s;
    return load_lock(options, wSyncLockGM, "a genlock-mode lock", false);
}

int sync_lock_on(const Options &options, const Args &a) {
    LockArgs l;
    lock_args("synclock on", a, l);
    Kova_DoSyncLock(l.clock, l.standard, l.mode, l.variant);
    if (!a.given[4]) Kova_SetTVColor();
    record(options);
    return kExitOk;
}

int sync_lock_off(const Options &options, const Args &) {
    Kova_CleanupSyncLock();
    return settle(options);
}

int vcr(const Options &, const Args &a) {
    Kova_SetVCRMode(static_cast<unsigned short>(a.value[0]));
    return kExitOk;
}

int tv_mode(const Options &options, const Args &) {
    const char *standard = Kova_GetTVMode() == 1 ? "NTSC" : "PAL";
    if (options.json)
        print_json(JsonObject().add("standard", standard));
    else
        std::printf("%s\n", standard);
    return kExitOk;
}

int genlock_on(const Options &options, const Args &a) {
    LockArgs l;
    lock_args("genlock on", a, l);
    Kova_SetSyncLockGM(l.clock, l.standard, l.mode, l.variant);
    record(options);
    return kExitOk;
}

int genlock_off(const Options &options, const Args &) {
    Kova_CleanupSyncLockGM();
    return settle(options);
}

int genlock_output(const Options &, const Args &a) {
    Kova_OutputSyncLockVideo(static_cast<unsigned short>(a.value[0]), static_cast<unsigned short>(a.value[2]),
                             static_cast<unsigned short>(a.value[1]), static_cast<unsigned char>(a.value[3]));
    return kExitOk;
}

int video_clock_on(const Options &options, const Args &a) {
    LockArgs l;
    lock_args("videoclock on", a, l);
    Kova_ChangeToVideoClk(l.clock, l.standard, l.variant, 1, l.mode);
    record(options);
    return kExitOk;
}

int video_clock_off(const Options &options, const Args &) {
    Kova_ChangeToVideoClk(0, 0, 0, 0, 0); // switching back reads only the save area
    return settle(options);
}

int crt_write(const Options &, const Args &a) {
    WriteCrt(static_cast<unsigned short>(a.value[0]), static_cast<unsigned short>(a.value[1]));
    return kExitOk;
}
int check_crt_write(const Options &, const Args &a) {
    if (a.value[1] >= kModes[a.value[0]])
        return error(kExitUsage, "crt write: MODE must be a number from 0 to %u for %s, not \"%.*s\"",
                     kModes[a.value[0]] - 1, a.value[0] ? "NTSC" : "PAL", static_cast<int>(a.text[1].size()),
                     a.text[1].data());
    return kExitOk;
}

int crt_cleanup(const Options &, const Args &) {
    CleanupCrt();
    return kExitOk;
}

int fetch(const Options &, const Args &a) {
    ResetDisplayFetch(static_cast<unsigned short>(a.value[0]));
    return kExitOk;
}

constexpr ArgSpec kOnOff[] = {{"on|off", ArgSpec::Kind::Choice, 0, 0, "off|on"}};
constexpr ArgSpec kVideoClockArgs[] = {
    {"MODE", ArgSpec::Kind::Number, 0, 3},
    {"--standard", ArgSpec::Kind::Option, 0, 0, kStandards},
    {"--clock", ArgSpec::Kind::Option, 0, 1},
    {"--variant", ArgSpec::Kind::Option, 0, 1, nullptr, false, 1},
};
constexpr ArgSpec kOutputArgs[] = {
    {"on|off", ArgSpec::Kind::Choice, 0, 0, "off|on"},
    {"MODE", ArgSpec::Kind::Number, 0, 3},
    {"--standard", ArgSpec::Kind::Option, 0, 0, kStandards},
    {"--variant", ArgSpec::Kind::Option, 0, 1, nullptr, false, 1},
};
constexpr ArgSpec kCrtArgs[] = {{"pal|ntsc", ArgSpec::Kind::Choice, 0, 0, kStandards},
                                {"MODE", ArgSpec::Kind::Number, 0, 3}};
constexpr ArgSpec kFetchArgs[] = {{"release|hold", ArgSpec::Kind::Choice, 0, 0, "release|hold"}};

constexpr Command kCommands[] = {
    {.name = "synclock",
     .word = "on",
     .args = kLockArgs,
     .writes = true,
     .handler = sync_lock_on,
     .help =
         "lock display and TV encoder to the video input (PAL modes 0-3: 640x480, 720x540, 768x576, 720x576; "
         "NTSC 0-2: 640x480, 720x480, 640x440); records the lock",
     .prepare = check_sync_lock},
    {.name = "synclock",
     .word = "off",
     .writes = true,
     .handler = sync_lock_off,
     .help = "undo the recorded sync lock",
     .prepare = undo_sync_lock},
    {.name = "synclock",
     .word = "vcr",
     .args = kOnOff,
     .writes = true,
     .handler = vcr,
     .help = "VCR setting of the recorded sync lock",
     .prepare = load_sync_lock},
    {.name = "synclock", .word = "tvmode", .handler = tv_mode, .help = "the TV encoder's standard"},
    {.name = "genlock",
     .word = "on",
     .args = kVideoClockArgs,
     .writes = true,
     .handler = genlock_on,
     .help = "genlock-mode sync lock, video output off; records the lock",
     .prepare = check_genlock},
    {.name = "genlock",
     .word = "off",
     .writes = true,
     .handler = genlock_off,
     .help = "undo the recorded genlock-mode lock",
     .prepare = undo_genlock},
    {.name = "genlock",
     .word = "output",
     .args = kOutputArgs,
     .writes = true,
     .handler = genlock_output,
     .help = "switch the video output of the recorded genlock-mode lock",
     .prepare = check_output},
    {.name = "videoclock",
     .word = "on",
     .args = kVideoClockArgs,
     .writes = true,
     .handler = video_clock_on,
     .help = "run the display from the video clock; records the switch",
     .prepare = check_videoclock},
    {.name = "videoclock",
     .word = "off",
     .writes = true,
     .handler = video_clock_off,
     .help = "back to the recorded own clock",
     .prepare = undo_video_clock},
    {.name = "crt",
     .word = "write",
     .args = kCrtArgs,
     .writes = true,
     .handler = crt_write,
     .help = "CRT timing of a TV mode and a 27 MHz pixel clock",
     .prepare = check_crt_write},
    {.name = "crt",
     .word = "cleanup",
     .writes = true,
     .handler = crt_cleanup,
     .help = "put back the CRT timing and clock saved in the lock-state record",
     .prepare = load_any_record},
    {.name = "fetch",
     .args = kFetchArgs,
     .writes = true,
     .handler = fetch,
     .help = "hold or release the display fetch"},
};

} // namespace

std::span<const Command> lock_commands() {
    return kCommands;
}

} // namespace kova::ctl
