#include "lock_state.h"

#include "state_dir.h"
#include "synclock.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace kova::tool {

namespace {

constexpr char kMagic[8] = {'K', 'O', 'V', 'A', 'L', 'O', 'C', 'K'};
constexpr std::uint16_t kVersion = 1;
constexpr std::size_t kHeaderSize = sizeof kMagic + 2 + 4; // magic, version, payload length
constexpr std::size_t kChecksumSize = 4;
constexpr std::size_t kLargestFile = 64 * 1024; // anything bigger is not a record

// The record in memory: the library globals that the clean-ups read.
struct Record {
    // Sync-lock part (plain and genlock-mode locks share the save areas).
    std::uint16_t sync_lock, sync_lock_gm, v_standard, vcr_mode;
    std::uint16_t tv16[66];
    std::uint32_t tv32[59];
    std::uint8_t old_crt[14];
    std::uint8_t gr_b0, gr_b1, gr_ba;
    // Video-clock part.
    std::uint16_t ext_clock;
    std::uint8_t sr_ea, sr_eb, sr_ec, sr_ed, sr_ee, sr_ef, sr_a6;
    std::uint16_t tv_e5f0, tv_e5f2, tv_e5f4, tv_e5f6, tv_e4ec;

    bool has_sync_lock() const { return sync_lock != 0 || sync_lock_gm != 0; }
    bool has_video_clock() const { return ext_clock != 0; }
};

// ---- The library's globals <-> the record ----

void take_sync_part(Record &r) {
    r.sync_lock = wSyncLock;
    r.sync_lock_gm = wSyncLockGM;
    r.v_standard = wVStandard;
    r.vcr_mode = wVCRMode;
    std::memcpy(r.tv16, wTVReg16, sizeof r.tv16);
    std::memcpy(r.tv32, dwTVReg32, sizeof r.tv32);
    std::memcpy(r.old_crt, bOldRegCrt, sizeof r.old_crt);
    r.gr_b0 = b3CE_B0;
    r.gr_b1 = b3CE_B1;
    r.gr_ba = b3CE_BA;
}

void take_video_clock_part(Record &r) {
    r.ext_clock = wExtClock;
    r.sr_ea = bEA;
    r.sr_eb = bEB;
    r.sr_ec = bEC;
    r.sr_ed = bED;
    r.sr_ee = bEE;
    r.sr_ef = bEF;
    r.sr_a6 = bA6;
    r.tv_e5f0 = wE5F0;
    r.tv_e5f2 = wE5F2;
    r.tv_e5f4 = wE5F4;
    r.tv_e5f6 = wE5F6;
    r.tv_e4ec = wE4EC;
}

Record from_library() {
    Record r{};
    take_sync_part(r);
    take_video_clock_part(r);
    return r;
}

void to_library(const Record &r) {
    if (r.has_sync_lock()) {
        wSyncLock = r.sync_lock;
        wSyncLockGM = r.sync_lock_gm;
        wVStandard = r.v_standard;
        wVCRMode = r.vcr_mode;
        std::memcpy(wTVReg16, r.tv16, sizeof r.tv16);
        std::memcpy(dwTVReg32, r.tv32, sizeof r.tv32);
        std::memcpy(bOldRegCrt, r.old_crt, sizeof r.old_crt);
        b3CE_B0 = r.gr_b0;
        b3CE_B1 = r.gr_b1;
        b3CE_BA = r.gr_ba;
    }
    if (r.has_video_clock()) {
        wExtClock = r.ext_clock;
        bEA = r.sr_ea;
        bEB = r.sr_eb;
        bEC = r.sr_ec;
        bED = r.sr_ed;
        bEE = r.sr_ee;
        bEF = r.sr_ef;
        bA6 = r.sr_a6;
        wE5F0 = r.tv_e5f0;
        wE5F2 = r.tv_e5f2;
        wE5F4 = r.tv_e5f4;
        wE5F6 = r.tv_e5f6;
        wE4EC = r.tv_e4ec;
    }
}

// ---- The record <-> bytes (little-endian, fixed order) ----

// Walks the fields of a record in file order; `field(pointer, bytes)` is
// called for every 8-, 16- or 32-bit value.
template <typename R, typename Field>
void each_field(R &r, Field field) {
    for (auto *v : {&r.sync_lock, &r.sync_lock_gm, &r.v_standard, &r.vcr_mode})
        field(v);
    for (auto &v : r.tv16)
        field(&v);
    for (auto &v : r.tv32)
        field(&v);
    for (auto &v : r.old_crt)
        field(&v);
    for (auto *v : {&r.gr_b0, &r.gr_b1, &r.gr_ba})
        field(v);
    field(&r.ext_clock);
    for (auto *v : {&r.sr_ea, &r.sr_eb, &r.sr_ec, &r.sr_ed, &r.sr_ee, &r.sr_ef, &r.sr_a6})
        field(v);
    for (auto *v : {&r.tv_e5f0, &r.tv_e5f2, &r.tv_e5f4, &r.tv_e5f6, &r.tv_e4ec})
        field(v);
}

template <typename T>
void put(std::vector<unsigned char> &out, T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out.push_back(static_cast<unsigned char>(static_cast<std::uint32_t>(value) >> (8 * i)));
}

template <typename T>
T get(const unsigned char *in) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    return static_cast<T>(value);
}

std::size_t payload_size() {
    std::size_t size = 0;
    Record r{};
    each_field(r, [&size](auto *v) { size += sizeof *v; });
    return size;
}

std::vector<unsigned char> encode(Record r) {
    std::vector<unsigned char> bytes(kMagic, kMagic + sizeof kMagic);
    put<std::uint16_t>(bytes, kVersion);
    put<std::uint32_t>(bytes, static_cast<std::uint32_t>(payload_size()));
    each_field(r, [&bytes](auto *v) { put(bytes, *v); });
    put<std::uint32_t>(bytes, lock_state_checksum(bytes.data(), bytes.size()));
    return bytes;
}

bool flag(std::uint16_t v) {
    return v == 0 || v == 1;
}

// Checks a whole file's bytes and decodes them.  On failure `why` says what is
// wrong (to follow the file's name in a message).
LockStateLoad decode(const std::vector<unsigned char> &bytes, Record &r, std::string &why) {
    const std::size_t size = bytes.size();
    if (size > 0 && std::memcmp(bytes.data(), kMagic, std::min(size, sizeof kMagic)) != 0) {
        why = "is not a lock-state record (bad magic)";
        return LockStateLoad::Corrupt;
    }
    if (size < kHeaderSize + kChecksumSize) {
        why = "is truncated (" + std::to_string(size) + " bytes)";
        return LockStateLoad::Truncated;
    }
    const auto version = get<std::uint16_t>(bytes.data() + sizeof kMagic);
    const std::size_t length = get<std::uint32_t>(bytes.data() + sizeof kMagic + 2);
    const bool whole = length <= kLargestFile && size == kHeaderSize + length + kChecksumSize &&
                       get<std::uint32_t>(bytes.data() + kHeaderSize + length) ==
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
    const std::size_t expected = payload_size();
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
    const unsigned char *in = bytes.data() + kHeaderSize;
    each_field(r, [&in](auto *v) {
        *v = get<std::remove_reference_t<decltype(*v)>>(in);
        in += sizeof *v;
    });
    const bool valid = flag(r.sync_lock) && flag(r.sync_lock_gm) && flag(r.ext_clock) &&
                       (r.v_standard <= 1 || r.v_standard == 0xFFFF) &&
                       (r.has_sync_lock() || r.has_video_clock());
    if (!valid) {
        why = "is corrupt (impossible lock flags)";
        return LockStateLoad::Corrupt;
    }
    return LockStateLoad::Ok;
}

std::string system_error(const std::string &what) {
    return what + ": " + std::strerror(errno);
}

// Reads and checks DIR/lock.state into r.  On failure `error` is set.
LockStateLoad read_record(const std::string &dir, Record &r, std::string &error) {
    const std::string path = lock_state_path(dir);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        if (errno == ENOENT) {
            error = "no lock recorded: " + path + " does not exist";
            return LockStateLoad::Missing;
        }
        error = system_error("cannot read " + path);
        return LockStateLoad::Unreadable;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = S_ISREG(st.st_mode) ? system_error("cannot read " + path) : path + " is not a regular file";
        close(fd);
        return LockStateLoad::Unreadable;
    }
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
    const LockStateLoad result = decode(bytes, r, why);
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
bool write_record(const std::string &dir, const Record &r, std::string &error) {
    if (!ensure_state_dir(dir)) {
        error = system_error("cannot create state directory " + dir);
        return false;
    }
    const std::string path = lock_state_path(dir);
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = system_error("cannot create a file in " + dir);
        return false;
    }
    const bool written = fchmod(fd, 0600) == 0 && write_all(fd, encode(r)) && fsync(fd) == 0;
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
    const Record now = from_library();
    if (!now.has_sync_lock() && !now.has_video_clock()) return true;

    Record record{};
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
    if (!record.has_sync_lock() && now.has_sync_lock()) {
        take_sync_part(record);
        added = true;
    }
    if (!record.has_video_clock() && now.has_video_clock()) {
        take_video_clock_part(record);
        added = true;
    }
    return !added || write_record(dir, record, error);
}

LockStateLoad load_lock_state(const std::string &dir, std::string &error) {
    Record record{};
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
    const Record now = from_library();
    if (!now.has_sync_lock() && !now.has_video_clock()) return remove_lock_state(dir, error);
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
