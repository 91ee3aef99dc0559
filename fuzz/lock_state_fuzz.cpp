// Fuzz target: the lock-state file reader.
//
// Input: the contents of DIR/lock.state.  Each input is read twice: as it
// is, and with its last four bytes replaced by the checksum of the rest, so
// that the checks behind the checksum are reached too.  Beyond crashes, the
// target stops when
//   - a refused file has no reason, a reason of more than one line, or has
//     changed a library global ("nothing is loaded");
//   - a loaded record, written back by the program and read again into a
//     fresh process state, gives different globals.
#include "harness.h"
#include "lock_state.h"
#include "state_dir.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string &record_dir() {
    static const std::string dir = kova::fuzz::scratch_dir() + "/record";
    return dir;
}
const std::string &rewritten_dir() {
    static const std::string dir = kova::fuzz::scratch_dir() + "/rewritten";
    return dir;
}

[[noreturn]] void finding(const char *what, const std::string &detail = {}) {
    std::fprintf(stderr, "lock-state fuzz target: %s %s\n", what, detail.c_str());
    std::abort();
}

void write_file(const std::string &path, const std::vector<std::uint8_t> &bytes) {
    std::FILE *out = std::fopen(path.c_str(), "wb");
    if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0)
        finding("cannot write the input to", path);
}

void check(const std::vector<std::uint8_t> &contents) {
    using kova::tool::LockStateLoad;
    write_file(kova::tool::lock_state_path(record_dir()), contents);
    kova::fuzz::reset_globals();
    const std::vector<unsigned char> before = kova::fuzz::globals_image();
    std::string error;
    const LockStateLoad result = kova::tool::load_lock_state(record_dir(), error);
    if (result != LockStateLoad::Ok) {
        if (error.empty() || error.find('\n') != std::string::npos)
            finding("refused without a one-line reason:", error);
        if (kova::fuzz::globals_image() != before)
            finding("a refused record changed the library's globals:", error);
        return;
    }

    const std::vector<unsigned char> loaded = kova::fuzz::globals_image();
    if (!kova::tool::settle_lock_state(rewritten_dir(), error))
        finding("cannot write the record back:", error);
    kova::fuzz::reset_globals();
    const LockStateLoad again = kova::tool::load_lock_state(rewritten_dir(), error);
    if (again != LockStateLoad::Ok && again != LockStateLoad::Missing)
        finding("the record written back is refused:", error);
    if (kova::fuzz::globals_image() != loaded) finding("the record written back loads differently");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    for (const std::string *dir : {&record_dir(), &rewritten_dir()})
        if (!kova::tool::ensure_state_dir(*dir)) finding("cannot create", *dir);
    kova::fuzz::reset_globals(); // the first call records the globals at start-up
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::vector<std::uint8_t> contents(data, data + size);
    check(contents);
    if (size >= 4) {
        const std::uint32_t sum = kova::tool::lock_state_checksum(contents.data(), size - 4);
        for (int i = 0; i < 4; ++i)
            contents[size - 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(sum >> (8 * i));
        check(contents);
    }
    return 0;
}
