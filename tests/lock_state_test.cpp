// The lock-state record: a lock recorded in one "process" (the library's
// globals as a lock left them) and undone after the globals were reset, its
// corruptions, and a lock over a recorded lock.
#include "lock_state.h"
#include "register_names.h"
#include "synclock_fixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace {

using namespace kova::tool;
namespace fs = std::filesystem;

std::vector<unsigned char> read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string &path, const std::vector<unsigned char> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Every library global the record covers, as bytes, to compare states.
std::vector<unsigned char> library_state() {
    std::vector<unsigned char> s;
    const auto add = [&s](const void *p, std::size_t n) {
        s.insert(s.end(), static_cast<const unsigned char *>(p), static_cast<const unsigned char *>(p) + n);
    };
    for (const void *p : {&wSyncLock, &wSyncLockGM, &wVStandard, &wVCRMode, &wExtClock})
        add(p, 2);
    add(wTVReg16, sizeof wTVReg16);
    add(dwTVReg32, sizeof dwTVReg32);
    add(bOldRegCrt, sizeof bOldRegCrt);
    for (const unsigned char *p : {&b3CE_B0, &b3CE_B1, &b3CE_BA, &bEA, &bEB, &bEC, &bED, &bEE, &bEF, &bA6})
        add(p, 1);
    for (const unsigned short *p : {&wE5F0, &wE5F2, &wE5F4, &wE5F6, &wE4EC})
        add(p, 2);
    return s;
}

class LockStateTest : public SyncLockTest {
  protected:
    std::string dir;
    std::string path;

    void SetUp() override {
        SyncLockTest::SetUp();
        std::string templ = (fs::temp_directory_path() / "lockstate-XXXXXX").string();
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        dir = templ + "/state"; // created by the first record
        path = lock_state_path(dir);
    }
    void TearDown() override { fs::remove_all(fs::path(dir).parent_path()); }

    // A desktop state that differs from power-on, so that the save areas hold
    // more than zeros.
    void preset_registers() {
        fill_tv_registers();
        for (unsigned i = 0; i < 14; ++i)
            sim.set(Reg::cr(bRegIndex[i]), static_cast<std::uint8_t>(0x30 + i));
        sim.set(Reg::gr(0xB0), 0x11);
        sim.set(Reg::gr(0xB1, 0), 0x22);
        sim.set(Reg::gr(0xBA, 0), 0x33);
        for (unsigned sr : {0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF, 0xA6})
            sim.set(Reg::sr(static_cast<std::uint8_t>(sr)), static_cast<std::uint8_t>(sr ^ 0x5A));
    }

    // A fresh controller with the same preset, mapped, the globals of a new process.
    void restart() {
        sim.reset();
        reset_module_state();
        preset_registers();
        map();
    }

    void record_ok() {
        std::string error;
        ASSERT_TRUE(record_lock_state(dir, error)) << error;
    }
    LockStateLoad load(std::string &error) { return load_lock_state(dir, error); }
};

struct Scenario {
    const char *name;
    void (*lock)();
    void (*cleanup)();
};

const Scenario kScenarios[] = {
    {"capview's sync lock", [] { Kova_DoSyncLock(0, 0, 3, 1); }, [] { Kova_CleanupSyncLock(); }},
    {"NTSC sync lock", [] { Kova_DoSyncLock(1, 1, 1, 0); }, [] { Kova_CleanupSyncLock(); }},
    {"genlock-mode lock", [] { Kova_SetSyncLockGM(0, 0, 2, 0); }, [] { Kova_CleanupSyncLockGM(); }},
    {"video clock", [] { Kova_ChangeToVideoClk(0, 1, 1, 1, 2); },
     [] { Kova_ChangeToVideoClk(0, 1, 1, 0, 2); }},
};

TEST_F(LockStateTest, ACleanUpFromTheRecordEqualsTheOneInTheLockingProcess) {
    for (const Scenario &s : kScenarios) {
        SCOPED_TRACE(s.name);
        restart();
        const std::string before = kova::sim::dump(sim);
        s.lock();
        s.cleanup();
        const std::string in_process = kova::sim::dump(sim);

        restart();
        s.lock();
        const std::string locked = kova::sim::dump(sim);
        ASSERT_NE(locked, before);
        const auto after_lock = library_state();
        record_ok();
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);

        reset_module_state(); // a new process
        sim.clear_trace();
        std::string error;
        ASSERT_EQ(load(error), LockStateLoad::Ok) << error;
        EXPECT_TRUE(sim.trace().empty()); // loading touches no register
        EXPECT_EQ(library_state(), after_lock);
        s.cleanup();
        EXPECT_EQ(kova::sim::dump(sim), in_process);
        ASSERT_TRUE(remove_lock_state(dir, error)) << error;
        EXPECT_FALSE(fs::exists(path));
        fs::remove_all(dir);
    }
}

TEST_F(LockStateTest, DamagedRecordsLoadNothing) {
    Kova_DoSyncLock(0, 0, 3, 1);
    record_ok();
    const std::vector<unsigned char> good = read_file(path);
    reset_module_state();
    const auto fresh = library_state();

    const auto expect_refused = [&](const std::vector<unsigned char> &bytes, LockStateLoad expected,
                                    const std::string &what) {
        write_file(path, bytes);
        std::string error;
        EXPECT_EQ(load(error), expected) << what;
        EXPECT_NE(error.find(path), std::string::npos) << what << ": " << error;
        EXPECT_EQ(library_state(), fresh) << what;
    };
    for (std::size_t size = 0; size < good.size(); ++size)
        expect_refused({good.begin(), good.begin() + static_cast<long>(size)}, LockStateLoad::Truncated,
                       "first " + std::to_string(size) + " bytes");
    for (std::size_t at = 0; at < good.size(); ++at) {
        auto flipped = good;
        flipped[at] ^= 0x04;
        expect_refused(flipped, LockStateLoad::Corrupt, "byte " + std::to_string(at) + " flipped");
    }
    auto longer = good;
    longer.push_back(0);
    expect_refused(longer, LockStateLoad::Corrupt, "a byte too many");

    // Well-formed files with a valid checksum that this program must still refuse.
    const auto resealed = [&good](std::size_t at, unsigned char value) {
        auto bytes = good;
        bytes[at] = value;
        const std::size_t body = bytes.size() - 4;
        const std::uint32_t crc = lock_state_checksum(bytes.data(), body);
        for (int i = 0; i < 4; ++i)
            bytes[body + static_cast<std::size_t>(i)] = static_cast<unsigned char>(crc >> (8 * i));
        return bytes;
    };
    expect_refused(resealed(8, 2), LockStateLoad::WrongVersion, "version 2");
    expect_refused(resealed(14, 7), LockStateLoad::Corrupt, "lock flag 7");
    expect_refused(resealed(14, 0), LockStateLoad::Corrupt, "no lock in force");

    fs::remove(path);
    std::string error;
    EXPECT_EQ(load(error), LockStateLoad::Missing);
    EXPECT_NE(error.find("no lock recorded"), std::string::npos) << error;
    fs::create_directory(path);
    EXPECT_EQ(load(error), LockStateLoad::Unreadable) << error;
    EXPECT_EQ(library_state(), fresh);
}

TEST_F(LockStateTest, RecordingFailsWithAReasonWhereNoFileCanBeWritten) {
    Kova_DoSyncLock(0, 0, 3, 1);
    const std::string file = fs::path(dir).parent_path() / "plain-file";
    write_file(file, {1, 2, 3});
    for (const std::string &bad : {file, file + "/below"}) {
        std::string error;
        EXPECT_FALSE(record_lock_state(bad, error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }
    // An existing record that cannot be read is never replaced.
    fs::create_directories(dir);
    write_file(path, {'K', 'O', 'V'});
    std::string error;
    EXPECT_FALSE(record_lock_state(dir, error));
    EXPECT_NE(error.find("truncated"), std::string::npos) << error;
    EXPECT_EQ(read_file(path), (std::vector<unsigned char>{'K', 'O', 'V'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
        << "a file left behind";
}

TEST_F(LockStateTest, ALockOverARecordedLockKeepsTheFirstRecord) {
    preset_registers();
    Kova_DoSyncLock(0, 0, 3, 1);
    const auto first = library_state();
    record_ok();
    const auto file = read_file(path);

    Kova_DoSyncLock(0, 0, 1, 1); // saves the locked registers
    ASSERT_NE(library_state(), first);
    record_ok();
    EXPECT_EQ(read_file(path), file);

    // Nothing in force: nothing to record, the record stays.
    reset_module_state();
    record_ok();
    EXPECT_EQ(read_file(path), file);
    std::string error;
    ASSERT_EQ(load(error), LockStateLoad::Ok) << error;
    EXPECT_EQ(library_state(), first);
}

TEST_F(LockStateTest, AVideoClockSwitchOverARecordedLockIsAddedAndSettledSeparately) {
    preset_registers();
    Kova_DoSyncLock(0, 0, 3, 1);
    record_ok();
    reset_module_state(); // another process switches to the video clock
    Kova_ChangeToVideoClk(0, 0, 1, 1, 3);
    const unsigned char saved_eb = bEB;
    record_ok();

    reset_module_state();
    std::string error;
    ASSERT_EQ(load(error), LockStateLoad::Ok) << error;
    EXPECT_EQ(wSyncLock, 1);
    EXPECT_EQ(wExtClock, 1);
    EXPECT_EQ(bEB, saved_eb);

    Kova_CleanupSyncLock();
    ASSERT_TRUE(settle_lock_state(dir, error)) << error;
    reset_module_state();
    ASSERT_EQ(load(error), LockStateLoad::Ok) << error;
    EXPECT_EQ(wSyncLock, 0); // the sync lock is gone from the record
    EXPECT_EQ(wExtClock, 1); // the video clock is still there to undo

    Kova_ChangeToVideoClk(0, 0, 1, 0, 3);
    ASSERT_TRUE(settle_lock_state(dir, error)) << error;
    EXPECT_FALSE(fs::exists(path));
}

TEST(LockStateChecksum, IsTheUsualCrc32) {
    const unsigned char text[] = "123456789";
    EXPECT_EQ(lock_state_checksum(text, 9), 0xCBF43926u);
    EXPECT_EQ(lock_state_checksum(text, 0), 0u);
}

} // namespace
