// What to do when the kernel refuses the I/O privilege (iopl 3).
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kova::tool {

// Whether this process may do port I/O as far as capabilities go: the
// effective CAP_SYS_RAWIO (root's, unless dropped).
inline bool has_raw_io_capability() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0) return geteuid() == 0;
    return (data[CAP_TO_INDEX(CAP_SYS_RAWIO)].effective & CAP_TO_MASK(CAP_SYS_RAWIO)) != 0;
}

// Not root: become root.  Root without CAP_SYS_RAWIO (dropped, as in a
// container or under capsh): the capability is what is missing.  With it and
// still refused on x86: the kernel does not allow port I/O at all (a virtual
// machine without it, kernel lockdown), and only the simulated controller is
// left.
inline const char *privilege_hint() {
#if defined(__i386__) || defined(__x86_64__)
    if (has_raw_io_capability())
        return "the kernel does not allow port I/O here (a virtual machine, or kernel lockdown); "
               "kovasim and kovactl --sim run on the simulated controller";
    if (geteuid() == 0)
        return "this process lacks the CAP_SYS_RAWIO capability that port I/O needs; "
               "run it with that capability";
    return "run as root (port I/O needs the CAP_SYS_RAWIO capability)";
#else
    return "run as root on an x86 machine";
#endif
}

} // namespace kova::tool
