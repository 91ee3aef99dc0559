// What to do when the kernel refuses the I/O privilege (iopl 3).
#pragma once

#include <unistd.h>

namespace kova::tool {

// Not root: become root.  Root on x86 and still refused: the kernel does not
// allow port I/O at all (a virtual machine without it, kernel lockdown), and
// only the simulated controller is left.
inline const char *privilege_hint() {
#if defined(__i386__) || defined(__x86_64__)
    if (geteuid() == 0)
        return "the kernel does not allow port I/O here (a virtual machine, or kernel lockdown); "
               "kovasim and kovactl --sim run on the simulated controller";
    return "run as root";
#else
    return "run as root on an x86 machine";
#endif
}

} // namespace kova::tool
