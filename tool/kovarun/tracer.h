// The tracer: runs the program prepared by the launch (launch.h) to its end
// with every register-window access and port I/O performed on `controller`.
#pragma once

#include "backend.h"

#include <sys/types.h>

namespace kova::run {

// The program's exit status (128 + signal when killed by one), kUnservedFault
// when it was stopped, or kRefused when tracing could not begin.
int trace_program(Backend &controller, pid_t child);

} // namespace kova::run
