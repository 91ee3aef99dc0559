// A process of the test's own that holds the register-owner lock, for the
// tests of what another program does meanwhile.
#pragma once

#include "register_owner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// Another process that takes the lock as `program` and holds it until told
// to let go (or to die without letting go).
class Holder {
  public:
    Holder(const std::string &dir, const char *program) {
        int ready[2], go[2];
        EXPECT_EQ(pipe(ready), 0);
        EXPECT_EQ(pipe(go), 0);
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(go[1]); // so that the parent's end closing reads as "let go"
            kova::tool::RegisterOwner owner;
            std::string error;
            const char taken = owner.acquire(dir, program, std::chrono::milliseconds(0), error) ? 'y' : 'n';
            (void)!write(ready[1], &taken, 1);
            char how = 0;
            (void)!read(go[0], &how, 1);
            if (how == 'k') _exit(3); // dies holding the lock
            owner.release();
            (void)!write(ready[1], &how, 1);
            _exit(0);
        }
        close(ready[1]);
        close(go[0]);
        ready_ = ready[0];
        go_ = go[1];
        char taken = 0;
        EXPECT_EQ(read(ready_, &taken, 1), 1);
        EXPECT_EQ(taken, 'y');
    }
    ~Holder() {
        close(go_);
        waitpid(pid_, nullptr, 0);
        close(ready_);
    }
    pid_t pid() const { return pid_; }
    void let_go() {
        (void)!write(go_, "r", 1);
        char done = 0;
        EXPECT_EQ(read(ready_, &done, 1), 1);
    }
    void die() {
        (void)!write(go_, "k", 1);
        waitpid(pid_, nullptr, 0);
    }

  private:
    pid_t pid_ = -1;
    int ready_ = -1, go_ = -1;
};
