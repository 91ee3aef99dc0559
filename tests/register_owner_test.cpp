// The register-owner lock between processes: a second program waits its
// bounded time, then names the holder; the lock passes on when the holder
// ends or lets go, even when it dies without letting go.
#include "register_holder.h"
#include "register_owner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using kova::tool::RegisterOwner;

class RegisterOwnerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kova-owner-XXXXXX";
        root_ = mkdtemp(pattern);
        std::filesystem::create_directory(root_ + "/state");
        dir_ = root_ + "/state/kova"; // created on demand (its parent must exist)
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    std::string lock_file() const {
        std::ifstream in(kova::tool::register_owner_path(dir_));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string root_, dir_;
};

TEST_F(RegisterOwnerTest, SecondProgramWaitsThenNamesTheHolder) {
    Holder holder(dir_, "kovactl");
    RegisterOwner owner;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(owner.acquire(dir_, "capview", 300ms, error));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 300ms);
    EXPECT_LT(waited, 3s);
    EXPECT_EQ(error, "the registers are in use by kovactl (pid " + std::to_string(holder.pid()) +
                         "); gave up after 0.3 s");
    EXPECT_FALSE(owner.held());
}

TEST_F(RegisterOwnerTest, LockPassesOnWhenTheHolderLetsGoOrDies) {
    for (const bool dies : {false, true}) {
        SCOPED_TRACE(dies ? "holder dies" : "holder lets go");
        Holder holder(dir_, "kovactl");
        if (dies)
            holder.die();
        else
            holder.let_go();
        // A holder that lets go removes the file; one that dies leaves it for the next.
        EXPECT_EQ(std::filesystem::exists(kova::tool::register_owner_path(dir_)), dies);
        RegisterOwner owner;
        std::string error;
        EXPECT_TRUE(owner.acquire(dir_, "capview", 2s, error)) << error;
        EXPECT_EQ(lock_file(), std::to_string(getpid()) + " capview\n");
    }
}

// What another user could have put at the lock's name, or in a directory that
// others can write, is refused with the reason and left as it is.  Each row:
// how to spoil the state directory D and a part of the reason (@ is D).
TEST_F(RegisterOwnerTest, LockFileThatIsNotThisUsersIsRefused) {
    struct Case {
        void (*spoil)(const std::string &dir, const std::string &lock);
        const char *reason;
        bool as_root = false; // chown: only root can give a file away
    };
    const Case cases[] = {
        {[](const std::string &d, const std::string &lock) {
             symlink((d + "/../../precious").c_str(), lock.c_str());
         },
         "@/registers.lock is a symbolic link; the register lock must be a regular file"},
        {[](const std::string &, const std::string &lock) { mkfifo(lock.c_str(), 0600); },
         "@/registers.lock is not a regular file; remove it"},
        {[](const std::string &, const std::string &lock) {
             std::ofstream(lock) << "1 kovactl\n";
             chmod(lock.c_str(), 0666);
         },
         "@/registers.lock is writable by group or others; remove it"},
        {[](const std::string &d, const std::string &) { chmod(d.c_str(), 0777); },
         "the state directory @ is writable by group or others; the register lock there is not used"},
        {[](const std::string &, const std::string &lock) {
             std::ofstream(lock) << "1 kovactl\n";
             (void)!chown(lock.c_str(), 65534, 65534);
         },
         "@/registers.lock is owned by another user (uid 65534)", true},
        {[](const std::string &d, const std::string &) { (void)!chown(d.c_str(), 65534, 65534); },
         "the state directory @ is owned by another user (uid 65534)", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reason);
        if (c.as_root && geteuid() != 0) continue;
        std::filesystem::create_directory(dir_);
        chmod(dir_.c_str(), 0700);
        std::ofstream(root_ + "/precious") << "the user's own\n";
        const std::string lock = kova::tool::register_owner_path(dir_);
        c.spoil(dir_, lock);
        RegisterOwner owner;
        std::string error, reason = c.reason;
        reason.replace(reason.find('@'), 1, dir_);
        EXPECT_FALSE(owner.acquire(dir_, "capview", 0ms, error));
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_FALSE(owner.held());
        std::ifstream precious(root_ + "/precious");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(precious), {}), "the user's own\n");
        std::filesystem::remove_all(dir_);
    }
}

TEST_F(RegisterOwnerTest, UnusableStateDirectoryIsAnError) {
    std::ofstream(root_ + "/file") << "not a directory\n";
    RegisterOwner owner;
    std::string error;
    EXPECT_FALSE(owner.acquire(root_ + "/file", "capview", 0ms, error));
    EXPECT_EQ(error,
              "cannot create the state directory " + root_ + "/file: Not a directory (set KOVA_STATE_DIR)");
}

} // namespace
