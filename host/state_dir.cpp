#include "state_dir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kova::tool {

std::string state_dir(const char *option_value) {
    if (option_value != nullptr && *option_value != '\0') return option_value;
    if (const char *env = std::getenv("KOVA_STATE_DIR"); env != nullptr && *env != '\0') return env;
    return kDefaultStateDir;
}

const char *empty_state_dir_name(const char *option_value) {
    if (option_value != nullptr) return *option_value == '\0' ? "--state-dir" : nullptr;
    const char *env = std::getenv("KOVA_STATE_DIR");
    return env != nullptr && *env == '\0' ? "KOVA_STATE_DIR" : nullptr;
}

bool is_default_state_dir(const std::string &dir) {
    struct stat named {
    }, hardware{};
    if (dir == kDefaultStateDir) return true;
    return stat(dir.c_str(), &named) == 0 && stat(kDefaultStateDir, &hardware) == 0 &&
           named.st_dev == hardware.st_dev && named.st_ino == hardware.st_ino;
}

bool ensure_state_dir(const std::string &dir) {
    if (dir.empty()) {
        errno = ENOENT;
        return false;
    }
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
        return false;
    }
    if (errno != ENOENT) return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writable_state_dir(const std::string &dir, std::string &error) {
    std::string probe = dir + "/.kova-probe.XXXXXX";
    const int fd = ensure_state_dir(dir) ? mkostemp(probe.data(), O_CLOEXEC) : -1;
    if (fd < 0) {
        error = dir + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    unlink(probe.c_str());
    return true;
}

std::string untrusted(const struct stat &st) {
    if (st.st_uid != geteuid() && st.st_uid != 0)
        return "is owned by another user (uid " + std::to_string(st.st_uid) + "), not by uid " +
               std::to_string(geteuid());
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "is writable by group or others";
    return "";
}

std::string untrusted_state_dir(const std::string &dir) {
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0) return "";
    const std::string why = untrusted(st);
    return why.empty() ? "" : "the state directory " + dir + " " + why;
}

} // namespace kova::tool
