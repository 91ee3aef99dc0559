// kovactl's entry point (the benchmarks call kova::ctl::run in process).
#include "kovactl.h"
#include "standard_output.h"

int main(int argc, char **argv) {
    const int status = kova::ctl::run(argc, argv);
    // Output that never arrived is a failure, as any other.
    if (!kova::tool::close_standard_output("kovactl") && status == kova::ctl::kExitOk)
        return kova::ctl::kExitFailure;
    return status;
}
