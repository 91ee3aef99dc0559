// The runner: starts the program under ptrace with a seccomp filter that
// stops it at the calls that reach the machine, serves those calls and every
// fault on the register window or on port I/O from the simulated controller,
// and follows the program's children and the programs they execute.
#include "runner.h"

#include "access.h"
#include "register_map.h"
#include "syscalls.h"

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

namespace fs = std::filesystem;

constexpr int kRefused = 2;
constexpr std::uint64_t kSysfsMemoryLength = 0x1000000; // the BAR the generated tree describes
constexpr std::uint64_t kPageSize = 0x1000;
constexpr unsigned kInstructionBytes = 16;

// The memory device's descriptor in a traced process: the descriptor the
// simulated controller handed out, and whether it closes on exec.
struct MemFd {
    int sim_fd;   // cppcheck-suppress unusedStructMember ; read through Space::mem_fds
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

// The program being run, from prepare() to the end of run().
struct Launch {
    std::string sysfs;
    bool generated_sysfs = false;
    bool generated_state_dir = false;
    std::string state_dir;
    std::string name; // for messages
    pid_t child = -1;
    int video_fd = -1;
    int report_fd = -1;         // the child's report of a failed start
    bool wait_children = false; // --wait-children
    sigset_t signal_mask{};     // kovarun's own, while prepare() holds the stopping signals
};
Launch g_launch;

// The signals that stop a run, and what they find while the program runs:
// the program (0 once it has ended), a traced process whose killing wakes
// the tracer, how many came, and the one that stops the run.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t g_child = 0;
volatile sig_atomic_t g_wake = 0;
volatile sig_atomic_t g_signals = 0;
volatile sig_atomic_t g_stop_signal = 0;

// What the child says when it cannot start the program.
struct StartReport {
    enum class Stage : int { Ptrace, NoNewPrivs, Filter, Exec } stage;
    int error;
};

// ---------------------------------------------------------------- start-up

// What keeps the file at `path` from being run as a program: empty when
// nothing does.
std::string not_runnable(const std::string &path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? "no such program" : std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "is a directory";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (access(path.c_str(), X_OK) != 0) return "not executable";
    return "";
}

// The program's path, found as execvp finds it (a name without a slash on
// PATH); empty, with `why`, when there is none to run.
std::string find_program(const char *name, std::string &why) {
    if (std::strchr(name, '/') != nullptr) {
        why = not_runnable(name);
        return why.empty() ? name : "";
    }
    const char *path = std::getenv("PATH");
    const std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    why = "no such program";
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        const std::string wrong = not_runnable(candidate);
        if (wrong.empty()) return candidate;
        if (wrong == "not executable") why = wrong; // a file of that name, but not one to run
        start = end + 1;
    }
    return "";
}

// The program's environment: the runner's, with the device-check tree and
// state directory it is given.  KOVA_SKIP_DEVICE_CHECK is dropped, so that
// the device check always runs against that tree (run the program through
// env(1) to rehearse a skipped check); KOVARUN=1 tells the program's device
// check so, for its advice.
std::vector<std::string> program_environment() {
    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; ++e) {
        const std::string_view entry = *e;
        const std::string_view name = entry.substr(0, entry.find('='));
        if (name == "KOVA_SYSFS_ROOT" || name == "KOVA_SKIP_DEVICE_CHECK" || name == "ASAN_OPTIONS" ||
            name == "KOVARUN" || (name == "KOVA_STATE_DIR" && !g_launch.state_dir.empty()))
            continue;
        env.emplace_back(entry);
    }
    // LeakSanitizer stops the world with ptrace, which a traced program
    // cannot: a sanitized program runs without leak detection here.
    const char *asan = std::getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") +
                  (asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : "") + "detect_leaks=0");
    env.push_back("KOVA_SYSFS_ROOT=" + g_launch.sysfs);
    env.emplace_back("KOVARUN=1");
    if (!g_launch.state_dir.empty()) env.push_back("KOVA_STATE_DIR=" + g_launch.state_dir);
    return env;
}

void say_no_video_memory(const char *what) {
    const int error = errno;
    std::fprintf(stderr, "kovarun: cannot share the video memory: %s: %s", what, std::strerror(error));
    if (error == ENOSYS)
        std::fprintf(stderr, " (kovarun needs Linux 5.14 or later with secret memory enabled)");
    rlimit locked{};
    if ((error == EAGAIN || error == ENOMEM) && getrlimit(RLIMIT_MEMLOCK, &locked) == 0 &&
        locked.rlim_cur < sim::Controller::kVideoMemorySize * 2)
        std::fprintf(stderr, " (it is locked memory: the locked-memory limit, ulimit -l, is %llu KiB)",
                     static_cast<unsigned long long>(locked.rlim_cur / 1024));
    std::fputc('\n', stderr);
}

// The video memory in a secret-memory file that the program maps too (see
// syscalls.cpp); false after the reason is said.  Closed standard descriptors
// are held first, so that none of kovarun's files takes their numbers.
bool share_video_memory(sim::Controller &sim) {
    hold_standard_descriptors();
    g_launch.video_fd = static_cast<int>(syscall(SYS_memfd_secret, O_CLOEXEC));
    if (g_launch.video_fd < 0) {
        say_no_video_memory("memfd_secret");
        return false;
    }
    if (ftruncate(g_launch.video_fd, sim::Controller::kVideoMemorySize) != 0) {
        say_no_video_memory("ftruncate");
        return false;
    }
    void *memory = mmap(nullptr, sim::Controller::kVideoMemorySize, PROT_READ | PROT_WRITE, MAP_SHARED,
                        g_launch.video_fd, 0);
    if (memory == MAP_FAILED) {
        say_no_video_memory("mmap");
        return false;
    }
    sim.use_video_backing(static_cast<std::uint8_t *>(memory));
    return true;
}

[[noreturn]] void child_fails(int report, StartReport::Stage stage) {
    const StartReport r{stage, errno};
    [[maybe_unused]] const ssize_t written = write(report, &r, sizeof r);
    _exit(127);
}

// In the child: traced, filtered, stopped until the tracer is ready, then the
// program.  The filter's listener takes the number of the video memory's
// descriptor, which the child has no use for, so that the tracer knows where
// to take it from; like every descriptor of kovarun's, it closes on exec.
[[noreturn]] void start_child(int report, const std::string &path, char **argv, char **envp) {
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) child_fails(report, StartReport::Stage::Ptrace);
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) child_fails(report, StartReport::Stage::NoNewPrivs);
    const int listener = install_filter();
    if (listener < 0 || dup3(listener, g_launch.video_fd, O_CLOEXEC) < 0)
        child_fails(report, StartReport::Stage::Filter);
    close(listener);
    raise(SIGSTOP);
    // cppcheck-suppress unreachableCode ; raise returns once the tracer lets the child go on
    execve(path.c_str(), argv, envp);
    child_fails(report, StartReport::Stage::Exec);
}

// Why ptrace may be refused here, as far as the system tells.
std::string ptrace_hint() {
    std::string hint;
    std::ifstream yama("/proc/sys/kernel/yama/ptrace_scope");
    int scope = 0;
    if (yama >> scope && scope > 0) hint += "; kernel.yama.ptrace_scope is " + std::to_string(scope);
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("TracerPid:") && std::strtol(line.c_str() + 10, nullptr, 10) != 0)
            hint += "; kovarun is itself traced";
        if (line.starts_with("Seccomp:") && std::strtol(line.c_str() + 8, nullptr, 10) != 0)
            hint += "; kovarun runs under a seccomp filter (a container's?)";
    }
    return hint;
}

void say_start_failure(const StartReport &r) {
    const char *error = std::strerror(r.error);
    switch (r.stage) {
    case StartReport::Stage::Ptrace:
        std::fprintf(stderr, "kovarun: ptrace is not permitted: %s%s\n", error, ptrace_hint().c_str());
        break;
    case StartReport::Stage::NoNewPrivs:
    case StartReport::Stage::Filter:
        std::fprintf(stderr, "kovarun: cannot install the seccomp filter: %s\n", error);
        break;
    case StartReport::Stage::Exec:
        std::fprintf(stderr, "kovarun: cannot run %s: %s\n", g_launch.name.c_str(), error);
        break;
    }
}

// The child's report of a failed start, when it made one.
bool read_start_failure(StartReport &r) {
    return g_launch.report_fd >= 0 &&
           read(g_launch.report_fd, &r, sizeof r) == static_cast<ssize_t>(sizeof r);
}

// The tree the hardware flavour's device check reads: one boot VGA display
// controller whose memory resource holds the aperture the controller reports.
void write_sysfs(const sim::Controller &sim) {
    const fs::path dir = fs::path(g_launch.sysfs) / "bus/pci/devices/0000:01:00.0";
    std::error_code failed; // the program's device check says what is missing
    fs::create_directories(dir, failed);
    const std::uint64_t base = std::uint64_t{sim.get(sim::Reg::gr(reg::kApertureBase.at()))} << 24;
    std::ofstream(dir / "boot_vga") << "1\n";
    std::ofstream(dir / "class") << "0x030000\n";
    char lines[256];
    std::snprintf(lines, sizeof lines,
                  "0x%016llx 0x%016llx 0x0000000000042208\n0x000000000000d000 0x000000000000d0ff "
                  "0x0000000000040101\n",
                  static_cast<unsigned long long>(base),
                  static_cast<unsigned long long>(base + kSysfsMemoryLength - 1));
    std::ofstream(dir / "resource") << lines << "0x0000000000000000 0x0000000000000000 0x0000000000000000\n";
}

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
    explicit Tracer(sim::Controller &sim) : sim_(sim) {}
    int run(pid_t child);

  private:
    bool take_listener(pid_t child);
    int trace(pid_t child);
    void on_device_open(const DeviceOpen &open, Device device);
    bool on_foreign_ports(pid_t tid, const Access &access, const user_regs_struct &regs);
    bool on_syscall(pid_t tid, Thread &t);
    bool on_mmap(Thread &t, user_regs_struct &regs, bool i386, Call call);
    void on_new_thread(pid_t tid, Thread &t, int event);
    void on_exec(pid_t tid, Thread &t);
    int on_fault(pid_t tid, Thread &t);
    void on_stop(pid_t tid, Thread &t, int st);
    const Access &decoded(pid_t tid, Space &space, const user_regs_struct &regs);
    void stop_all();
    void end_all();
    void on_end(pid_t tid, pid_t child);

    sim::Controller &sim_;
    Decoder decoder_;
    std::unordered_map<pid_t, Thread> threads_;
    std::unordered_set<pid_t> unborn_; // stopped before their parent's event
    bool stopped_ = false;             // a fault the runner cannot serve
    bool ending_ = false;              // every traced process is being killed
    // The simulated controller and threads_ are the tracer's and the open
    // supervisor's: each takes the lock while it serves a call.
    std::mutex mutex_;
    int listener_ = -1;
    std::set<std::uint16_t> warned_ports_; // not the controller's: said once each
};
bool g_strict_ports = false;

void say(pid_t tid, const std::string &text) {
    std::fprintf(stderr, "kovarun: %s (pid %d): %s\n", g_launch.name.c_str(), static_cast<int>(tid),
                 text.c_str());
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

bool Tracer::on_mmap(Thread &t, user_regs_struct &regs, bool i386, Call call) {
    const std::uint64_t address = syscall_arg(regs, i386, 0);
    const std::uint64_t length = syscall_arg(regs, i386, 1);
    const std::uint64_t flags = syscall_arg(regs, i386, 3);
    const auto fd = static_cast<int>(syscall_arg(regs, i386, 4));
    const std::uint64_t offset = syscall_arg(regs, i386, 5) * (call == Call::Mmap2 ? kPageSize : 1);
    const auto mem = t.space->mem_fds.find(fd);
    if ((flags & MAP_FIXED) != 0) forget_windows(*t.space, address, length);
    if (mem == t.space->mem_fds.end() || (flags & MAP_ANONYMOUS) != 0) return false;
    if (offset > 0xFFFFFFFFu || length > 0xFFFFFFFFu) {
        skip_syscall(regs, -ENXIO);
        return false;
    }
    void *mapped =
        sim_.map(mem->second.sim_fd, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length));
    if (mapped == MAP_FAILED) {
        skip_syscall(regs, -errno);
        return false;
    }
    if (mapped == sim_.video_memory()) {
        set_syscall_arg(regs, i386, 5, 0); // the frame buffer: the shared video memory itself
        return false;
    }
    // The register window: no access at all, so that each one faults.
    set_syscall_arg(regs, i386, 2, PROT_NONE);
    set_syscall_arg(regs, i386, 3, (flags & MAP_FIXED) | MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE);
    set_syscall_arg(regs, i386, 4, ~std::uint64_t{0});
    set_syscall_arg(regs, i386, 5, 0);
    const auto window_offset =
        static_cast<std::uint32_t>(static_cast<std::uint8_t *>(mapped) - sim_.window_base());
    t.pending = {Pending::Kind::Window, {0, length, window_offset}};
    return true;
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
    case Call::Iopl: {
        const auto level = static_cast<int>(syscall_arg(regs, i386, 0));
        const int result = sim_.iopl(level);
        if (result == 0) space.iopl = level >= 3;
        skip_syscall(regs, result == 0 ? 0 : -errno);
        break;
    }
    case Call::Ioperm: {
        const std::uint64_t from = syscall_arg(regs, i386, 0), count = syscall_arg(regs, i386, 1);
        if (from + count > space.ports.size() || from + count < from) {
            skip_syscall(regs, -EINVAL);
            break;
        }
        for (std::uint64_t port = from; port < from + count; ++port)
            space.ports[port] = syscall_arg(regs, i386, 2) != 0;
        skip_syscall(regs, 0);
        break;
    }
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
        to_exit = on_mmap(t, regs, i386, call);
        break;
    case Call::Munmap:
        forget_windows(space, syscall_arg(regs, i386, 0), syscall_arg(regs, i386, 1));
        break;
    case Call::Close: {
        const auto fd = static_cast<int>(syscall_arg(regs, i386, 0));
        if (const auto mem = space.mem_fds.find(fd); mem != space.mem_fds.end()) {
            sim_.close_mem(mem->second.sim_fd);
            space.mem_fds.erase(mem);
        }
        break;
    }
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

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
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
        perform(access, t.space->windows, regs, sim_, why))
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
    std::fprintf(stderr, "kovarun: cannot take the listener for the program's opens: %s%s\n",
                 std::strerror(error), error == ENOSYS ? " (kovarun needs Linux 5.14 or later)" : "");
    return false;
}

// The program's opens served by a thread of their own while this one traces it.
int Tracer::run(pid_t child) {
    if (!take_listener(child)) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, __WALL);
        return kRefused;
    }
    // Nothing of kovarun's through /proc/PID for the program (its files, its memory).
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
        say(open.tid,
            "opening " + open.path + " refused: only /dev/mem is served by the simulated controller");
        refuse(open.listener, open.id, EACCES);
        return;
    }
    const int sim_fd = sim_.open_mem();
    if (sim_fd < 0) {
        refuse(open.listener, open.id, errno);
        return;
    }
    // The program's own descriptor of the video memory (see syscalls.cpp).
    const int fd = hand_over(open.listener, open.id, g_launch.video_fd, open.cloexec);
    const auto thread = threads_.find(open.tid);
    if (fd < 0 || thread == threads_.end()) {
        sim_.close_mem(sim_fd);
        return;
    }
    thread->second.space->mem_fds[fd] = {sim_fd, open.cloexec};
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
            say(tid, what + " is not performed (--strict-ports); the program is stopped");
            stop_all();
            return false;
        }
        if (warned_ports_.insert(port).second) say(tid, what + " is served by the simulated controller");
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

// SIGINT, SIGTERM or SIGHUP while the program runs.  The first is the
// program's: passed on, unless the terminal sent it (to the program as well,
// its whole foreground group).  A second one, or one after the program has
// ended, stops the run: the tracer is woken by the end of a traced process.
void on_run_signal(int sig, siginfo_t *info, void * /*context*/) {
    g_signals = g_signals + 1;
    if (g_signals == 1 && g_child > 0) {
        if (info->si_code != SI_KERNEL) kill(static_cast<pid_t>(g_child), sig);
        return;
    }
    g_stop_signal = sig;
    if (g_wake > 0) kill(static_cast<pid_t>(g_wake), SIGKILL);
}

// kovarun's own handlers, put back after the run.
struct SavedSignals {
    struct sigaction stop[std::size(kStopSignals)];
    struct sigaction quit;
};

// The run's handlers in place of kovarun's own; the keyboard's SIGQUIT is
// the program's alone.
void take_run_signals(SavedSignals &saved) {
    struct sigaction handler {};
    handler.sa_sigaction = on_run_signal;
    handler.sa_flags = SA_SIGINFO;
    sigemptyset(&handler.sa_mask);
    for (const int sig : kStopSignals)
        sigaddset(&handler.sa_mask, sig);
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &handler, &saved.stop[i]);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGQUIT, &ignore, &saved.quit);
}

void give_back_signals(const SavedSignals &saved) {
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &saved.stop[i], nullptr);
    sigaction(SIGQUIT, &saved.quit, nullptr);
}

// The children of kovarun's own: descendants the tracer did not follow,
// which came to kovarun as their subreaper when their parents ended.
std::vector<pid_t> own_children() {
    std::vector<pid_t> children;
    std::ifstream list("/proc/self/task/" + std::to_string(getpid()) + "/children");
    for (pid_t pid = 0; list >> pid;)
        children.push_back(pid);
    return children;
}

// After the traced processes: any other descendant is ended (or, with
// --wait-children and no stop, waited for) and reaped.
void end_untraced_children() {
    for (;;) {
        if (!g_launch.wait_children || g_stop_signal != 0)
            for (const pid_t pid : own_children())
                kill(pid, SIGKILL);
        int st = 0;
        if (waitpid(-1, &st, __WALL) < 0 && errno != EINTR) return;
    }
}

void remove_temp_dirs() {
    std::error_code ignored;
    if (g_launch.generated_sysfs) fs::remove_all(g_launch.sysfs, ignored);
    if (g_launch.generated_state_dir) fs::remove_all(g_launch.state_dir, ignored);
    g_launch.generated_sysfs = g_launch.generated_state_dir = false;
}

} // namespace

bool take_sysfs(std::string_view dir, std::string &error) {
    if (dir.empty()) {
        error = "empty directory name";
        return false;
    }
    std::error_code failed;
    g_launch.sysfs = fs::absolute(fs::path(dir), failed).string();
    return true;
}

void set_strict_ports() {
    g_strict_ports = true;
}

void set_state_dir(const std::string &dir) {
    std::error_code failed;
    g_launch.state_dir = fs::absolute(fs::path(dir), failed).string();
}

std::string operands_error(char **argv) {
    if (argv[0] == nullptr) return "no PROGRAM given";
    if (argv[0][0] == '-') return std::string(argv[0]) + ": unknown option";
    return "";
}

// A fresh directory kovarun-STEM-XXXXXX under $TMPDIR (else /tmp), removed
// after the run; false, with the reason said, when it cannot be made.
bool make_temp_dir(const char *stem, const char *what, std::string &dir) {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kovarun-" + stem + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "kovarun: cannot make %s: %s\n", what, std::strerror(errno));
        return false;
    }
    dir = pattern;
    return true;
}

void wait_for_children() {
    g_launch.wait_children = true;
}

namespace {

// A refusal after prepare() began: what it made is removed, and a stopping
// signal held meanwhile takes its effect.
int refused() {
    remove_temp_dirs();
    sigprocmask(SIG_SETMASK, &g_launch.signal_mask, nullptr);
    return kRefused;
}

// The directories the program is given, made when not named.
bool make_program_dirs() {
    if (g_launch.sysfs.empty()) {
        if (!make_temp_dir("sysfs", "the device-check tree", g_launch.sysfs)) return false;
        g_launch.generated_sysfs = true;
    }
    // Without --state-dir or KOVA_STATE_DIR the program would use the
    // hardware's default directory: a rehearsal gets a private one instead,
    // so that no simulated lock record or register lock lands where a later
    // run on the card would load it.
    const char *given_state_dir = std::getenv("KOVA_STATE_DIR");
    if (g_launch.state_dir.empty() && (given_state_dir == nullptr || *given_state_dir == '\0')) {
        if (!make_temp_dir("state", "a state directory", g_launch.state_dir)) return false;
        g_launch.generated_state_dir = true;
    }
    return true;
}

// Waits for the child's stop before the program and takes it under the
// tracer's options; 0, or the status of a refusal after its message.
int take_child(pid_t child) {
    int st = 0;
    StartReport r{};
    if (waitpid(child, &st, 0) != child || !WIFSTOPPED(st)) {
        if (read_start_failure(r)) say_start_failure(r);
        return kRefused;
    }
    constexpr long kOptions = PTRACE_O_TRACESECCOMP | PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK |
                              PTRACE_O_TRACECLONE | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL |
                              PTRACE_O_TRACESYSGOOD;
    // NOLINTNEXTLINE(performance-no-int-to-ptr): ptrace takes the options as its data pointer
    if (ptrace(PTRACE_SETOPTIONS, child, nullptr, reinterpret_cast<void *>(kOptions)) != 0) {
        std::fprintf(stderr, "kovarun: ptrace is not permitted: %s%s\n", std::strerror(errno),
                     ptrace_hint().c_str());
        kill(child, SIGKILL);
        waitpid(child, &st, 0);
        return kRefused;
    }
    return 0;
}

} // namespace

int prepare(char **argv) {
    g_launch.name = fs::path(argv[0]).filename().string();
    std::string why;
    const std::string path = find_program(argv[0], why);
    if (path.empty()) {
        std::fprintf(stderr, "kovarun: %s: %s\n", argv[0], why.c_str());
        return kRefused;
    }
    // A stopping signal waits until run() takes it, or until a refusal has
    // removed what was made.
    sigset_t held;
    sigemptyset(&held);
    for (const int sig : kStopSignals)
        sigaddset(&held, sig);
    sigprocmask(SIG_BLOCK, &held, &g_launch.signal_mask);
    if (!share_video_memory(sim::controller())) return refused();
    if (!make_program_dirs()) return refused();
    std::vector<std::string> env = program_environment();
    std::vector<char *> envp;
    envp.reserve(env.size() + 1);
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return refused();
    // Descendants whose parents end come to kovarun, which ends them too.
    prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        std::fprintf(stderr, "kovarun: cannot start %s: %s\n", g_launch.name.c_str(), std::strerror(errno));
        return refused();
    }
    if (child == 0) {
        sigprocmask(SIG_SETMASK, &g_launch.signal_mask, nullptr);
        close(report[0]);
        start_child(report[1], path, argv, envp.data());
    }
    close(report[1]);
    g_launch.child = child;
    g_launch.report_fd = report[0];
    return take_child(child) == 0 ? 0 : refused();
}

int run(sim::Controller &sim) {
    if (g_launch.generated_sysfs) write_sysfs(sim);
    SavedSignals saved{};
    take_run_signals(saved);
    g_child = g_launch.child;
    sigprocmask(SIG_SETMASK, &g_launch.signal_mask, nullptr);

    Tracer tracer(sim);
    int status = tracer.run(g_launch.child);
    end_untraced_children();
    StartReport r{};
    if (read_start_failure(r)) {
        say_start_failure(r);
        status = kRefused;
    }
    remove_temp_dirs();
    give_back_signals(saved);
    // A run stopped by a signal ends as kovarun ends by it otherwise.
    if (const int sig = g_stop_signal; sig != 0) {
        raise(sig);
        return 128 + sig;
    }
    return status;
}

} // namespace kova::run
