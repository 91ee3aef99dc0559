// kovarun's speed: register-window accesses trapped and performed per second,
// and the default capview run on the hardware program under kovarun beside
// the same run in kovasim (each a whole program run, start-up included).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr long kLoopAccesses = 100000;

// Runs the program to its end with its output discarded; false when it fails.
bool run(std::vector<const char *> argv) {
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char *const *>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The processor time of the finished children so far, in seconds.
double children_cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// items_per_second counts by the clock; accesses_per_cpu_second by the
// processor time of kovarun and the program, which a loaded machine does
// not stretch.
void BM_KovarunTrappedAccesses(benchmark::State &state) {
    const std::string count = std::to_string(kLoopAccesses);
    const double cpu_before = children_cpu_seconds();
    for (auto _ : state)
        if (!run({KOVARUN_PATH, "--", WINDOW_LOOP_PATH, count.c_str()}))
            state.SkipWithError("the loop failed");
    const double accesses = static_cast<double>(state.iterations()) * kLoopAccesses;
    state.SetItemsProcessed(static_cast<std::int64_t>(accesses));
    state.counters["accesses_per_cpu_second"] = accesses / (children_cpu_seconds() - cpu_before);
}

void BM_CapviewDefaultUnderKovarun(benchmark::State &state) {
    for (auto _ : state)
        if (!run({KOVARUN_PATH, "--", CAPVIEW_PATH})) state.SkipWithError("capview failed");
}

void BM_CapviewDefaultInKovasim(benchmark::State &state) {
    for (auto _ : state)
        if (!run({KOVASIM_PATH})) state.SkipWithError("kovasim failed");
}

BENCHMARK(BM_KovarunTrappedAccesses)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CapviewDefaultUnderKovarun)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CapviewDefaultInKovasim)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
