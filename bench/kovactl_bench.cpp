// kovactl on the simulated controller, in process: a whole status (every
// register the decoder reads, through the library's primitives) and a whole
// register dump, each from a fresh controller as a run of the program starts.
#include "kovactl.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Runs kovactl with its standard output sent to /dev/null.
int run_quiet(std::vector<std::string> args) {
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    const int status = kova::ctl::run(static_cast<int>(args.size()), argv.data());
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(null);
    close(saved);
    return status;
}

void BM_KovactlSimStatus(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(run_quiet({"kovactl", "--sim", "status"}));
}
BENCHMARK(BM_KovactlSimStatus);

void BM_KovactlSimStatusJson(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(run_quiet({"kovactl", "--sim", "--json", "status"}));
}
BENCHMARK(BM_KovactlSimStatusJson);

void BM_KovactlSimRegDump(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(run_quiet({"kovactl", "--sim", "reg", "dump", "GR", "--page", "0x80"}));
}
BENCHMARK(BM_KovactlSimRegDump);

} // namespace
