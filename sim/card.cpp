#include "card.h"

#include "controller.h"
#include "register_owner.h"
#include "state_dir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kova::sim {

namespace {

static_assert(sizeof(Card::Header) == 48 && offsetof(Card::Header, checksum) == 44);
static_assert(Card::kHeaderSize % 4096 == 0);

// CRC-32 (reflected, polynomial 0xEDB88320), as the lock-state record's.
std::uint32_t crc32(const void *data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFF;
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0U - (crc & 1)));
    }
    return ~crc;
}

std::string system_error(const std::string &what) {
    return what + ": " + std::strerror(errno);
}

// How long to wait for another program that holds the card:
// $KOVA_OWNER_WAIT_MS when it is a number, else the programs' common bound.
std::chrono::milliseconds owner_wait() {
    const char *text = std::getenv("KOVA_OWNER_WAIT_MS");
    if (text == nullptr || *text < '0' || *text > '9') return tool::kRegisterOwnerWait;
    char *end = nullptr;
    const unsigned long ms = std::strtoul(text, &end, 10);
    return *end == '\0' ? std::chrono::milliseconds(ms) : tool::kRegisterOwnerWait;
}

// What kind of file a non-card is, for the message.
const char *kind_of(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// A name that may be opened: not a symbolic link that another user owns, and
// a regular file behind it; `link` tells whether the name is a link.  ENOENT
// in errno when there is nothing there.
bool acceptable_name(const std::string &path, bool &link, std::string &error) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        error = system_error(path);
        return false;
    }
    link = S_ISLNK(st.st_mode);
    if (link && st.st_uid != geteuid()) {
        error = path + ": a symbolic link that another user owns; not followed";
        errno = EPERM;
        return false;
    }
    if (stat(path.c_str(), &st) != 0) {
        error = system_error(path);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + ": " + kind_of(st.st_mode) + ", not a card";
        errno = EINVAL;
        return false;
    }
    return true;
}

// What is wrong with the header and size of an open file, or "".
std::string header_fault(int fd, Card::Header &header) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return std::string(kind_of(st.st_mode)) + ", not a card";
    const Card::Header want = Card::expected_header();
    const ssize_t got = pread(fd, &header, sizeof header, 0);
    if (got < static_cast<ssize_t>(sizeof header.magic) ||
        std::memcmp(header.magic, Card::kMagic, sizeof header.magic) != 0)
        return "not a card (it does not begin with KOVACARD)";
    if (got < static_cast<ssize_t>(sizeof header))
        return "truncated: " + std::to_string(st.st_size) + " bytes of " + std::to_string(want.file_size);
    if (header.checksum != Card::checksum(header)) return "not a card: its header's checksum is wrong";
    if (header.version != want.version)
        return "a card of format version " + std::to_string(header.version) +
               "; this program reads version " + std::to_string(want.version);
    if (std::memcmp(&header, &want, sizeof header) != 0) return "a card with other sizes than this program's";
    if (static_cast<std::uint64_t>(st.st_size) < want.file_size)
        return "truncated: " + std::to_string(st.st_size) + " bytes of " + std::to_string(want.file_size);
    if (static_cast<std::uint64_t>(st.st_size) > want.file_size)
        return "not a card: " + std::to_string(st.st_size) + " bytes, a card has " +
               std::to_string(want.file_size);
    return "";
}

std::string directory_of(const std::string &path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string &path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writes the header and the power-on state into a file of the card's size.
bool fill_new_card(int fd, std::string &error) {
    void *map = mmap(nullptr, Card::kFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        error = system_error("cannot map the new card");
        return false;
    }
    const Card::Header header = Card::expected_header();
    std::memcpy(map, &header, sizeof header);
    Controller::power_on(*reinterpret_cast<Storage *>(static_cast<char *>(map) + Card::kHeaderSize));
    munmap(map, Card::kFileSize);
    if (fsync(fd) != 0) {
        error = system_error("cannot write the new card");
        return false;
    }
    return true;
}

// Makes the card at `path`: false with EEXIST in errno when a file is there
// (made meanwhile, perhaps), else false with `error` set.
bool make_card(const std::string &path, std::string &error) {
    std::string temp = directory_of(path) + "/." + base_of(path) + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC); // mode 0600
    if (fd < 0) {
        error = system_error("cannot make the card " + path);
        return false;
    }
    bool made = false;
    int link_errno = 0;
    if (const int e = posix_fallocate(fd, 0, static_cast<off_t>(Card::kFileSize)); e != 0) {
        error = "cannot make the card " + path + ": " + std::strerror(e) + " (it needs " +
                std::to_string(Card::kFileSize) + " bytes)";
    } else if (fill_new_card(fd, error)) {
        made = link(temp.c_str(), path.c_str()) == 0; // never over a file made meanwhile
        link_errno = made ? 0 : errno;
        if (!made && link_errno != EEXIST) error = system_error("cannot make the card " + path);
    }
    unlink(temp.c_str());
    close(fd);
    errno = link_errno;
    return made;
}

// Whether another program holds the register-owner lock of `dir` now.
bool held_by_another(const std::string &dir) {
    const int fd = ::open(tool::register_owner_path(dir).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

} // namespace

std::string card_state_dir(const std::string &card) {
    return card + ".state";
}

std::uint32_t Card::checksum(const Header &header) {
    return crc32(&header, offsetof(Header, checksum));
}

Card::Header Card::expected_header() {
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof header.magic);
    header.version = kVersion;
    header.header_size = kHeaderSize;
    header.file_size = kFileSize;
    header.registers_size = offsetof(Storage, gr_pages_fa);
    header.paged_size = Storage::kPagedCells;
    header.window_size = Storage::kWindowSize;
    header.video_memory_size = Storage::kVideoMemorySize;
    header.checksum = Card::checksum(header);
    return header;
}

bool Card::create(const std::string &path, std::string &error) {
    if (make_card(path, error)) return true;
    if (errno == EEXIST) error = path + ": exists already (card reset puts a card back to power-on)";
    return false;
}

Card::~Card() {
    if (mapping_ != nullptr) munmap(mapping_, kFileSize);
}

std::unique_ptr<Card> Card::open(const std::string &path, const Use &use, std::string &error, bool *busy) {
    if (path.empty()) {
        error = "empty card name";
        return nullptr;
    }
    bool link = false;
    if (!acceptable_name(path, link, error)) {
        if (errno != ENOENT || !use.create) return nullptr;
        error.clear();
        if (!make_card(path, error) && errno != EEXIST) return nullptr;
        if (!acceptable_name(path, link, error)) return nullptr;
    }
    // What was checked is what is opened: no link swapped in meanwhile, no
    // FIFO that would block.
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (link ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        error = system_error(path);
        return nullptr;
    }
    std::unique_ptr<Card> card(new Card);
    card->path_ = path;
    card->state_dir_ = use.state_dir;
    if (const char *named = std::getenv("KOVA_STATE_DIR"); card->state_dir_.empty() && named != nullptr)
        card->state_dir_ = named;
    if (card->state_dir_.empty()) card->state_dir_ = card_state_dir(path);
    if (const std::string fault = header_fault(fd, card->header_); !fault.empty()) {
        error = path + ": " + fault + "; left as it is";
        close(fd);
        return nullptr;
    }
    const bool ok = card->take(fd, use, error, busy);
    close(fd);
    return ok ? std::move(card) : nullptr;
}

// The lock, the space behind every byte (a copy may have holes that a full
// disk could not fill later), the mapping.
bool Card::take(int fd, const Use &use, std::string &error, bool *busy) {
    if (tool::is_default_state_dir(state_dir_)) {
        error = state_dir_ + ": the hardware's state directory; a card keeps its lock elsewhere";
        return false;
    }
    owner_ = std::make_unique<tool::RegisterOwner>();
    if (use.hold_registers && !owner_->acquire(state_dir_, use.program, owner_wait(), error)) {
        if (busy != nullptr) *busy = held_by_another(state_dir_);
        return false;
    }
    if (const int e = posix_fallocate(fd, 0, static_cast<off_t>(kFileSize)); e != 0) {
        error = path_ + ": " + std::strerror(e) + " (the card's storage cannot be reserved)";
        return false;
    }
    mapping_ = mmap(nullptr, kFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapping_ == MAP_FAILED) {
        mapping_ = nullptr;
        error = system_error("cannot map " + path_);
        return false;
    }
    storage_ = reinterpret_cast<Storage *>(static_cast<char *>(mapping_) + kHeaderSize);
    return true;
}

} // namespace kova::sim
