#include "syscalls.h"

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

namespace kova::run {

namespace {

// Each call by its number in the two system-call tables.  i386 has no creat
// at 85 and maps with mmap2; its old mmap (90) takes its arguments in memory
// and is only ever reached with descriptors of the runner's own making.
struct Number {
    Call call;
    std::uint32_t x86_64, i386;
};
constexpr Number kNumbers[] = {
    {Call::Iopl, 172, 110},         {Call::Ioperm, 173, 101},    {Call::Open, 2, 5},
    {Call::Openat, 257, 295},       {Call::Openat2, 437, 437},   {Call::Creat, 85, 8},
    {Call::OpenByHandle, 304, 342}, {Call::Mmap, 9, 0xFFFFFFFF}, {Call::Mmap2, 0xFFFFFFFF, 192},
    {Call::Munmap, 11, 91},         {Call::Close, 3, 6},         {Call::IoUringSetup, 425, 425},
};
constexpr std::uint32_t kFcntlX86_64 = 72;
constexpr std::uint32_t kFcntl64I386 = 221;
constexpr std::uint32_t kX32Bit = 0x40000000;

sock_filter statement(std::uint16_t code, std::uint32_t k) {
    return sock_filter{code, 0, 0, k};
}
sock_filter jump(std::uint16_t code, std::uint32_t k, std::uint8_t if_true, std::uint8_t if_false) {
    return sock_filter{code, if_true, if_false, k};
}

// One architecture's part: each listed number stops at the tracer, all else runs.
void add_table(std::vector<sock_filter> &program, bool i386) {
    program.push_back(statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
    if (!i386) {
        // The x32 ABI (numbers with bit 30) is refused whole.
        program.push_back(jump(BPF_JMP | BPF_JGE | BPF_K, kX32Bit, 0, 1));
        program.push_back(statement(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS));
    }
    for (const Number &n : kNumbers) {
        const std::uint32_t nr = i386 ? n.i386 : n.x86_64;
        if (nr == 0xFFFFFFFF) continue;
        const std::uint32_t data = static_cast<std::uint32_t>(n.call) | (i386 ? kI386 : 0);
        program.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, nr, 0, 1));
        program.push_back(statement(BPF_RET | BPF_K, SECCOMP_RET_TRACE | data));
    }
    program.push_back(statement(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
}

} // namespace

bool install_filter() {
    std::vector<sock_filter> i386_part;
    add_table(i386_part, true);
    // By architecture: x86-64 jumps past the i386 table to its own, i386 to
    // the table right after the kill for any other architecture.
    std::vector<sock_filter> program = {
        statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        jump(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, static_cast<std::uint8_t>(2 + i386_part.size()),
             0),
        jump(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_I386, 1, 0),
        statement(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
    };
    program.insert(program.end(), i386_part.begin(), i386_part.end());
    add_table(program, false);
    sock_fprog fprog{static_cast<unsigned short>(program.size()), program.data()};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &fprog) == 0;
}

std::uint64_t syscall_arg(const user_regs_struct &regs, bool i386, int i) {
    const unsigned long long x86_64_args[] = {regs.rdi, regs.rsi, regs.rdx, regs.r10, regs.r8, regs.r9};
    const unsigned long long i386_args[] = {regs.rbx, regs.rcx, regs.rdx, regs.rsi, regs.rdi, regs.rbp};
    return i386 ? i386_args[i] & 0xFFFFFFFFu : x86_64_args[i];
}

void set_syscall_arg(user_regs_struct &regs, bool i386, int i, std::uint64_t value) {
    unsigned long long *x86_64_args[] = {&regs.rdi, &regs.rsi, &regs.rdx, &regs.r10, &regs.r8, &regs.r9};
    unsigned long long *i386_args[] = {&regs.rbx, &regs.rcx, &regs.rdx, &regs.rsi, &regs.rdi, &regs.rbp};
    *(i386 ? i386_args[i] : x86_64_args[i]) = i386 ? value & 0xFFFFFFFFu : value;
}

void make_dupfd(user_regs_struct &regs, bool i386, int fd, bool cloexec) {
    regs.orig_rax = i386 ? kFcntl64I386 : kFcntlX86_64;
    set_syscall_arg(regs, i386, 0, static_cast<std::uint64_t>(fd));
    set_syscall_arg(regs, i386, 1, cloexec ? F_DUPFD_CLOEXEC : F_DUPFD);
    set_syscall_arg(regs, i386, 2, 0);
}

void skip_syscall(user_regs_struct &regs, long result) {
    regs.orig_rax = ~0ULL;
    regs.rax = static_cast<unsigned long long>(result);
}

} // namespace kova::run
