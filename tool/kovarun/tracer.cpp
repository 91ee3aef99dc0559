// The tracer: follows the program, its threads, children and the programs
// they execute under ptrace; serves the calls the seccomp filter stops and
// every fault on the register window or on port I/O from the controller
// behind it (a Backend); the program's opens are the supervisor's
// (syscalls.cpp).
#include "tracer.h"

#include "access.h"
#include "launch.h"
#include "register_map.h"
#include "syscalls.h"

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kova::run {

namespace {

constexpr std::uint64_t kPageSize = 0x1000;
constexpr unsigned kInstructionBytes = 16;

// The memory device's descriptor in a traced process: the handle the
// controller handed out, and whether it closes on exec.
struct MemFd {
    int handle;   // cppcheck-suppress unusedStructMember ; read through Space::mem_fds
    bool cloexec; // cppcheck-suppress unusedStructMember ; read in on_exec
};

// The address space and descriptors of one traced process, shared by its
// threads (and by a vfork child until it executes a program).
struct Space {
    std::vector<Window> windows;
    std::unordered_map<int, MemFd> mem_fds;
    bool iopl = false;
    std::bitset<0x10000> ports;                        // granted by ioperm
    std::unordered_map<std::uint64_t, Access> decoded; // by instruction address
};

// What a thread stopped at the end of a call must record.
struct Pending {
    enum class Kind : std::uint8_t { None, Window };
    Kind kind = Kind::None;
    Window window{};
};

struct Thread {
    std::shared_ptr<Space> space;
    Pending pending;
    bool initial_stop = false; // a new thread's SIGSTOP is still to come
};

// ---------------------------------------------------------------- tracee memory

std::size_t read_memory(pid_t tid, std::uint64_t address, void *buffer, std::size_t size) {
    // Page by page, so that a read that runs into an unmapped page still
    // returns what comes before it.
    std::size_t done = 0;
    while (done < size) {
        const std::uint64_t at = address + done;
        const std::size_t chunk = std::min<std::size_t>(size - done, kPageSize - at % kPageSize);
        iovec local{static_cast<char *>(buffer) + done, chunk};
        // NOLINTNEXTLINE(performance-no-int-to-ptr): an address in the traced process
        iovec remote{reinterpret_cast<void *>(at), chunk};
        const ssize_t got = process_vm_readv(tid, &local, 1, &remote, 1, 0);
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
        if (static_cast<std::size_t>(got) < chunk) break;
    }
    return done;
}

// ---------------------------------------------------------------- the tracer

class Tracer {
  public:
    explicit Tracer(Backend &controller) : controller_(controller) {}
    int run(pid_t child);

  private:
    bool take_listener(pid_t child);
    int trace(pid_t child);
    void on_device_open(const DeviceOpen &open, Device device);
    bool on_foreign_ports(pid_t tid, const Access &access, const user_regs_struct &regs);
    bool on_syscall(pid_t tid, Thread &t);
    bool on_mmap(pid_t tid, Thread &t, user_regs_struct &regs, bool i386, Call call);
    void on_iopl(Space &space, user_regs_struct &regs, bool i386);
    void on_close(Space &space, const user_regs_struct &regs, bool i386);
    void on_new_thread(pid_t tid, Thread &t, int event);
    void on_exec(pid_t tid, Thread &t);
    int on_fault(pid_t tid, Thread &t);
    void on_stop(pid_t tid, Thread &t, int st);
    const Access &decoded(pid_t tid, Space &space, const user_regs_struct &regs);
    void stop_all();
    void end_all();
    void on_end(pid_t tid, pid_t child);

    Backend &controller_;
    Decoder decoder_;
    std::unordered_map<pid_t, Thread> threads_;
    std::unordered_set<pid_t> unborn_; // stopped before their parent's event
    bool stopped_ = false;             // a fault the runner cannot serve
    bool ending_ = false;              // every traced process is being killed
    // The controller and threads_ are the tracer's and the open
    // supervisor's: each takes the lock while it serves a call.
    std::mutex mutex_;
    int listener_ = -1;
    std::set<std::uint16_t> warned_ports_; // not the controller's: said once each
};
bool g_strict_ports = false;
const char *g_strict_ports_why = "";

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

void say(pid_t tid, const std::string &text) {
    std::fprintf(stderr, "%s: %s (pid %d): %s\n", g_launch.runner, g_launch.name.c_str(),
                 static_cast<int>(tid), text.c_str());
}

// Drops what [address, address + length) covers from the window mappings.
void forget_windows(Space &space, std::uint64_t address, std::uint64_t length) {
    const std::uint64_t end = address + (length + kPageSize - 1) / kPageSize * kPageSize;
    std::vector<Window> kept;
    for (const Window &w : space.windows) {
        const std::uint64_t w_end = w.start + w.length;
        if (w_end <= address || w.start >= end) {
            kept.push_back(w);
            continue;
        }
        if (w.start < address) kept.push_back({w.start, address - w.start, w.offset});
        if (w_end > end)
            kept.push_back({end, w_end - end, static_cast<std::uint32_t>(w.offset + (end - w.start))});
    }
    space.windows = std::move(kept);
    space.decoded.clear();
}

bool Tracer::on_mmap(pid_t tid, Thread &t, user_regs_struct &regs, bool i386, Call call) {
    const std::uint64_t address = syscall_arg(regs, i386, 0);
    const std::uint64_t length = syscall_arg(regs, i386, 1);
    const std::uint64_t flags = syscall_arg(regs, i386, 3);
    const auto fd = static_cast<int>(syscall_arg(regs, i386, 4));
    const std::uint64_t offset = syscall_arg(regs, i386, 5) * (call == Call::Mmap2 ? kPageSize : 1);
    const auto mem = t.space->mem_fds.find(fd);
    if ((flags & MAP_FIXED) != 0) forget_windows(*t.space, address, length);
    if (mem == t.space->mem_fds.end() || (flags & MAP_ANONYMOUS) != 0) return false;
    const Backend::Mapping mapping = controller_.map(mem->second.handle, offset, length);
    switch (mapping.kind) {
    case Backend::Mapping::Kind::Refused:
        skip_syscall(regs, -mapping.error);
        return false;
    case Backend::Mapping::Kind::FrameBuffer: // the runner's memory descriptor itself
        set_syscall_arg(regs, i386, 5, mapping.file_offset / (call == Call::Mmap2 ? kPageSize : 1));
        return false;
    case Backend::Mapping::Kind::Outside:
        say(tid, "mmap of physical " + hex(offset) + " length " + hex(length) +
                     " is not performed: it lies outside the controller's aperture and register window; "
                     "the program is stopped");
        skip_syscall(regs, -EPERM);
        stop_all();
        return false;
    case Backend::Mapping::Kind::Window:
        break;
    }
    // The register window: no access at all, so that each one faults.
    set_syscall_arg(regs, i386, 2, PROT_NONE);
    set_syscall_arg(regs, i386, 3, (flags & MAP_FIXED) | MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE);
    set_syscall_arg(regs, i386, 4, ~std::uint64_t{0});
    set_syscall_arg(regs, i386, 5, 0);
    t.pending = {Pending::Kind::Window, {0, length, mapping.window_offset}};
    return true;
}

void Tracer::on_iopl(Space &space, user_regs_struct &regs, bool i386) {
    const auto level = static_cast<int>(syscall_arg(regs, i386, 0));
    const int result = controller_.iopl(level);
    if (result == 0) space.iopl = level >= 3;
    skip_syscall(regs, result == 0 ? 0 : -errno);
}

void on_ioperm(Space &space, user_regs_struct &regs, bool i386) {
    const std::uint64_t from = syscall_arg(regs, i386, 0), count = syscall_arg(regs, i386, 1);
    if (from + count > space.ports.size() || from + count < from) {
        skip_syscall(regs, -EINVAL);
        return;
    }
    for (std::uint64_t port = from; port < from + count; ++port)
        space.ports[port] = syscall_arg(regs, i386, 2) != 0;
    skip_syscall(regs, 0);
}

void Tracer::on_close(Space &space, const user_regs_struct &regs, bool i386) {
    const auto fd = static_cast<int>(syscall_arg(regs, i386, 0));
    if (const auto mem = space.mem_fds.find(fd); mem != space.mem_fds.end()) {
        controller_.close_mem(mem->second.handle);
        space.mem_fds.erase(mem);
    }
}

// A filter stop; true when the thread must stop again at the call's end.
bool Tracer::on_syscall(pid_t tid, Thread &t) {
    unsigned long data = 0;
    user_regs_struct regs{};
    if (ptrace(PTRACE_GETEVENTMSG, tid, nullptr, &data) != 0 ||
        ptrace(PTRACE_GETREGS, tid, nullptr, &regs) != 0)
        return false;
    const user_regs_struct before = regs;
    const bool i386 = (data & kI386) != 0;
    const auto call = static_cast<Call>(data & 0xFF);
    Space &space = *t.space;
    bool to_exit = false;
    switch (call) {
    case Call::Iopl:
        on_iopl(space, regs, i386);
        break;
    case Call::Ioperm:
        on_ioperm(space, regs, i386);
        break;
    case Call::Open:
    case Call::Openat:
    case Call::Openat2:
    case Call::Creat:
        break; // the supervisor's (serve_opens)
    case Call::OpenByHandle:
        skip_syscall(regs, -EPERM); // it could name the memory device unseen
        break;
    case Call::IoUringSetup:
        skip_syscall(regs, -ENOSYS); // its opens would pass unseen
        break;
    case Call::Mmap:
    case Call::Mmap2:
        to_exit = on_mmap(tid, t, regs, i386, call);
        break;
    case Call::Munmap:
        forget_windows(space, syscall_arg(regs, i386, 0), syscall_arg(regs, i386, 1));
        break;
    case Call::Close:
        on_close(space, regs, i386);
        break;
    }
    if (std::memcmp(&before, &regs, sizeof regs) != 0) ptrace(PTRACE_SETREGS, tid, nullptr, &regs);
    return to_exit;
}

// The end of a call the thread was stopped for: the descriptor or mapping it made.
void on_syscall_exit(pid_t tid, Thread &t) {
    user_regs_struct regs{};
    const Pending pending = t.pending;
    t.pending = {};
    if (ptrace(PTRACE_GETREGS, tid, nullptr, &regs) != 0) return;
    const auto result =
        static_cast<long long>(is_i386(regs) ? static_cast<std::int32_t>(regs.rax) : regs.rax);
    if (result < 0 && result > -4096) return;
    if (pending.kind == Pending::Kind::Window) {
        Window w = pending.window;
        w.start = is_i386(regs) ? regs.rax & 0xFFFFFFFFu : regs.rax;
        t.space->windows.push_back(w);
    }
}

void Tracer::on_new_thread(pid_t tid, Thread &t, int event) {
    unsigned long pid = 0;
    if (ptrace(PTRACE_GETEVENTMSG, tid, nullptr, &pid) != 0) return;
    const auto child = static_cast<pid_t>(pid);
    // A fork copies the address space; a vfork or a thread shares it.
    Thread &c = threads_[child];
    c.space = event == PTRACE_EVENT_FORK ? std::make_shared<Space>(*t.space) : t.space;
    if (unborn_.erase(child) != 0)
        ptrace(PTRACE_CONT, child, nullptr, nullptr);
    else
        c.initial_stop = true;
}

void Tracer::on_exec(pid_t tid, Thread &t) {
    unsigned long former = 0;
    if (ptrace(PTRACE_GETEVENTMSG, tid, nullptr, &former) == 0 && static_cast<pid_t>(former) != tid)
        threads_.erase(static_cast<pid_t>(former));
    // A new program: no mappings; the descriptors and privilege it keeps.
    auto space = std::make_shared<Space>();
    for (const auto &[fd, mem] : t.space->mem_fds)
        if (!mem.cloexec) space->mem_fds[fd] = mem;
    space->iopl = t.space->iopl;
    space->ports = t.space->ports;
    t.space = std::move(space);
}

// The instruction at the thread's RIP, decoded once per address.  The cache
// is dropped with every change of the mappings the runner sees (munmap, a
// fixed mmap, exec); code rewritten in place is not looked for.
const Access &Tracer::decoded(pid_t tid, Space &space, const user_regs_struct &regs) {
    auto found = space.decoded.find(regs.rip);
    if (found == space.decoded.end()) {
        std::uint8_t bytes[kInstructionBytes] = {};
        const std::size_t got = read_memory(tid, regs.rip, bytes, sizeof bytes);
        found = space.decoded.emplace(regs.rip, decoder_.decode(bytes, got, regs.rip, is_i386(regs))).first;
    }
    return found->second;
}

bool port_allowed(const Space &space, const Access &a, const user_regs_struct &regs) {
    if (space.iopl) return true;
    const auto port = static_cast<std::uint16_t>(a.immediate ? a.imm : regs.rdx);
    for (unsigned i = 0; i < a.width; ++i)
        if (port + i >= space.ports.size() || !space.ports[port + i]) return false;
    return true;
}

// The controller's ports: the single ports of the register map, through which
// the library reaches every indexed file.
bool is_controller_port(std::uint16_t port) {
    return std::any_of(
        std::begin(reg::kRegisters), std::end(reg::kRegisters),
        [port](const reg::Register &r) { return r.file == reg::File::Port && r.index == port; });
}

// A SIGSEGV: served when it is a register-window access or port I/O;
// returns the signal to deliver (0 when served).  The usual case, a load or
// store on a window mapping or an in/out, is told from the instruction alone.
int Tracer::on_fault(pid_t tid, Thread &t) {
    user_regs_struct regs{};
    if (ptrace(PTRACE_GETREGS, tid, nullptr, &regs) != 0) return SIGSEGV;
    const Access &access = decoded(tid, *t.space, regs);
    const bool is_port = access.kind == Access::Kind::In || access.kind == Access::Kind::Out;
    const bool is_memory = access.kind == Access::Kind::Load || access.kind == Access::Kind::Store;
    std::uint64_t address = 0;
    const bool on_window = is_memory && effective_address(access, regs, is_i386(regs), address) &&
                           window_holding(t.space->windows, address) != nullptr;
    std::string why;
    if (is_port && port_allowed(*t.space, access, regs) && !on_foreign_ports(tid, access, regs)) return 0;
    if ((on_window || (is_port && port_allowed(*t.space, access, regs))) &&
        perform(access, t.space->windows, regs, controller_, why))
        return ptrace(PTRACE_SETREGS, tid, nullptr, &regs) == 0 ? 0 : SIGSEGV;

    siginfo_t si{};
    if (ptrace(PTRACE_GETSIGINFO, tid, nullptr, &si) != 0) return SIGSEGV;
    address = reinterpret_cast<std::uint64_t>(si.si_addr);
    const bool port_fault = si.si_code == SI_KERNEL;
    const bool window_fault = window_holding(t.space->windows, address) != nullptr;
    const std::string where = "'" + access.text + "' at " + hex(regs.rip);
    if (!port_fault && !window_fault) {
        say(tid, "segmentation fault at " + hex(address) + " by " + where);
        return SIGSEGV;
    }
    if (why.empty() && port_fault && !is_port) why = "a privileged instruction that is not port I/O";
    if (why.empty() && is_port) why = "port I/O without the I/O privilege (no iopl(3) or ioperm granted it)";
    if (why.empty()) why = "an instruction form the runner does not perform";
    say(tid, "cannot perform " + where +
                 (window_fault ? " (register window address " + hex(address) + ")" : "") + ": " + why +
                 "; the program is stopped");
    stop_all();
    return 0;
}

void Tracer::stop_all() {
    stopped_ = true;
    end_all();
}

// Every traced process is killed; the run ends when all have ended.
void Tracer::end_all() {
    ending_ = true;
    for (const auto &[tid, thread] : threads_)
        kill(tid, SIGKILL);
    for (const pid_t tid : unborn_)
        kill(tid, SIGKILL);
}

// The end of a traced thread; the program's own end ends the run, unless
// its descendants are waited for.
void Tracer::on_end(pid_t tid, pid_t child) {
    threads_.erase(tid);
    unborn_.erase(tid);
    if (tid == child) {
        g_child = 0;
        if (!g_launch.wait_children) end_all();
    }
    if (tid == g_wake) g_wake = threads_.empty() ? 0 : threads_.begin()->first;
}

// The filter's listener, from the child stopped before it executes the program.
bool Tracer::take_listener(pid_t child) {
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    listener_ = pidfd < 0 ? -1 : static_cast<int>(syscall(SYS_pidfd_getfd, pidfd, g_launch.video_fd, 0));
    const int error = errno;
    if (pidfd >= 0) close(pidfd);
    if (listener_ >= 0) return true;
    std::fprintf(stderr, "%s: cannot take the listener for the program's opens: %s%s%s\n", g_launch.runner,
                 std::strerror(error), error == ENOSYS ? " (" : "",
                 error == ENOSYS ? (std::string(g_launch.runner) + " needs Linux 5.14 or later)").c_str()
                                 : "");
    return false;
}

// The program's opens served by a thread of their own while this one traces it.
int Tracer::run(pid_t child) {
    if (!take_listener(child)) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, __WALL);
        return kRefused;
    }
    // Nothing of the runner's through /proc/PID for the program (its files, its memory).
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const int stop = eventfd(0, EFD_CLOEXEC);
    std::thread supervisor(serve_opens, listener_, stop,
                           [this](const DeviceOpen &open, Device device) { on_device_open(open, device); });
    const int status = trace(child);
    eventfd_write(stop, 1);
    supervisor.join();
    close(stop);
    close(listener_);
    return status;
}

void Tracer::on_device_open(const DeviceOpen &open, Device device) {
    const std::lock_guard lock(mutex_);
    if (device == Device::OtherMemory) {
        say(open.tid, "opening " + open.path + " refused: only /dev/mem is served by " + controller_.name());
        refuse(open.listener, open.id, EACCES);
        return;
    }
    const int handle = controller_.open_mem();
    if (handle < 0) {
        refuse(open.listener, open.id, errno);
        return;
    }
    // The program's own descriptor of the video memory (see syscalls.cpp).
    const int fd = hand_over(open.listener, open.id, controller_.memory_descriptor(), open.cloexec);
    const auto thread = threads_.find(open.tid);
    if (fd < 0 || thread == threads_.end()) {
        controller_.close_mem(handle);
        return;
    }
    thread->second.space->mem_fds[fd] = {handle, open.cloexec};
}

// Port I/O on ports that are not the controller's: a warning once per port,
// or with --strict-ports a stop.  False when the program is stopped.
bool Tracer::on_foreign_ports(pid_t tid, const Access &access, const user_regs_struct &regs) {
    const auto first = static_cast<std::uint16_t>(access.immediate ? access.imm : regs.rdx);
    for (unsigned i = 0; i < access.width; ++i) {
        const auto port = static_cast<std::uint16_t>(first + i);
        if (is_controller_port(port)) continue;
        const std::string what =
            "port " + hex(port) + " is not the controller's: '" + access.text + "' at " + hex(regs.rip);
        if (g_strict_ports) {
            say(tid, what + " is not performed (" + g_strict_ports_why + "); the program is stopped");
            stop_all();
            return false;
        }
        if (warned_ports_.insert(port).second) say(tid, what + " is served by " + controller_.name());
    }
    return true;
}

int Tracer::trace(pid_t child) {
    threads_[child].space = std::make_shared<Space>();
    int status = 0;
    g_wake = child;
    ptrace(PTRACE_CONT, child, nullptr, nullptr);
    while (!threads_.empty()) {
        if (g_stop_signal != 0 && !ending_) end_all();
        int st = 0;
        const pid_t tid = waitpid(-1, &st, __WALL);
        if (tid < 0) {
            if (errno == EINTR) continue;
            break;
        }
        const std::lock_guard lock(mutex_);
        if (WIFEXITED(st) || WIFSIGNALED(st)) {
            if (tid == child) status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            on_end(tid, child);
            continue;
        }
        if (!WIFSTOPPED(st)) continue;
        const auto found = threads_.find(tid);
        if (found == threads_.end()) {
            unborn_.insert(tid);
            if (ending_) kill(tid, SIGKILL);
            continue;
        }
        on_stop(tid, found->second, st);
    }
    for (const pid_t tid : unborn_) // a fork's child whose parent ended before the fork's event
        kill(tid, SIGKILL);
    return stopped_ ? kUnservedFault : status;
}

// One stop of a traced thread, served; the thread goes on.
void Tracer::on_stop(pid_t tid, Thread &t, int st) {
    const int sig = WSTOPSIG(st);
    const int event = st >> 16;
    int deliver = 0;
    bool to_exit = false;
    if (event == PTRACE_EVENT_SECCOMP)
        to_exit = on_syscall(tid, t);
    else if (event == PTRACE_EVENT_FORK || event == PTRACE_EVENT_VFORK || event == PTRACE_EVENT_CLONE)
        on_new_thread(tid, t, event);
    else if (event == PTRACE_EVENT_EXEC)
        on_exec(tid, t);
    else if (event != 0)
        ;
    else if (sig == (SIGTRAP | 0x80))
        on_syscall_exit(tid, t);
    else if (sig == SIGSTOP && t.initial_stop)
        t.initial_stop = false;
    else if (sig == SIGSEGV)
        deliver = on_fault(tid, t);
    else {
        siginfo_t si{};
        deliver = ptrace(PTRACE_GETSIGINFO, tid, nullptr, &si) == 0 ? sig : 0; // not a group stop
    }
    // NOLINTNEXTLINE(performance-no-int-to-ptr): ptrace takes the signal as its data pointer
    ptrace(to_exit ? PTRACE_SYSCALL : PTRACE_CONT, tid, nullptr, reinterpret_cast<void *>(deliver));
}

} // namespace

void set_strict_ports(const char *why) {
    g_strict_ports = true;
    g_strict_ports_why = why;
}

int trace_program(Backend &controller, pid_t child) {
    Tracer tracer(controller);
    return tracer.run(child);
}

} // namespace kova::run
