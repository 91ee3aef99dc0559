// The launch of a traced program: finding it, its environment, the
// temporary directories and device-check tree it is given, the start under
// ptrace with the seccomp filter, the signals of the run and its end.  The
// tracer (tracer.cpp) runs it meanwhile.
#include "runner.h"

#include "launch.h"
#include "register_map.h"
#include "sim_backend.h"
#include "syscalls.h"
#include "sysfs_tree.h"
#include "tracer.h"

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
#include <functional>
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

Launch g_launch;
volatile sig_atomic_t g_child = 0;
volatile sig_atomic_t g_wake = 0;
volatile sig_atomic_t g_stop_signal = 0;

namespace {

namespace fs = std::filesystem;

// The signals that stop a run, and how many came.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t g_signals = 0;

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
    if (g_launch.rehearsal) env.emplace_back("KOVARUN=1");
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
    // On a card, the program starts on the card's video memory (see run()).
    if (sim.on_card()) std::memcpy(memory, sim.video_memory(), sim::Controller::kVideoMemorySize);
    sim.use_video_backing(static_cast<std::uint8_t *>(memory));
    return true;
}

// On a card, the video memory the program leaves goes back to the card, and
// the controller uses the card's own from then on.  The program held the
// card for its whole run (kovarun took the card's register-owner lock when
// it attached to it), so nobody else saw the card's video memory meanwhile.
void give_back_video_memory(sim::Controller &sim) {
    if (!sim.on_card()) return;
    const std::uint8_t *shared = sim.video_memory();
    sim.use_video_backing(nullptr);
    std::memcpy(sim.video_memory(), shared, sim::Controller::kVideoMemorySize);
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
            hint += std::string("; ") + g_launch.runner + " is itself traced";
        if (line.starts_with("Seccomp:") && std::strtol(line.c_str() + 8, nullptr, 10) != 0)
            hint += std::string("; ") + g_launch.runner + " runs under a seccomp filter (a container's?)";
    }
    return hint;
}

void say_start_failure(const StartReport &r) {
    const char *error = std::strerror(r.error);
    switch (r.stage) {
    case StartReport::Stage::Ptrace:
        std::fprintf(stderr, "%s: ptrace is not permitted: %s%s\n", g_launch.runner, error,
                     ptrace_hint().c_str());
        break;
    case StartReport::Stage::NoNewPrivs:
    case StartReport::Stage::Filter:
        std::fprintf(stderr, "%s: cannot install the seccomp filter: %s\n", g_launch.runner, error);
        break;
    case StartReport::Stage::Exec:
        std::fprintf(stderr, "%s: cannot run %s: %s\n", g_launch.runner, g_launch.name.c_str(), error);
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
    const std::uint64_t base = std::uint64_t{sim.get(registers::Reg::gr(reg::kApertureBase.at()))} << 24;
    tool::write_sysfs_tree(g_launch.sysfs, {tool::display_controller(base)});
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
        std::fprintf(stderr, "%s: ptrace is not permitted: %s%s\n", g_launch.runner, std::strerror(errno),
                     ptrace_hint().c_str());
        kill(child, SIGKILL);
        waitpid(child, &st, 0);
        return kRefused;
    }
    return 0;
}

} // namespace

namespace {

// Finds the program and starts it stopped under ptrace, after `set_up` has
// made what the runner gives it; 0, or the status of a refusal after its message.
int launch(char **argv, const std::function<bool()> &set_up) {
    g_launch.name = fs::path(argv[0]).filename().string();
    std::string why;
    const std::string path = find_program(argv[0], why);
    if (path.empty()) {
        std::fprintf(stderr, "%s: %s: %s\n", g_launch.runner, argv[0], why.c_str());
        return kRefused;
    }
    // A stopping signal waits until run() takes it, or until a refusal has
    // removed what was made.
    sigset_t held;
    sigemptyset(&held);
    for (const int sig : kStopSignals)
        sigaddset(&held, sig);
    sigprocmask(SIG_BLOCK, &held, &g_launch.signal_mask);
    if (!set_up()) return refused();
    std::vector<std::string> env = program_environment();
    std::vector<char *> envp;
    envp.reserve(env.size() + 1);
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return refused();
    // Descendants whose parents end come to the runner, which ends them too.
    prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        std::fprintf(stderr, "%s: cannot start %s: %s\n", g_launch.runner, g_launch.name.c_str(),
                     std::strerror(errno));
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

// Runs the started program on `controller` to its end; `after` runs once the
// program and its descendants have ended.
int run_on(Backend &controller, const std::function<void()> &after) {
    SavedSignals saved{};
    take_run_signals(saved);
    g_child = g_launch.child;
    sigprocmask(SIG_SETMASK, &g_launch.signal_mask, nullptr);

    int status = trace_program(controller, g_launch.child);
    end_untraced_children();
    after();
    StartReport r{};
    if (read_start_failure(r)) {
        say_start_failure(r);
        status = kRefused;
    }
    remove_temp_dirs();
    give_back_signals(saved);
    // A run stopped by a signal ends as the runner ends by it otherwise.
    if (const int sig = g_stop_signal; sig != 0) {
        raise(sig);
        return 128 + sig;
    }
    return status;
}

} // namespace

int prepare(char **argv) {
    return launch(argv, [] { return share_video_memory(sim::controller()) && make_program_dirs(); });
}

int prepare_on_card(char **argv, int memory_fd) {
    return launch(argv, [memory_fd] {
        g_launch.video_fd = memory_fd;
        return true;
    });
}

int run_on_card(Backend &card) {
    return run_on(card, [] {});
}

int run(sim::Controller &sim) {
    if (g_launch.generated_sysfs) write_sysfs(sim);
    SimBackend controller(sim, g_launch.video_fd);
    return run_on(controller, [&sim] { give_back_video_memory(sim); });
}

} // namespace kova::run