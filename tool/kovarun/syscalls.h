// The system calls a traced program must not pass to the kernel as they are,
// and the seccomp filter that stops it at each of them (and at no other).
#pragma once

#include <cstdint>
#include <sys/user.h>
#include <vector>

namespace kova::run {

// What a filter stop is about; the filter hands it to the tracer as its data,
// with kI386 set for a call of an i386 program.
enum class Call : std::uint16_t {
    Iopl = 1,
    Ioperm,
    Open,
    Openat,
    Openat2,
    Creat,
    OpenByHandle,
    Mmap,  // offset in bytes
    Mmap2, // offset in pages (i386)
    Munmap,
    Close,
    IoUringSetup,
};
inline constexpr std::uint16_t kI386 = 0x100;

// Installs the filter in the calling process (after PR_SET_NO_NEW_PRIVS);
// false with errno set.
bool install_filter();

// The i-th argument of the system call a stopped thread makes.
std::uint64_t syscall_arg(const user_regs_struct &regs, bool i386, int i);
void set_syscall_arg(user_regs_struct &regs, bool i386, int i, std::uint64_t value);

// The call made into fcntl(fd, F_DUPFD or F_DUPFD_CLOEXEC, 0).
void make_dupfd(user_regs_struct &regs, bool i386, int fd, bool cloexec);

// The call skipped, with this result (0 or -errno).
void skip_syscall(user_regs_struct &regs, long result);

} // namespace kova::run
