// The system calls a traced program must not pass to the kernel as they are:
// the seccomp filter that stops it at each of them (and at no other), and the
// supervisor that performs every open the program makes.  The design is told
// at the top of syscalls.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <sys/user.h>
#include <vector>

struct stat;

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

// Installs the filter in the calling process (after PR_SET_NO_NEW_PRIVS): the
// opens go to the listener it returns, the other calls stop at the tracer.
// The listener, or -1 with errno set.
int install_filter();

// The i-th argument of the system call a stopped thread makes.
std::uint64_t syscall_arg(const user_regs_struct &regs, bool i386, int i);
void set_syscall_arg(user_regs_struct &regs, bool i386, int i, std::uint64_t value);

// The call skipped, with this result (0 or -errno).
void skip_syscall(user_regs_struct &regs, long result);

// ---------------------------------------------------------------- the opens

// What an opened object is to the runner: the memory device (char 1:1),
// another device of physical memory or ports (/dev/kmem 1:2, /dev/port 1:4),
// or neither.
enum class Device : std::uint8_t { None, Mem, OtherMemory };
Device device_of(const struct stat &st);

// An open of a memory device, for the tracer to answer with hand_over() or
// refuse().
struct DeviceOpen {
    int listener;
    std::uint64_t id; // the notification
    pid_t tid;
    std::string path; // as the program gave it
    bool cloexec;
};

// Gives the program a descriptor of the same open file as `fd` (close-on-exec
// as asked) as the result of its call: the program's new descriptor, or
// -errno (-ENOENT when the call is no longer waiting).
int hand_over(int listener, std::uint64_t id, int fd, bool cloexec);
// Ends the call with -error.
void refuse(int listener, std::uint64_t id, int error);

// Serves the program's opens from the listener until stop_fd is readable or
// no filtered process is left; device opens go to `on_device`.
void serve_opens(int listener, int stop_fd, const std::function<void(const DeviceOpen &, Device)> &on_device);

// Closed standard descriptors (0-2) of the calling process taken by
// close-on-exec placeholders on which reads and writes fail as on a closed
// descriptor, so that no file of kovarun's own takes their numbers and the
// program still finds them closed.
void hold_standard_descriptors();

} // namespace kova::run
