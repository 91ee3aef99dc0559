#include "lock_state.h"

#include "descriptor.h"
#include "save_areas.h"
#include "state_dir.h"
#include "synclock.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kova::tool {

namespace {

constexpr char kMagic[8] = {'K', 'O', 'V', 'A', 'L', 'O', 'C', 'K'};
constexpr std::uint16_t kVersion = 1;
constexpr std::size_t kHeaderSize = sizeof kMagic + 2 + 4; // magic, version, payload length
constexpr std::size_t kChecksumSize = 4;
constexpr std::size_t kLargestFile = 64 * 1024; // anything bigger is not a record

// The record's parts are the library's, in the order and widths of
// save_areas.h: the sync-lock part, then the video-clock part.
using save::Area;
constexpr const auto &kSyncLockPart = save::kSyncLock;
constexpr const auto &kVideoClockPart = save::kVideoClock;
constexpr std::size_t kSyncLockSize = save::size_of(kSyncLockPart);
constexpr std::size_t kPayloadSize = kSyncLockSize + save::size_of(kVideoClockPart);

// The flags and the standard, where they lie in the payload.
struct Flag {
    std::size_t offset;
    std::size_t width;
};
constexpr Flag kSyncLockFlag{save::offset_of(kSyncLockPart, save::kSyncLockFlagAt), sizeof wSyncLock};
constexpr Flag kGenlockFlag{save::offset_of(kSyncLockPart, save::kGenlockFlagAt), sizeof wSyncLockGM};
constexpr Flag kStandard{save::offset_of(kSyncLockPart, save::kStandardAt), sizeof wVStandard};
constexpr Flag kVideoClockFlag{kSyncLockSize + save::offset_of(kVideoClockPart, save::kVideoClockFlagAt),
                               sizeof wExtClock};

// Format version 1 as written on disk: each area's element width and count in
// file order, and the flags where readers of the version expect them.
template <std::size_t N>
constexpr bool areas_are(const Area (&part)[N], std::initializer_list<std::array<std::size_t, 2>> want) {
    if (N != want.size()) return false;
    std::size_t i = 0;
    for (const auto &[width, count] : want) {
        if (part[i].width != width || part[i].count != count) return false;
        ++i;
    }
    return true;
}
// clang-format off
static_assert(areas_are(kSyncLockPart,
                        {{2, 1}, {2, 1}, {2, 1}, {2, 1}, {2, 66}, {4, 59}, {1, 14}, {1, 1}, {1, 1}, {1, 1}}));
static_assert(areas_are(kVideoClockPart,
                        {{2, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1},
                         {2, 1}, {2, 1}, {2, 1}, {2, 1}, {2, 1}}));
// clang-format on
static_assert(kSyncLockSize == 393 && kPayloadSize == 412);
static_assert(kSyncLockFlag.offset == 0 && kGenlockFlag.offset == 2 && kStandard.offset == 4 &&
              kVideoClockFlag.offset == kSyncLockSize);

// The record's payload: both parts, each element little-endian.
using Payload = std::array<unsigned char, kPayloadSize>;

std::uint32_t get_le(const unsigned char *in, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    return value;
}

void put_le(unsigned char *out, std::size_t width, std::uint32_t value) {
    for (std::size_t i = 0; i < width; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

template <std::size_t N>
void save_part(const Area (&part)[N], unsigned char *out) {
    for (const Area &area : part)
        for (std::size_t i = 0; i < area.count; ++i, out += area.width) {
            const auto *element = static_cast<const unsigned char *>(area.data) + i * area.width;
            std::uint32_t value = 0;
            if (area.width == 1) value = *element;
            if (area.width == 2) value = *reinterpret_cast<const std::uint16_t *>(element);
            if (area.width == 4) value = *reinterpret_cast<const std::uint32_t *>(element);
            put_le(out, area.width, value);
        }
}

template <std::size_t N>
void load_part(const Area (&part)[N], const unsigned char *in) {
    for (const Area &area : part)
        for (std::size_t i = 0; i < area.count; ++i, in += area.width) {
            auto *element = static_cast<unsigned char *>(area.data) + i * area.width;
            const std::uint32_t value = get_le(in, area.width);
            if (area.width == 1) *element = static_cast<std::uint8_t>(value);
            if (area.width == 2)
                *reinterpret_cast<std::uint16_t *>(element) = static_cast<std::uint16_t>(value);
            if (area.width == 4) *reinterpret_cast<std::uint32_t *>(element) = value;
        }
}

std::uint32_t get(const Payload &p, Flag flag) {
    return get_le(p.data() + flag.offset, flag.width);
}

// The flags, read from a payload.
bool has_sync_lock(const Payload &p) {
    return get(p, kSyncLockFlag) != 0 || get(p, kGenlockFlag) != 0;
}
bool has_video_clock(const Payload &p) {
    return get(p, kVideoClockFlag) != 0;
}

Payload from_library() {
    Payload p{};
    save_part(kSyncLockPart, p.data());
    save_part(kVideoClockPart, p.data() + kSyncLockSize);
    return p;
}

// Loads the parts that the payload holds; a part it lacks is left alone.
void to_library(const Payload &p) {
    if (has_sync_lock(p)) load_part(kSyncLockPart, p.data());
    if (has_video_clock(p)) load_part(kVideoClockPart, p.data() + kSyncLockSize);
}

std::vector<unsigned char> encode(const Payload &p) {
    std::vector<unsigned char> bytes(kMagic, kMagic + sizeof kMagic);
    bytes.resize(kHeaderSize);
    put_le(bytes.data() + sizeof kMagic, 2, kVersion);
    put_le(bytes.data() + sizeof kMagic + 2, 4, kPayloadSize);
    bytes.insert(bytes.end(), p.begin(), p.end());
    bytes.resize(bytes.size() + kChecksumSize);
    put_le(bytes.data() + kHeaderSize + kPayloadSize, 4,
           lock_state_checksum(bytes.data(), kHeaderSize + kPayloadSize));
    return bytes;
}

// Checks a whole file's bytes and decodes them.  On failure `why` says what is
// wrong (to follow the file's name in a message).
LockStateLoad decode(const std::vector<unsigned char> &bytes, Payload &p, std::string &why) {
    const std::size_t size = bytes.size();
    if (size > 0 && std::memcmp(bytes.data(), kMagic, std::min(size, sizeof kMagic)) != 0) {
        why = "is not a lock-state record (bad magic)";
        return LockStateLoad::Corrupt;
    }
    if (size < kHeaderSize + kChecksumSize) {
        why = "is truncated (" + std::to_string(size) + " bytes)";
        return LockStateLoad::Truncated;
    }
    const std::uint32_t version = get_le(bytes.data() + sizeof kMagic, 2);
    const std::size_t length = get_le(bytes.data() + sizeof kMagic + 2, 4);
    const bool whole = length <= kLargestFile && size == kHeaderSize + length + kChecksumSize &&
                       get_le(bytes.data() + kHeaderSize + length, 4) ==
                           lock_state_checksum(bytes.data(), kHeaderSize + length);
    if (version != kVersion) {
        if (!whole) {
            why = "is corrupt (checksum mismatch)";
            return LockStateLoad::Corrupt;
        }
        why = "has format version " + std::to_string(version) + "; this program reads version " +
              std::to_string(kVersion);
        return LockStateLoad::WrongVersion;
    }
    const std::size_t expected = kPayloadSize;
    if (length != expected) {
        why = "is corrupt (payload length " + std::to_string(length) + ", expected " +
              std::to_string(expected) + ")";
        return LockStateLoad::Corrupt;
    }
    const std::size_t file_size = kHeaderSize + expected + kChecksumSize;
    if (size < file_size) {
        why = "is truncated (" + std::to_string(size) + " of " + std::to_string(file_size) + " bytes)";
        return LockStateLoad::Truncated;
    }
    if (!whole) {
        why = size > file_size ? "is corrupt (trailing bytes)" : "is corrupt (checksum mismatch)";
        return LockStateLoad::Corrupt;
    }
    std::copy_n(bytes.data() + kHeaderSize, kPayloadSize, p.begin());
    const auto flag = [&p](Flag f) { return get(p, f) <= 1; };
    const std::uint32_t standard = get(p, kStandard);
    const bool valid = flag(kSyncLockFlag) && flag(kGenlockFlag) && flag(kVideoClockFlag) &&
                       (standard <= 1 || standard == 0xFFFF) && (has_sync_lock(p) || has_video_clock(p));
    if (!valid) {
        why = "is corrupt (impossible lock flags)";
        return LockStateLoad::Corrupt;
    }
    return LockStateLoad::Ok;
}

std::string system_error(const std::string &what) {
    return what + ": " + std::strerror(errno);
}

// Why a directory or record that another user could have written is not to
// be trusted (the state directory's rule), and what follows; or empty.
std::string why_untrusted(const struct stat &st, const char *what) {
    const std::string why = tool::untrusted(st);
    return why.empty() ? why : why + "; " + what;
}

// Opens DIR/lock.state for reading, only when it is a regular file that
// nobody but this user (or root) owns or can write, in such a directory;
// never waits (a FIFO at its name).  -1 with `error` set otherwise.
int open_record(const std::string &dir, LockStateLoad &result, std::string &error) {
    const std::string path = lock_state_path(dir);
    result = LockStateLoad::Untrusted;
    if (const std::string why = untrusted_state_dir(dir); !why.empty()) {
        error = why + "; a lock-state record there is not used";
        return -1;
    }
    struct stat st {};
    const int fd = open_above_standard(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        result = errno == ENOENT ? LockStateLoad::Missing : LockStateLoad::Unreadable;
        if (errno == ENOENT)
            error = "no lock recorded: " + path + " does not exist";
        else if (errno == ELOOP)
            error = path +
                    " is a symbolic link; the record must be a regular file: move the file it names to " +
                    path + " or remove the link";
        else
            error = system_error("cannot read " + path);
        return -1;
    }
    std::string why;
    if (fstat(fd, &st) != 0)
        why = system_error("cannot read " + path);
    else if (!S_ISREG(st.st_mode))
        why = path + " is not a regular file; remove it";
    else if (const std::string reason = why_untrusted(st, "it is not loaded: remove it"); !reason.empty())
        why = path + " " + reason;
    if (!why.empty()) {
        result = S_ISREG(st.st_mode) ? LockStateLoad::Untrusted : LockStateLoad::Unreadable;
        error = why;
        close(fd);
        return -1;
    }
    return fd;
}

// Reads and checks DIR/lock.state into r.  On failure `error` is set.
LockStateLoad read_record(const std::string &dir, Payload &p, std::string &error) {
    const std::string path = lock_state_path(dir);
    LockStateLoad opened = LockStateLoad::Ok;
    const int fd = open_record(dir, opened, error);
    if (fd < 0) return opened;
    std::vector<unsigned char> bytes;
    std::array<unsigned char, 4096> chunk;
    for (;;) {
        const ssize_t n = read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = system_error("cannot read " + path);
            close(fd);
            return LockStateLoad::Unreadable;
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
        if (bytes.size() > kLargestFile) break;
    }
    close(fd);
    std::string why;
    const LockStateLoad result = decode(bytes, p, why);
    if (result != LockStateLoad::Ok) error = path + " " + why;
    return result;
}

bool write_all(int fd, const std::vector<unsigned char> &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes the record to a temporary file beside DIR/lock.state and renames it
// over that name.
bool write_record(const std::string &dir, const Payload &p, std::string &error) {
    if (!ensure_state_dir(dir)) {
        error = system_error("cannot create state directory " + dir);
        return false;
    }
    const std::string path = lock_state_path(dir);
    std::string temp = path + ".XXXXXX";
    const int fd = above_standard_descriptors(mkostemp(temp.data(), O_CLOEXEC));
    if (fd < 0) {
        error = system_error("cannot create a file in " + dir);
        return false;
    }
    const bool written = fchmod(fd, 0600) == 0 && write_all(fd, encode(p)) && fsync(fd) == 0;
    const int saved_errno = errno;
    if (close(fd) != 0 || !written || rename(temp.c_str(), path.c_str()) != 0) {
        if (!written) errno = saved_errno;
        error = system_error("cannot write " + path);
        unlink(temp.c_str());
        return false;
    }
    if (const int dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir_fd >= 0) {
        fsync(dir_fd); // the rename itself reaches the disk
        close(dir_fd);
    }
    return true;
}

} // namespace

std::string lock_state_path(const std::string &dir) {
    return dir + "/lock.state";
}

bool record_lock_state(const std::string &dir, std::string &error) {
    const Payload now = from_library();
    if (!has_sync_lock(now) && !has_video_clock(now)) return true;

    Payload record{};
    std::string read_error;
    switch (read_record(dir, record, read_error)) {
    case LockStateLoad::Missing:
        return write_record(dir, now, error);
    case LockStateLoad::Ok:
        break;
    default:
        error = read_error + "; it is kept and this lock is not recorded";
        return false;
    }
    // The record holds the values from before its locks: keep them, and add
    // only a part that it does not have yet.
    bool added = false;
    if (!has_sync_lock(record) && has_sync_lock(now)) {
        std::copy_n(now.begin(), kSyncLockSize, record.begin());
        added = true;
    }
    if (!has_video_clock(record) && has_video_clock(now)) {
        std::copy(now.begin() + kSyncLockSize, now.end(), record.begin() + kSyncLockSize);
        added = true;
    }
    return !added || write_record(dir, record, error);
}

LockStateLoad load_lock_state(const std::string &dir, std::string &error) {
    Payload record{};
    const LockStateLoad result = read_record(dir, record, error);
    if (result == LockStateLoad::Ok) to_library(record);
    return result;
}

bool remove_lock_state(const std::string &dir, std::string &error) {
    const std::string path = lock_state_path(dir);
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    error = system_error("cannot remove " + path);
    return false;
}

bool settle_lock_state(const std::string &dir, std::string &error) {
    const Payload now = from_library();
    if (!has_sync_lock(now) && !has_video_clock(now)) return remove_lock_state(dir, error);
    return write_record(dir, now, error);
}

std::uint32_t lock_state_checksum(const unsigned char *data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

} // namespace kova::tool
