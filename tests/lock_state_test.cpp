// The lock-state record: a lock recorded, the library's globals reset as in a
// new process, the record loaded and the lock undone; damaged records; a lock
// over a recorded lock.
#include "lock_state.h"
#include "register_dump.h"
#include "save_areas.h"
#include "synclock_fixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace {

using namespace kova::tool;
namespace fs = std::filesystem;

// The record finds its flags by their places in the save-area lists.
TEST(LockStateLayout, FlagsStandWhereTheRecordLooksForThem) {
    using namespace kova::save;
    EXPECT_EQ(kSyncLock[kSyncLockFlagAt].data, &wSyncLock);
    EXPECT_EQ(kSyncLock[kGenlockFlagAt].data, &wSyncLockGM);
    EXPECT_EQ(kSyncLock[kStandardAt].data, &wVStandard);
    EXPECT_EQ(kVideoClock[kVideoClockFlagAt].data, &wExtClock);
}
using Bytes = std::vector<unsigned char>;

Bytes read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string &path, const Bytes &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class LockStateTest : public SyncLockTest {
  protected:
    std::string top, dir, path, error;

    void SetUp() override {
        SyncLockTest::SetUp();
        top = (fs::temp_directory_path() / "lockstate-XXXXXX").string();
        ASSERT_NE(mkdtemp(top.data()), nullptr);
        dir = top + "/state"; // the first record creates it
        path = lock_state_path(dir);
    }
    void TearDown() override { fs::remove_all(top); }

    // A fresh controller whose registers differ from power-on, mapped, with
    // the globals of a new process.
    void restart() {
        sim.reset();
        reset_module_state();
        fill_tv_registers();
        for (std::uint8_t i = 0; i < 14; ++i)
            sim.set(Reg::cr(bRegIndex[i]), static_cast<std::uint8_t>(0x30 + i));
        for (const Reg reg :
             {Reg::gr(0xB0), Reg::gr(0xB1, 0), Reg::gr(0xBA, 0), Reg::sr(0xEB), Reg::sr(0xEF)})
            sim.set(reg, static_cast<std::uint8_t>(0x5A ^ reg.index));
        map();
    }
    void record() { ASSERT_TRUE(record_lock_state(dir, error)) << error; }
    LockStateLoad load() { return load_lock_state(dir, error); }
};

struct Scenario {
    const char *name;
    void (*lock)();
    void (*cleanup)();
};

TEST_F(LockStateTest, ACleanUpFromTheRecordEqualsTheOneInTheLockingProcess) {
    for (const Scenario &s :
         {Scenario{"sync lock", [] { Kova_DoSyncLock(0, 0, 3, 1); }, Kova_CleanupSyncLock},
          Scenario{"NTSC", [] { Kova_DoSyncLock(1, 1, 1, 0); }, Kova_CleanupSyncLock},
          Scenario{"genlock", [] { Kova_SetSyncLockGM(0, 0, 2, 0); }, Kova_CleanupSyncLockGM},
          Scenario{"video clock", [] { Kova_ChangeToVideoClk(0, 1, 1, 1, 2); },
                   [] { Kova_ChangeToVideoClk(0, 1, 1, 0, 2); }}}) {
        SCOPED_TRACE(s.name);
        restart();
        const std::string before = kova::sim::dump(sim);
        s.lock();
        s.cleanup();
        const std::string in_process = kova::sim::dump(sim);

        restart();
        s.lock();
        ASSERT_NE(kova::sim::dump(sim), before);
        record();
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);

        reset_module_state(); // a new process
        sim.clear_trace();
        ASSERT_EQ(load(), LockStateLoad::Ok) << error;
        EXPECT_TRUE(sim.trace().empty()); // loading touches no register
        s.cleanup();
        EXPECT_EQ(kova::sim::dump(sim), in_process);
        ASSERT_TRUE(remove_lock_state(dir, error)) << error;
        EXPECT_FALSE(fs::exists(path));
    }
}

TEST_F(LockStateTest, DamagedRecordsAreRefusedAndLoadNothing) {
    Kova_DoSyncLock(0, 0, 3, 1);
    record();
    const Bytes good = read_file(path);
    reset_module_state();

    const auto refused = [&](const Bytes &bytes, LockStateLoad expected, const std::string &what) {
        write_file(path, bytes);
        EXPECT_EQ(load(), expected) << what;
        EXPECT_NE(error.find(path), std::string::npos) << what << ": " << error;
        EXPECT_EQ(wSyncLock, 0) << what;
    };
    for (std::size_t size = 0; size < good.size(); ++size)
        refused(Bytes(good.begin(), good.begin() + static_cast<long>(size)), LockStateLoad::Truncated,
                std::to_string(size) + " bytes");
    for (std::size_t at = 0; at < good.size(); ++at) {
        Bytes flipped = good;
        flipped[at] ^= 0x04;
        refused(flipped, LockStateLoad::Corrupt, "byte " + std::to_string(at) + " flipped");
    }
    Bytes longer = good;
    longer.push_back(0);
    refused(longer, LockStateLoad::Corrupt, "a byte too many");

    // Files with a valid checksum that must still be refused.
    const auto resealed = [&good](std::size_t at, unsigned char value) {
        Bytes bytes = good;
        bytes[at] = value;
        const std::size_t body = bytes.size() - 4;
        const std::uint32_t crc = lock_state_checksum(bytes.data(), body);
        for (std::size_t i = 0; i < 4; ++i)
            bytes[body + i] = static_cast<unsigned char>(crc >> (8 * i));
        return bytes;
    };
    refused(resealed(8, 2), LockStateLoad::WrongVersion, "version 2");
    refused(resealed(14, 7), LockStateLoad::Corrupt, "lock flag 7");
    refused(resealed(14, 0), LockStateLoad::Corrupt, "no lock in force");

    fs::remove(path);
    EXPECT_EQ(load(), LockStateLoad::Missing);
    EXPECT_NE(error.find("no lock recorded"), std::string::npos) << error;
    fs::create_directory(path);
    EXPECT_EQ(load(), LockStateLoad::Unreadable) << error;

    const unsigned char text[] = "123456789";
    EXPECT_EQ(lock_state_checksum(text, 9), 0xCBF43926u); // the usual CRC-32
}

TEST_F(LockStateTest, RecordingFailsWithAReasonAndNeverReplacesAnUnreadableRecord) {
    Kova_DoSyncLock(0, 0, 3, 1);
    const std::string file = top + "/plain-file";
    write_file(file, {1});
    for (const std::string &bad : {file, file + "/below"}) {
        EXPECT_FALSE(record_lock_state(bad, error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }
    fs::create_directories(dir);
    write_file(path, {'K', 'O'});
    EXPECT_FALSE(record_lock_state(dir, error));
    EXPECT_NE(error.find("truncated"), std::string::npos) << error;
    EXPECT_EQ(read_file(path), (Bytes{'K', 'O'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(LockStateTest, ALockOverARecordedLockKeepsTheFirstRecord) {
    restart();
    Kova_DoSyncLock(0, 0, 3, 1);
    const unsigned short first = wTVReg16[0];
    record();
    const Bytes file = read_file(path);
    Kova_DoSyncLock(0, 0, 1, 1); // saves the locked registers
    ASSERT_NE(wTVReg16[0], first);
    record();
    reset_module_state(); // nothing in force: nothing to record
    record();
    EXPECT_EQ(read_file(path), file);
    ASSERT_EQ(load(), LockStateLoad::Ok) << error;
    EXPECT_EQ(wTVReg16[0], first);
}

TEST_F(LockStateTest, AVideoClockSwitchOverARecordedLockIsAddedAndSettledApart) {
    Kova_DoSyncLock(0, 0, 3, 1);
    record();
    reset_module_state(); // another process switches to the video clock
    sim.set(Reg::sr(0xEB), 0x12);
    Kova_ChangeToVideoClk(0, 0, 1, 1, 3);
    record();

    reset_module_state();
    ASSERT_EQ(load(), LockStateLoad::Ok) << error;
    EXPECT_EQ(wSyncLock, 1);
    EXPECT_EQ(wExtClock, 1);
    EXPECT_EQ(bEB, 0x12);
    Kova_CleanupSyncLock();
    ASSERT_TRUE(settle_lock_state(dir, error)) << error;

    reset_module_state();
    ASSERT_EQ(load(), LockStateLoad::Ok) << error;
    EXPECT_EQ(wSyncLock, 0); // gone from the record
    EXPECT_EQ(wExtClock, 1); // still there to undo
    Kova_ChangeToVideoClk(0, 0, 1, 0, 3);
    ASSERT_TRUE(settle_lock_state(dir, error)) << error;
    EXPECT_FALSE(fs::exists(path));
}

} // namespace
