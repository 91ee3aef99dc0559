#include "output_file.h"

#include "descriptor.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kova::picture {

namespace {

// The temporaries being written, for a signal handler to remove.
std::atomic<const char *> g_unfinished[8];

void track(const char *temp) {
    for (auto &slot : g_unfinished) {
        const char *empty = nullptr;
        if (slot.compare_exchange_strong(empty, temp)) return;
    }
}

void untrack(const char *temp) {
    for (auto &slot : g_unfinished) {
        const char *mine = temp;
        if (slot.compare_exchange_strong(mine, nullptr)) return;
    }
}

std::string system_error(const std::string &path) {
    return "cannot write " + path + ": " + std::strerror(errno);
}

// Why an existing file cannot be written: its replacement cannot be made in
// `dir` (the directory with its slash, or empty for the working directory).
std::string replacement_error(const std::string &path, const std::string &dir) {
    const std::string name = dir.empty() ? "." : dir.size() == 1 ? dir : dir.substr(0, dir.size() - 1);
    return "cannot write " + path + ": cannot create its replacement in " + name + ": " +
           std::strerror(errno);
}

// The mode a new file gets from fopen: 0666 less the umask.
mode_t new_file_mode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

void on_signal(int number) {
    remove_unfinished_outputs();
    std::signal(number, SIG_DFL);
    std::raise(number);
}

} // namespace

bool OutputFile::open(const std::string &path, std::string &error) {
    discard();
    path_ = path;
    std::string target = path;
    struct stat st {};
    bool exists = lstat(path.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        // A link is kept: the file it names is the one replaced.
        char resolved[PATH_MAX];
        exists = realpath(path.c_str(), resolved) != nullptr && stat(resolved, &st) == 0;
        if (exists) target = resolved;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        file_ = tool::fopen_above_standard(path.c_str(), "wb");
        if (file_ == nullptr) error = system_error(path);
        return file_ != nullptr;
    }
    const auto slash = target.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string temp =
        dir + "." + target.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
    if (temp.size() >= sizeof temp_) {
        errno = ENAMETOOLONG;
        error = system_error(path);
        return false;
    }
    temp.copy(temp_, temp.size());
    temp_[temp.size()] = '\0';
    const int fd = tool::above_standard_descriptors(mkostemp(temp_, O_CLOEXEC));
    if (fd < 0) {
        // An existing file is replaced whole: its replacement is made beside it.
        error = exists ? replacement_error(path, dir) : system_error(path);
        temp_[0] = '\0';
        return false;
    }
    track(temp_);
    if (fchmod(fd, exists ? st.st_mode & 07777 : new_file_mode()) != 0 ||
        (file_ = fdopen(fd, "wb")) == nullptr) {
        error = system_error(path);
        close(fd);
        discard();
        return false;
    }
    target_ = target;
    return true;
}

bool OutputFile::commit(std::string &error) {
    if (file_ == nullptr) return true;
    errno = 0;
    bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    const int write_error = errno;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok && replaces()) ok = std::rename(temp_, target_.c_str()) == 0;
    if (!ok) {
        if (write_error != 0) errno = write_error;
        if (errno == 0) errno = EIO; // an earlier write failed; its reason is gone
        error = system_error(path_);
        discard();
        return false;
    }
    if (replaces()) untrack(temp_);
    temp_[0] = '\0';
    return true;
}

void OutputFile::discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (replaces()) {
        unlink(temp_);
        untrack(temp_);
    }
    temp_[0] = '\0';
}

void remove_unfinished_outputs() {
    for (auto &slot : g_unfinished)
        if (const char *temp = slot.load(); temp != nullptr) unlink(temp);
}

void remove_unfinished_outputs_on_signal() {
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(number, on_signal);
}

} // namespace kova::picture
