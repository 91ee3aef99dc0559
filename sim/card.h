// A virtual card: the whole state of one simulated controller in a file that
// several processes map shared, so that what one program leaves the next one
// finds, as on the one card in a machine.
//
// File layout (little-endian): a 4 KiB header (Card::Header: the magic
// "KOVACARD", the format version, the sizes of every part, and a CRC-32 of
// the header), then the controller's memory (Storage) as it is laid out here.
// The header is written once, when the card is made; after that only the
// Storage part changes, by plain stores, so that a program killed at any
// instant leaves a card that opens and holds what the registers held then.
//
// One program at a time: a program attached to a card holds the register-owner
// lock of the card's state directory (the one named, else $KOVA_STATE_DIR,
// else FILE.state beside the card) from the attach to its end, as the
// hardware programs do (a live viewer takes it around each field instead);
// the lock-state record of a sync lock lives there too.
#pragma once

#include "aperture.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kova::tool {
class RegisterOwner;
}

namespace kova::sim {

// The controller's memory: everything it keeps between two accesses, laid
// out the same in the process's own storage and in a card file.
struct Storage {
    static constexpr std::size_t kPagedCells = std::size_t{256} * 256; // [page][index]
    static constexpr std::size_t kWindowSize = decode::kRegisterWindowLength;
    static constexpr std::size_t kVideoMemorySize = decode::kVideoMemoryLength;

    std::uint8_t gr[256];
    std::uint8_t sr[256];
    std::uint8_t cr[256];
    std::uint8_t unused0[256];
    std::uint64_t raster;          // the raster counter t
    std::uint64_t fields;          // the video model's clock: fields the source has delivered
    std::uint32_t desktop_painted; // the video model has painted its desktop since power-on
    std::uint32_t last_field;      // the field the capture engine wrote last, plus one (0: none yet)
    std::uint8_t unused1[4096 - 1024 - 24];
    std::uint8_t gr_pages_fa[kPagedCells];
    std::uint8_t gr_pages_bf[kPagedCells];
    std::uint8_t sr_pages_fa[kPagedCells];
    std::uint8_t window[kWindowSize]; // single ports, TV/audio region and the rest of the window
    std::uint8_t video[kVideoMemorySize];
};
static_assert(offsetof(Storage, raster) == 1024 && offsetof(Storage, fields) == 1032 &&
              offsetof(Storage, desktop_painted) == 1040 && offsetof(Storage, last_field) == 1044 &&
              offsetof(Storage, gr_pages_fa) == 4096);
static_assert(sizeof(Storage) ==
              4096 + 3 * Storage::kPagedCells + Storage::kWindowSize + Storage::kVideoMemorySize);

// The name of a card's own state directory (register-owner lock, lock-state
// record): FILE.state beside FILE.
std::string card_state_dir(const std::string &card);

class Card {
  public:
    static constexpr char kMagic[8] = {'K', 'O', 'V', 'A', 'C', 'A', 'R', 'D'};
    static constexpr std::uint32_t kVersion = 1;
    static constexpr std::uint32_t kHeaderSize = 4096;
    static constexpr std::uint64_t kFileSize = kHeaderSize + sizeof(Storage);

    struct Header {
        char magic[8];
        std::uint32_t version;
        std::uint32_t header_size;
        std::uint64_t file_size;
        std::uint32_t registers_size; // GR, SR, CR and the clocks (the first 4 KiB of Storage)
        std::uint32_t paged_size;     // each of GR paged by FA, GR paged by BF, SR paged by FA
        std::uint32_t window_size;    // the register window
        std::uint32_t video_memory_size;
        std::uint32_t unused;
        std::uint32_t checksum; // CRC-32 of the bytes above
    };

    // How a program uses a card.
    struct Use {
        const char *program = "kova-sim"; // named to a program that waits for the card
        // Where the register-owner lock lives: this directory, else
        // $KOVA_STATE_DIR when set and not empty, else FILE.state beside the card.
        std::string state_dir;
        bool create = true; // make a missing card in the power-on state
        // Take the register-owner lock at the attach and hold it to the end;
        // a program that takes it around each of its steps says false.
        bool hold_registers = true;
    };

    ~Card();
    Card(const Card &) = delete;
    Card &operator=(const Card &) = delete;

    // Opens the card FILE (making it when missing and `use.create`), checks
    // that it is one, and takes its register-owner lock (waiting as the
    // hardware programs do, $KOVA_OWNER_WAIT_MS or 5 s).  Null with a
    // one-line reason in `error` (and `busy` set when another program held
    // the card all that time); a file that is not a card is never written.
    static std::unique_ptr<Card> open(const std::string &path, const Use &use, std::string &error,
                                      bool *busy = nullptr);

    // Makes a card in the power-on state at `path`, which must not exist yet:
    // through a temporary file beside it with the whole size reserved, then
    // linked into place (never over a file made meanwhile); mode 0600.
    static bool create(const std::string &path, std::string &error);

    Storage &storage() { return *storage_; }
    const Storage &storage() const { return *storage_; }
    const Header &header() const { return header_; }
    const std::string &path() const { return path_; }
    // The directory of the register-owner lock and the lock-state record.
    const std::string &state_dir() const { return state_dir_; }

    // The header a card of this build has, and the checksum of a header.
    static Header expected_header();
    static std::uint32_t checksum(const Header &header);

  private:
    Card() = default;
    bool take(int fd, const Use &use, std::string &error, bool *busy);

    std::string path_;
    std::string state_dir_;
    Header header_{};
    Storage *storage_ = nullptr;
    void *mapping_ = nullptr;
    std::unique_ptr<tool::RegisterOwner> owner_;
};

} // namespace kova::sim
