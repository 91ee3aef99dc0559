// Pictures in and out: the screen as RGB, PNG files, YUV4MPEG2 streams.
#pragma once

#include "output_file.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kova::picture {

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb; // 3 bytes per pixel, rows without gaps

    void reset(int w, int h) {
        width = w, height = h;
        rgb.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3, 0);
    }
    std::uint8_t *row(int y) { return rgb.data() + static_cast<std::size_t>(y) * width * 3; }
    const std::uint8_t *row(int y) const { return rgb.data() + static_cast<std::size_t>(y) * width * 3; }
};

// Whether this build can write and read PNG files.
bool png_supported();
bool write_png(const std::string &path, const Image &image, std::string &error);
bool read_png(const std::string &path, Image &image, std::string &error);

struct Y4mHeader {
    int width = 0, height = 0;
    int rate_num = 25, rate_den = 1;
    bool chroma422 = false; // else 4:2:0
};

// A frame as it is stored: planes at the stream's chroma size.
struct PlanarFrame {
    int width = 0, height = 0, chroma_width = 0, chroma_height = 0;
    std::vector<std::uint8_t> y, cb, cr;
};

struct FileCloser {
    void operator()(std::FILE *f) const {
        if (f && f != stdout) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

class Y4mReader {
  public:
    bool open(const std::string &path, std::string &error);
    const Y4mHeader &header() const { return header_; }
    // The next frame: false at the end of the stream (error empty) or on a fault.
    bool read(PlanarFrame &frame, std::string &error);
    bool rewind();

  private:
    File file_;
    Y4mHeader header_;
    long data_start_ = 0;
};

// Writes the screen as 4:2:0 (the chroma of each 2 x 2 block averaged).
class Y4mWriter {
  public:
    // "-" writes to standard output; a file is put in place by close(), its
    // old contents kept until then.
    bool open(const std::string &path, int width, int height, int rate_num, int rate_den, std::string &error);
    // False, nothing written, for a picture of another size than the stream's.
    bool write(const Image &image);
    bool close(std::string &error);
    // The bytes of one frame of a width x height stream, its FRAME line included.
    static std::uint64_t frame_bytes(int width, int height);
    // The file being written (nothing open for standard output).
    const OutputFile &file() const { return out_; }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    OutputFile out_;
    std::FILE *stream_ = nullptr;
    std::string path_;
    int width_ = 0, height_ = 0;
    std::vector<std::uint8_t> planes_;
    std::vector<int> sums_; // a chroma line's sums of Cb and Cr and their pixel counts
};

} // namespace kova::picture
