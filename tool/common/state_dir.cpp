#include "state_dir.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

namespace kova::tool {

std::string state_dir(const char *option_value) {
    if (option_value != nullptr && *option_value != '\0') return option_value;
    if (const char *env = std::getenv("KOVA_STATE_DIR"); env != nullptr && *env != '\0') return env;
    return kDefaultStateDir;
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
    const auto slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !ensure_state_dir(dir.substr(0, slash))) return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace kova::tool
