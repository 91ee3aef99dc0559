// The syscall layer of kovarun: what a traced program may do to the machine,
// and how kovarun stands between.
//
// The filter.  A seccomp filter, installed in the program before it starts,
// sorts its system calls three ways.  iopl, ioperm, mmap, munmap and close stop
// at the tracer (SECCOMP_RET_TRACE), which serves them from the simulated
// controller; open_by_handle_at and io_uring_setup are refused there (either
// could open an object unseen).  open, openat, openat2 and creat never reach
// the kernel at all: they go to a listener (SECCOMP_RET_USER_NOTIF), and the
// supervisor below performs them.  The listener is made with the filter
// (SECCOMP_FILTER_FLAG_NEW_LISTENER) in the child before it executes the
// program; the tracer takes it with pidfd_getfd, and the child's copy closes
// on exec.  With kovarun gone, every open of the program fails (ENOSYS).  An
// open the supervisor has taken is not interrupted by a signal other than
// SIGKILL (SECCOMP_FILTER_FLAG_WAIT_KILLABLE_RECV, where the kernel has it):
// the supervisor's open may already have met a FIFO's other end, which a
// restarted call would lose; a program blocked in such an open waits for it,
// and kovarun's second stopping signal still ends it.
//
// Deciding on the object.  The supervisor resolves the program's path itself,
// one name at a time with O_PATH|O_NOFOLLOW, from the program's root, working
// directory or dirfd (/proc/TID/root, /proc/TID/cwd, /proc/TID/fd/N of the
// calling thread): symbolic links are read and followed by the supervisor
// (absolute ones from the program's root, 40 at most), ".." stops at the
// program's root, /proc/self and /proc/thread-self name the program, and
// procfs's magic links (fd/N, cwd, root, exe) are followed by the kernel as
// they are objects, not names.  openat2's RESOLVE_* flags are honoured the
// same way.  The object found is checked with fstat, and from then on only
// that object is used: no path is ever resolved a second time, so a name
// swapped while the program opens it cannot slip another object through.
//   - The memory device (char 1:1) goes to the tracer, which hands over the
//     program's stand-in for it (below); /dev/kmem (1:2) and /dev/port (1:4)
//     are refused with EACCES.  None of them is ever opened.
//   - Anything else is reopened through /proc/self/fd/N of the O_PATH
//     descriptor (the very object) with the program's flags, and the
//     descriptor is given to the program with SECCOMP_IOCTL_NOTIF_ADDFD and
//     SECCOMP_ADDFD_FLAG_SEND, close-on-exec when it asked for O_CLOEXEC.  A
//     reopen may block (a FIFO without its other end, a lease, a terminal),
//     so each runs in a thread of its own: the supervisor never waits on one.
//   - O_CREAT of a missing name creates it relative to the O_PATH of its
//     directory with O_EXCL|O_NOFOLLOW, under the program's umask; when the
//     name appears meanwhile, the resolution starts again.  O_EXCL, O_NOFOLLOW,
//     O_DIRECTORY and O_TMPFILE are honoured as the kernel does, and the flags
//     are checked as the kernel checks them, so that each errno is the one
//     the program would have had.
//   - An O_PATH open only names an object: it cannot read, write or map it,
//     and reopening it is an open again.  Such a descriptor cannot be handed
//     over (ADDFD takes no O_PATH file), so the kernel performs the call
//     (SECCOMP_USER_NOTIF_FLAG_CONTINUE): safe for open and openat, whose
//     flags are in the registers no other thread can change.  openat2's are
//     in memory, so its O_PATH opens fail with ENOSYS, as on a kernel without
//     openat2 (programs then use openat).
//   - An i386 program's open of a file over 2 GiB without O_LARGEFILE fails
//     with EOVERFLOW, as it would.
//   - A notification is checked still valid (SECCOMP_IOCTL_NOTIF_ID_VALID)
//     after the program's memory is read; a descriptor handed over to a call
//     that was interrupted is not installed (ADDFD fails and the file closes).
//   - Nothing under /proc/PID of kovarun itself is opened for the program:
//     the supervisor acts as kovarun, which may open its own files.
// kovarun runs as the program's user and the program has no_new_privs, so the
// supervisor's permission checks are the program's own.
//
// The program's memory device.  The video memory is a secret-memory file
// (memfd_secret) that kovarun maps; the program's descriptor for the memory
// device is a descriptor of that file, handed over at each open and never
// inherited.  Such a file can only be mapped shared: read, write, pread,
// pwrite, lseek, fallocate, splice and sendfile on it fail (EINVAL, ESPIPE or
// EOPNOTSUPP, as the memory device refuses what it does not serve), and its
// size is fixed once kovarun has set it (ftruncate fails), so nothing the
// program does with the descriptor changes the video memory or can make
// kovarun fault; only its frame-buffer mapping writes there.  It has no
// offset and no status flags that matter, so handing over the one open file
// is no different from opening it again.  The tracer turns an mmap of the
// frame buffer into a mapping of the file at offset 0, and one of the
// register window into an inaccessible anonymous mapping whose faults it
// serves.
//
// Linux 5.14 is needed (memfd_secret with secretmem enabled,
// SECCOMP_ADDFD_FLAG_SEND, pidfd_getfd); kovarun says so and stops with status
// 2 where the kernel lacks them.
#include "syscalls.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <mutex>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sched.h>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

#ifndef SECCOMP_FILTER_FLAG_WAIT_KILLABLE_RECV
#define SECCOMP_FILTER_FLAG_WAIT_KILLABLE_RECV (1UL << 5) // Linux 5.19; older headers lack it
#endif

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
constexpr std::uint32_t kX32Bit = 0x40000000;

bool is_open(Call call) {
    return call == Call::Open || call == Call::Openat || call == Call::Openat2 || call == Call::Creat;
}

sock_filter statement(std::uint16_t code, std::uint32_t k) {
    return sock_filter{code, 0, 0, k};
}
sock_filter jump(std::uint16_t code, std::uint32_t k, std::uint8_t if_true, std::uint8_t if_false) {
    return sock_filter{code, if_true, if_false, k};
}

// One architecture's part: each listed number goes to the listener or stops
// at the tracer, all else runs.
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
        program.push_back(
            statement(BPF_RET | BPF_K, is_open(n.call) ? SECCOMP_RET_USER_NOTIF : SECCOMP_RET_TRACE | data));
    }
    program.push_back(statement(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
}

} // namespace

int install_filter() {
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
    // Once the supervisor has taken an open, the program waits for its answer
    // through any signal but SIGKILL (Linux 5.19): an open interrupted there
    // would be made again, and a FIFO's end that the supervisor already
    // opened, and paired with the other end, would be lost with the first.
    const int listener = static_cast<int>(
        syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER,
                SECCOMP_FILTER_FLAG_NEW_LISTENER | SECCOMP_FILTER_FLAG_WAIT_KILLABLE_RECV, &fprog));
    if (listener >= 0 || errno != EINVAL) return listener;
    return static_cast<int>(
        syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_NEW_LISTENER, &fprog));
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

void skip_syscall(user_regs_struct &regs, long result) {
    regs.orig_rax = ~0ULL;
    regs.rax = static_cast<unsigned long long>(result);
}

// ---------------------------------------------------------------- the opens

Device device_of(const struct stat &st) {
    if (!S_ISCHR(st.st_mode) || major(st.st_rdev) != 1) return Device::None;
    if (minor(st.st_rdev) == 1) return Device::Mem;
    if (minor(st.st_rdev) == 2 || minor(st.st_rdev) == 4) return Device::OtherMemory;
    return Device::None;
}

int hand_over(int listener, std::uint64_t id, int fd, bool cloexec) {
    seccomp_notif_addfd addfd{};
    addfd.id = id;
    addfd.flags = SECCOMP_ADDFD_FLAG_SEND;
    addfd.srcfd = static_cast<std::uint32_t>(fd);
    addfd.newfd_flags = cloexec ? O_CLOEXEC : 0;
    const int installed = ioctl(listener, SECCOMP_IOCTL_NOTIF_ADDFD, &addfd);
    if (installed >= 0) return installed;
    const int error = errno;
    if (error != ENOENT) refuse(listener, id, error); // EMFILE, say: the call still waits
    return -error;
}

void refuse(int listener, std::uint64_t id, int error) {
    seccomp_notif_resp response{};
    response.id = id;
    response.error = -error;
    ioctl(listener, SECCOMP_IOCTL_NOTIF_SEND, &response);
}

void hold_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        const int held = open("/", O_PATH | O_CLOEXEC); // the lowest free number: fd itself
        if (held >= 0 && held != fd) close(held);
    }
}

namespace {

constexpr int kMaxLinks = 40; // as the kernel
constexpr int kCreateAttempts = 100;
constexpr ino_t kProcRootInode = 1;
constexpr std::uint64_t kPage = 0x1000;
constexpr std::size_t kOpenHowSize = 24; // open_how as first published
// Flag bits as the kernel has them (O_LARGEFILE is 0 in x86-64 user space).
constexpr std::uint64_t kLargeFile = 0100000;
constexpr std::uint64_t kTmpFileBit = 020000000;
constexpr std::uint64_t kValidFlags = O_ACCMODE | O_CREAT | O_EXCL | O_NOCTTY | O_TRUNC | O_APPEND |
                                      O_NONBLOCK | O_SYNC | O_DSYNC | FASYNC | O_DIRECT | kLargeFile |
                                      O_DIRECTORY | O_NOFOLLOW | O_NOATIME | O_CLOEXEC | O_PATH | kTmpFileBit;
constexpr std::uint64_t kPathFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr std::uint64_t kResolveFlags = RESOLVE_NO_XDEV | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_SYMLINKS |
                                        RESOLVE_BENEATH | RESOLVE_IN_ROOT | RESOLVE_CACHED;

// A descriptor of the supervisor's, closed with it.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd &operator=(Fd &&other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

// kovarun's own copy of a file it has handed over stays open for a moment
// after the program goes on.  For a FIFO that copy is an end of its own: an
// open of the other end made meanwhile (by the program's next call, or by a
// child) would meet it instead of the program's, and the program's end would
// wait for ever.  So the copy is closed before any later open is performed:
// each hand-over holds this lock until its copy is closed, and each open
// made for the program waits for it first.
std::mutex g_handing_over;

void hand_over_file(int listener, std::uint64_t id, Fd file, bool cloexec) {
    const std::lock_guard handing(g_handing_over);
    hand_over(listener, id, file.get(), cloexec);
    file.reset();
}

// Returns once no copy of a handed-over file is open in kovarun.
void wait_for_hand_overs() {
    const std::lock_guard waited(g_handing_over);
}

Fd path_at(int dir, const char *name, int flags = O_NOFOLLOW) {
    return Fd(openat(dir, name, O_PATH | O_CLOEXEC | flags));
}
Fd copy_of(const Fd &fd) {
    return Fd(fcntl(fd.get(), F_DUPFD_CLOEXEC, 3));
}
std::string proc_path(pid_t pid, const std::string &rest) {
    return "/proc/" + std::to_string(pid) + "/" + rest;
}

// One open the program makes, as the notification and its memory tell it.
struct Request {
    std::uint64_t id = 0;
    pid_t tid = 0;
    bool i386 = false;
    std::string path;
    int dirfd = AT_FDCWD;
    std::uint64_t flags = 0, mode = 0, resolve = 0;
    bool checked_strictly = false; // openat2: unknown bits are errors (and the flags are in memory)
};

// Reads a NUL-terminated path from the program: 0 or an errno.
int read_path(pid_t tid, std::uint64_t address, std::string &path) {
    char chunk[256] = {};
    for (path.clear(); path.size() < PATH_MAX;) {
        const std::uint64_t at = address + path.size();
        const std::size_t size = std::min<std::uint64_t>(sizeof chunk, kPage - at % kPage);
        iovec local{chunk, size};
        // NOLINTNEXTLINE(performance-no-int-to-ptr): an address in the traced process
        iovec remote{reinterpret_cast<void *>(at), size};
        const ssize_t got = process_vm_readv(tid, &local, 1, &remote, 1, 0);
        if (got <= 0) return EFAULT;
        const void *end = std::memchr(chunk, '\0', static_cast<std::size_t>(got));
        if (end != nullptr) {
            path.append(chunk, static_cast<const char *>(end) - chunk);
            return path.empty() ? ENOENT : 0;
        }
        path.append(chunk, static_cast<std::size_t>(got));
    }
    return ENAMETOOLONG;
}

// openat2's struct open_how: 0 or an errno.
int read_how(pid_t tid, std::uint64_t address, std::uint64_t size, open_how &how) {
    if (size < kOpenHowSize) return EINVAL;
    if (size > kPage) return E2BIG;
    std::uint8_t bytes[kPage] = {};
    iovec local{bytes, size};
    // NOLINTNEXTLINE(performance-no-int-to-ptr): an address in the traced process
    iovec remote{reinterpret_cast<void *>(address), size};
    if (process_vm_readv(tid, &local, 1, &remote, 1, 0) != static_cast<ssize_t>(size)) return EFAULT;
    if (std::any_of(bytes + kOpenHowSize, bytes + size, [](std::uint8_t b) { return b != 0; })) return E2BIG;
    std::memcpy(&how, bytes, kOpenHowSize);
    return 0;
}

// The flags as the kernel takes them: 0 or EINVAL.
int check_flags(Request &r) {
    const bool creates = (r.flags & (O_CREAT | kTmpFileBit)) != 0;
    if (r.checked_strictly) {
        if ((r.flags & ~kValidFlags) != 0 || (r.mode & ~std::uint64_t{07777}) != 0 ||
            (!creates && r.mode != 0))
            return EINVAL;
        if ((r.resolve & ~kResolveFlags) != 0 ||
            (r.resolve & (RESOLVE_BENEATH | RESOLVE_IN_ROOT)) == (RESOLVE_BENEATH | RESOLVE_IN_ROOT))
            return EINVAL;
        if ((r.flags & O_PATH) != 0 && (r.flags & ~kPathFlags) != 0) return EINVAL;
    }
    r.flags &= kValidFlags;
    if ((r.flags & O_PATH) != 0) r.flags &= kPathFlags;
    r.mode = creates ? r.mode & 07777 : 0;
    if ((r.flags & (O_CREAT | O_DIRECTORY)) == (O_CREAT | O_DIRECTORY)) return EINVAL;
    if ((r.flags & kTmpFileBit) != 0 &&
        ((r.flags & (kTmpFileBit | O_DIRECTORY | O_CREAT)) != (kTmpFileBit | O_DIRECTORY) ||
         (r.flags & O_ACCMODE) == O_RDONLY))
        return EINVAL;
    return 0;
}

Call call_of(const seccomp_data &data) {
    const bool i386 = data.arch == AUDIT_ARCH_I386;
    for (const Number &n : kNumbers)
        if ((i386 ? n.i386 : n.x86_64) == static_cast<std::uint32_t>(data.nr)) return n.call;
    return Call::Open;
}

// The request of a notification: 0 or the errno the call fails with.
int read_request(const seccomp_notif &n, Request &r) {
    const Call call = call_of(n.data);
    const bool at = call == Call::Openat || call == Call::Openat2;
    r.id = n.id;
    r.tid = static_cast<pid_t>(n.pid);
    r.i386 = n.data.arch == AUDIT_ARCH_I386;
    const auto arg = [&](int i) { return r.i386 ? n.data.args[i] & 0xFFFFFFFFu : n.data.args[i]; };
    if (at) r.dirfd = static_cast<int>(static_cast<std::uint32_t>(arg(0)));
    const std::uint64_t path = arg(at ? 1 : 0);
    r.flags = O_CREAT | O_WRONLY | O_TRUNC; // creat
    r.mode = static_cast<std::uint32_t>(arg(1));
    if (call == Call::Open || call == Call::Openat) {
        r.flags = static_cast<std::uint32_t>(arg(at ? 2 : 1));
        r.mode = static_cast<std::uint32_t>(arg(at ? 3 : 2));
    }
    if (call == Call::Openat2) {
        open_how how{};
        if (const int error = read_how(r.tid, arg(2), arg(3), how); error != 0) return error;
        r.flags = how.flags;
        r.mode = how.mode;
        r.resolve = how.resolve;
        r.checked_strictly = true;
    }
    if (const int error = check_flags(r); error != 0) return error;
    if (const int error = read_path(r.tid, path, r.path); error != 0) return error;
    return (r.resolve & RESOLVE_CACHED) != 0 ? EAGAIN
                                             : 0; // nothing is cached here: the caller retries without
}

bool same_object(int a, int b) {
    struct stat sa {};
    struct stat sb {};
    return fstat(a, &sa) == 0 && fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool is_proc(int fd) {
    struct statfs fs {};
    return fstatfs(fd, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

bool is_proc_root(int fd) {
    struct stat st {};
    return is_proc(fd) && fstat(fd, &st) == 0 && st.st_ino == kProcRootInode;
}

std::uint64_t mount_of(int fd) {
    struct statx sx {};
    return statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) == 0 ? sx.stx_mnt_id : 0;
}

// A status line's number ("Tgid:", "Umask:") of a process directory; -1 when absent.
long status_field(int pid_dir, const char *field, int base) {
    Fd status(openat(pid_dir, "status", O_RDONLY | O_CLOEXEC));
    char text[4096];
    const ssize_t got = status ? read(status.get(), text, sizeof text - 1) : -1;
    if (got <= 0) return -1;
    text[got] = '\0';
    const char *line = std::strstr(text, field);
    return line != nullptr ? std::strtol(line + std::strlen(field), nullptr, base) : -1;
}

// Where a resolution is and what it may do.
struct Walk {
    pid_t tid, tgid;
    Fd root;               // the program's root, or the dirfd with RESOLVE_IN_ROOT
    std::uint64_t resolve; // RESOLVE_* flags
    std::uint64_t mount;   // RESOLVE_NO_XDEV: the mount the walk keeps to
    int links = 0;
    int depth = 0; // RESOLVE_BENEATH: directories below the start
};

// What a path names: the object, or, where its last name is missing, the
// directory and the name.
struct Found {
    Fd object;
    Fd parent;
    std::string name;
    bool directory = false; // a trailing slash: a directory is meant
};

int walk(Walk &w, Fd cur, std::string_view path, bool follow_last, Found &found);

int moved(const Walk &w, const Fd &cur) {
    if (!cur) return errno;
    return (w.resolve & RESOLVE_NO_XDEV) != 0 && mount_of(cur.get()) != w.mount ? EXDEV : 0;
}

int up(Walk &w, Fd &cur) {
    if (w.depth == 0 && (w.resolve & RESOLVE_BENEATH) != 0) return EXDEV;
    if (same_object(cur.get(), w.root.get())) return 0;
    cur = path_at(cur.get(), "..", 0);
    --w.depth;
    return moved(w, cur);
}

// A magic link of procfs (fd/N, cwd, root, exe...): only the kernel follows
// one, to the object itself.
int follow_magic_link(const Walk &w, const Fd &cur, std::string_view name, Found &out) {
    if ((w.resolve & RESOLVE_NO_MAGICLINKS) != 0) return ELOOP;
    if ((w.resolve & (RESOLVE_BENEATH | RESOLVE_IN_ROOT)) != 0) return EXDEV;
    out.object = path_at(cur.get(), std::string(name).c_str(), 0);
    return moved(w, out.object);
}

int read_link(const Fd &link, std::string &target) {
    char text[PATH_MAX];
    const ssize_t got = readlinkat(link.get(), "", text, sizeof text);
    if (got < 0) return errno;
    target.assign(text, static_cast<std::size_t>(got));
    return 0;
}

// Follows the link `name` in cur into `out`.  In procfs's root, "self" and
// "thread-self" name the program (not kovarun); deeper in procfs a link is a
// magic one.
int follow_link(Walk &w, Fd cur, std::string_view name, const Fd &link, Found &out) {
    if (++w.links > kMaxLinks || (w.resolve & RESOLVE_NO_SYMLINKS) != 0) return ELOOP;
    const bool in_proc_root = is_proc_root(cur.get());
    if (!in_proc_root && is_proc(link.get())) return follow_magic_link(w, cur, name, out);
    std::string target;
    if (in_proc_root && (name == "self" || name == "thread-self")) {
        target = std::to_string(w.tgid);
        if (name == "thread-self") target += "/task/" + std::to_string(w.tid);
    } else if (const int error = read_link(link, target); error != 0) {
        return error;
    }
    return walk(w, std::move(cur), target, true, out);
}

// A process directory of kovarun's own, which the program may not enter.
bool is_kovarun_process(const Fd &dir, const Fd &entry, std::string_view name) {
    if (name.empty() || name.find_first_not_of("0123456789") != std::string_view::npos) return false;
    return is_proc_root(dir.get()) && status_field(entry.get(), "Tgid:", 10) == getpid();
}

// Looks `name` up in cur: cur becomes what it names, following a symlink when
// `follow`.  The last name goes into `found` instead when it is missing or a
// link.  0 or an errno.
int step(Walk &w, Fd &cur, std::string_view name, bool follow, bool last, Found &found) {
    const std::string n(name);
    Fd next = path_at(cur.get(), n.c_str());
    if (!next) {
        const int error = errno;
        if (error != ENOENT || !last) return error;
        found.parent = std::move(cur);
        found.name = n;
        return 0;
    }
    if (is_kovarun_process(cur, next, name)) return EACCES;
    struct stat st {};
    if (fstat(next.get(), &st) != 0) return errno;
    if (!S_ISLNK(st.st_mode) || !follow) {
        cur = std::move(next);
        ++w.depth;
        return moved(w, cur);
    }
    if (last) return follow_link(w, std::move(cur), name, next, found);
    Found through;
    if (const int error = follow_link(w, std::move(cur), name, next, through); error != 0) return error;
    if (!through.object) return ENOENT;
    cur = std::move(through.object);
    return 0;
}

int walk(Walk &w, Fd cur, std::string_view path, bool follow_last, Found &found) {
    if (path.starts_with('/')) {
        if ((w.resolve & RESOLVE_BENEATH) != 0) return EXDEV;
        cur = copy_of(w.root);
        w.depth = 0;
        if (const int error = moved(w, cur); error != 0) return error;
    }
    found.directory = found.directory || path.ends_with('/');
    std::vector<std::string_view> names;
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        if (end > at) names.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        int error = 0;
        if (names[i] == "..")
            error = up(w, cur);
        else if (names[i] != ".")
            error = step(w, cur, names[i], !last || follow_last || found.directory, last, found);
        if (error != 0) return error;
        if (found.object || found.parent) return 0; // the last name, missing or through a link
    }
    found.object = std::move(cur);
    return 0;
}

// Where the program's path starts: its root and its working directory or dirfd.
int start_walk(const Request &r, Walk &w, Fd &start) {
    w.root = Fd(open(proc_path(r.tid, "root").c_str(), O_PATH | O_CLOEXEC));
    if (!w.root) return errno == ENOENT ? ESRCH : errno;
    if (r.path.starts_with('/') && (r.resolve & RESOLVE_IN_ROOT) == 0)
        start = copy_of(w.root);
    else if (r.dirfd == AT_FDCWD)
        start = Fd(open(proc_path(r.tid, "cwd").c_str(), O_PATH | O_CLOEXEC));
    else
        start = Fd(open(proc_path(r.tid, "fd/" + std::to_string(r.dirfd)).c_str(), O_PATH | O_CLOEXEC));
    if (!start) return errno == ENOENT ? EBADF : errno;
    if ((r.resolve & RESOLVE_IN_ROOT) != 0) w.root = copy_of(start);
    w.mount = mount_of(start.get());
    return 0;
}

// The flags a reopen of the object takes: the program's, less what named it.
int reopen_flags(std::uint64_t flags) {
    return static_cast<int>((flags & ~std::uint64_t{O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | kLargeFile}) |
                            O_CLOEXEC | O_NOCTTY);
}

std::string fd_path(const Fd &fd) {
    return "/proc/self/fd/" + std::to_string(fd.get());
}

// The program's umask, for what the supervisor creates for it.
void take_umask(const Request &r) {
    Fd dir(open(proc_path(r.tid, "").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const long mask = dir ? status_field(dir.get(), "Umask:", 8) : -1;
    umask(mask >= 0 ? static_cast<mode_t>(mask) : 022);
}

// Reopens the object and gives it to the program; in a thread of its own, as
// the open may block.
void reopen_and_hand_over(Fd listener, const Request &r, Fd object) {
    wait_for_hand_overs();
    Fd file(open(fd_path(object).c_str(), reopen_flags(r.flags)));
    if (!file)
        refuse(listener.get(), r.id, errno);
    else
        hand_over_file(listener.get(), r.id, std::move(file), (r.flags & O_CLOEXEC) != 0);
}

class Supervisor {
  public:
    Supervisor(int listener, const std::function<void(const DeviceOpen &, Device)> &on_device)
        : listener_(listener), on_device_(on_device) {}
    void handle(const seccomp_notif &n);

  private:
    bool valid(std::uint64_t id) const { return ioctl(listener_, SECCOMP_IOCTL_NOTIF_ID_VALID, &id) == 0; }
    void continue_call(std::uint64_t id) const {
        seccomp_notif_resp response{};
        response.id = id;
        response.flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
        ioctl(listener_, SECCOMP_IOCTL_NOTIF_SEND, &response);
    }
    static int resolve(const Request &r, Found &found);
    int serve(const Request &r);
    int serve_object(const Request &r, Fd object, bool directory);
    static Device missing_device(const Request &r, const Found &found);
    int create(const Request &r, const Found &found) const;
    void reopen(const Request &r, Fd object) const;

    int listener_;
    const std::function<void(const DeviceOpen &, Device)> &on_device_;
};

void Supervisor::handle(const seccomp_notif &n) {
    Request r;
    int error = read_request(n, r);
    if (!valid(n.id)) return; // the program's memory read may be another's: nothing done with it
    if (error == 0 && (r.flags & O_PATH) != 0) {
        // A descriptor that only names the object (no reads, writes or
        // mappings, and reopening it is an open again) cannot be handed over:
        // the kernel makes it, with the flags the program's registers hold,
        // which no other thread can change.  openat2 keeps them in memory,
        // which another thread could, so its O_PATH opens are answered as by a
        // kernel without openat2, and the program falls back to openat.
        if (r.checked_strictly) error = ENOSYS;
        if (error == 0) {
            continue_call(r.id);
            return;
        }
    }
    if (error == 0) error = serve(r);
    if (error != 0) refuse(listener_, r.id, error);
}

int Supervisor::resolve(const Request &r, Found &found) {
    Walk w{r.tid, r.tid, {}, r.resolve, 0};
    Fd start;
    if (const int error = start_walk(r, w, start); error != 0) return error;
    Fd dir(open(proc_path(r.tid, "").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    w.tgid = dir ? static_cast<pid_t>(status_field(dir.get(), "Tgid:", 10)) : r.tid;
    const bool follow_last =
        (r.flags & O_NOFOLLOW) == 0 && (r.flags & (O_CREAT | O_EXCL)) != (O_CREAT | O_EXCL);
    return walk(w, std::move(start), r.path, follow_last, found);
}

// Serves one open: 0 once answered, else the errno to answer.
int Supervisor::serve(const Request &r) {
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        Found found;
        if (const int error = resolve(r, found); error != 0) return error;
        if (found.object) return serve_object(r, std::move(found.object), found.directory);
        if (const Device device = missing_device(r, found); device != Device::None) {
            on_device_(DeviceOpen{listener_, r.id, r.tid, r.path, (r.flags & O_CLOEXEC) != 0}, device);
            return 0;
        }
        if ((r.flags & O_CREAT) == 0) return ENOENT;
        if (found.directory) return EISDIR;
        const int error = create(r, found);
        if (error != EEXIST) return error;
    }
    return EEXIST;
}

// Where the machine has no memory devices (as on ours), their names in the
// program's /dev still stand for them.
Device Supervisor::missing_device(const Request &r, const Found &found) {
    if ((r.flags & O_PATH) != 0 || found.directory) return Device::None;
    const Device device = found.name == "mem"                            ? Device::Mem
                          : found.name == "port" || found.name == "kmem" ? Device::OtherMemory
                                                                         : Device::None;
    if (device == Device::None) return device;
    const Fd dev(open(proc_path(r.tid, "root/dev").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return dev && same_object(dev.get(), found.parent.get()) ? device : Device::None;
}

int Supervisor::serve_object(const Request &r, Fd object, bool directory) {
    struct stat st {};
    if (fstat(object.get(), &st) != 0) return errno;
    const bool cloexec = (r.flags & O_CLOEXEC) != 0;
    if ((r.flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL)) return EEXIST;
    if ((directory || (r.flags & O_DIRECTORY) != 0) && !S_ISDIR(st.st_mode)) return ENOTDIR;
    if (S_ISLNK(st.st_mode)) return ELOOP;
    if ((r.flags & O_CREAT) != 0 && S_ISDIR(st.st_mode)) return EISDIR;
    if (const Device device = device_of(st); device != Device::None) {
        on_device_(DeviceOpen{listener_, r.id, r.tid, r.path, cloexec}, device);
        return 0;
    }
    if (r.i386 && (r.flags & kLargeFile) == 0 && S_ISREG(st.st_mode) && st.st_size > INT32_MAX)
        return EOVERFLOW;
    if ((r.flags & kTmpFileBit) != 0) {
        take_umask(r);
        wait_for_hand_overs();
        Fd file(open(fd_path(object).c_str(), reopen_flags(r.flags), static_cast<mode_t>(r.mode)));
        if (!file) return errno;
        hand_over_file(listener_, r.id, std::move(file), cloexec);
        return 0;
    }
    reopen(r, std::move(object));
    return 0;
}

// Creates the missing name: 0 once answered, else an errno (EEXIST: look again).
int Supervisor::create(const Request &r, const Found &found) const {
    if (!valid(r.id)) return 0; // nothing made for a call that no longer waits
    take_umask(r);
    const int flags = reopen_flags(r.flags) | O_CREAT | O_EXCL | O_NOFOLLOW;
    wait_for_hand_overs();
    Fd file(openat(found.parent.get(), found.name.c_str(), flags, static_cast<mode_t>(r.mode)));
    if (!file) return errno;
    hand_over_file(listener_, r.id, std::move(file), (r.flags & O_CLOEXEC) != 0);
    return 0;
}

void Supervisor::reopen(const Request &r, Fd object) const {
    Fd listener(fcntl(listener_, F_DUPFD_CLOEXEC, 3));
    if (!listener) {
        refuse(listener_, r.id, errno);
        return;
    }
    try {
        std::thread(reopen_and_hand_over, std::move(listener), r, std::move(object)).detach();
    } catch (const std::system_error &) {
        refuse(listener_, r.id, EAGAIN);
    }
}

} // namespace

void serve_opens(int listener, int stop_fd,
                 const std::function<void(const DeviceOpen &, Device)> &on_device) {
    // A file system context of this thread's own, for the program's umask.
    unshare(CLONE_FS);
    Supervisor supervisor(listener, on_device);
    for (;;) {
        pollfd polled[] = {{listener, POLLIN, 0}, {stop_fd, POLLIN, 0}};
        if (poll(polled, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (polled[1].revents != 0) return;
        if ((polled[0].revents & POLLIN) == 0) {
            if ((polled[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return;
            continue;
        }
        seccomp_notif n{};
        if (ioctl(listener, SECCOMP_IOCTL_NOTIF_RECV, &n) != 0) continue; // ENOENT: the caller is gone
        supervisor.handle(n);
    }
}

} // namespace kova::run
