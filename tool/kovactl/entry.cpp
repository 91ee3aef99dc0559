// kovactl's entry point (the benchmarks call kova::ctl::run in process).
#include "kovactl.h"

#include <cstdio>

int main(int argc, char **argv) {
    const int status = kova::ctl::run(argc, argv);
    std::fflush(stdout);
    return status;
}
