// Fuzz target: the YUV4MPEG2 reader of the video model.
//
// Input: the contents of a .y4m file.  Beyond crashes, the target stops when
//   - a refused stream or frame has no reason, or one of more than one line;
//   - an accepted header holds a size or frame rate out of range;
//   - a frame's planes are not the sizes its header implies;
//   - after a rewind, the first frame reads back differently.
#include "harness.h"
#include "picture.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using kova::picture::PlanarFrame;
using kova::picture::Y4mReader;

constexpr int kFramesRead = 3; // enough for the frame loop; a stream may hold many

[[noreturn]] void finding(const char *what, const std::string &detail = {}) {
    std::fprintf(stderr, "y4m fuzz target: %s %s\n", what, detail.c_str());
    std::abort();
}

void check_reason(const std::string &error) {
    if (error.empty() || error.find('\n') != std::string::npos)
        finding("refused without a one-line reason:", error);
}

void check_frame(const Y4mReader &reader, const PlanarFrame &frame) {
    const auto &h = reader.header();
    const auto luma = static_cast<std::size_t>(h.width) * static_cast<std::size_t>(h.height);
    const auto chroma_width = static_cast<std::size_t>((h.width + 1) / 2);
    const auto chroma_height = static_cast<std::size_t>(h.chroma422 ? h.height : (h.height + 1) / 2);
    if (frame.width != h.width || frame.height != h.height || frame.y.size() != luma ||
        frame.cb.size() != chroma_width * chroma_height || frame.cr.size() != frame.cb.size())
        finding("a frame's planes do not match its header");
}

const std::string &stream_path() {
    static const std::string path = kova::fuzz::scratch_dir() + "/input.y4m";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::FILE *out = std::fopen(stream_path().c_str(), "wb");
    if (out == nullptr || std::fwrite(data, 1, size, out) != size || std::fclose(out) != 0)
        finding("cannot write the input to", stream_path());

    Y4mReader reader;
    std::string error;
    if (!reader.open(stream_path(), error)) {
        check_reason(error);
        return 0;
    }
    const auto &h = reader.header();
    if (h.width < 1 || h.height < 1 || h.width > 8192 || h.height > 8192 || h.rate_num < 1 || h.rate_den < 1)
        finding("an accepted header is out of range");

    PlanarFrame first;
    PlanarFrame frame;
    int frames = 0;
    for (; frames < kFramesRead; ++frames) {
        PlanarFrame &into = frames == 0 ? first : frame;
        if (!reader.read(into, error)) {
            if (!error.empty()) check_reason(error);
            break;
        }
        check_frame(reader, into);
    }
    if (frames > 0) {
        if (!reader.rewind()) finding("cannot rewind a stream with a frame");
        if (!reader.read(frame, error) || frame.y != first.y || frame.cb != first.cb || frame.cr != first.cr)
            finding("the first frame reads back differently after a rewind");
    }
    return 0;
}
