#include "picture.h"

#include "pixels.h"
#include "descriptor.h"
#include "output_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>

#if KOVA_HAVE_PNG
#include <png.h>
#endif

namespace kova::picture {

namespace {

std::string system_error(const std::string &what, const std::string &path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// A header number: decimal digits only, at most INT_MAX.  False for anything
// else, so that a value too wide for an int is refused instead of wrapping.
bool parse_header_number(std::string_view text, int &value) {
    if (text.empty() || text.size() > 10) return false;
    long long v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

// A frame rate "N:D", both above 0.
bool parse_frame_rate(std::string_view text, int &num, int &den) {
    const auto colon = text.find(':');
    return colon != std::string_view::npos && parse_header_number(text.substr(0, colon), num) &&
           parse_header_number(text.substr(colon + 1), den) && num > 0 && den > 0;
}

} // namespace

// ------------------------------------------------------------------ PNG

#if KOVA_HAVE_PNG

bool png_supported() {
    return true;
}

bool write_png(const std::string &path, const Image &image, std::string &error) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    OutputFile out;
    if (!out.open(path, error)) return false;
    if (!png_image_write_to_stdio(&png, out.get(), 0, image.rgb.data(), image.width * 3, nullptr)) {
        error = "cannot write " + path + ": " + png.message;
        return false; // the old file is kept; a device or FIFO is left alone
    }
    return out.commit(error);
}

bool read_png(const std::string &path, Image &image, std::string &error) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        error = "cannot read " + path + ": " + png.message;
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    image.reset(static_cast<int>(png.width), static_cast<int>(png.height));
    if (!png_image_finish_read(&png, nullptr, image.rgb.data(), image.width * 3, nullptr)) {
        error = "cannot read " + path + ": " + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

#else

bool png_supported() {
    return false;
}

bool write_png(const std::string &, const Image &, std::string &error) {
    error = "this build has no PNG support";
    return false;
}

bool read_png(const std::string &, Image &, std::string &error) {
    error = "this build has no PNG support";
    return false;
}

#endif

// ------------------------------------------------------------------ YUV4MPEG2 in

bool Y4mReader::open(const std::string &path, std::string &error) {
    file_.reset(tool::fopen_above_standard(path.c_str(), "rb"));
    if (!file_) {
        error = system_error("cannot open", path);
        return false;
    }
    char line[256];
    if (!std::fgets(line, sizeof line, file_.get()) || std::strncmp(line, "YUV4MPEG2 ", 10) != 0 ||
        !std::strchr(line, '\n')) {
        error = path + ": not a YUV4MPEG2 stream";
        return false;
    }
    header_ = {};
    std::istringstream tokens(line + 10);
    for (std::string token; tokens >> token;) {
        const std::string value = token.substr(1);
        switch (token[0]) {
        case 'W':
            if (!parse_header_number(value, header_.width)) header_.width = 0;
            break;
        case 'H':
            if (!parse_header_number(value, header_.height)) header_.height = 0;
            break;
        case 'F':
            if (!parse_frame_rate(value, header_.rate_num, header_.rate_den)) {
                // NOLINTNEXTLINE(performance-inefficient-string-concatenation): once, on the way out
                error = path + ": bad frame rate " + value;
                return false;
            }
            break;
        case 'C':
            if (value == "422") {
                header_.chroma422 = true;
            } else if (value != "420jpeg" && value != "420paldv" && value != "420mpeg2" && value != "420") {
                // NOLINTNEXTLINE(performance-inefficient-string-concatenation): once, on the way out
                error = path + ": colour space " + value + " not supported (8-bit 4:2:0 or 4:2:2 only)";
                return false;
            }
            break;
        default:
            break; // interlacing, aspect ratio, comments: not needed
        }
    }
    if (header_.width <= 0 || header_.height <= 0 || header_.width > 8192 || header_.height > 8192) {
        error = path + ": bad picture size";
        return false;
    }
    data_start_ = std::ftell(file_.get());
    return true;
}

bool Y4mReader::read(PlanarFrame &frame, std::string &error) {
    error.clear();
    char line[256];
    if (!std::fgets(line, sizeof line, file_.get())) return false;
    if (std::strncmp(line, "FRAME", 5) != 0 || !std::strchr(line, '\n')) {
        error = "bad frame header in the YUV4MPEG2 stream";
        return false;
    }
    frame.width = header_.width, frame.height = header_.height;
    frame.chroma_width = (header_.width + 1) / 2;
    frame.chroma_height = header_.chroma422 ? header_.height : (header_.height + 1) / 2;
    const std::size_t luma = static_cast<std::size_t>(frame.width) * frame.height;
    const std::size_t chroma = static_cast<std::size_t>(frame.chroma_width) * frame.chroma_height;
    frame.y.resize(luma), frame.cb.resize(chroma), frame.cr.resize(chroma);
    if (std::fread(frame.y.data(), 1, luma, file_.get()) != luma ||
        std::fread(frame.cb.data(), 1, chroma, file_.get()) != chroma ||
        std::fread(frame.cr.data(), 1, chroma, file_.get()) != chroma) {
        error = "YUV4MPEG2 stream ends inside a frame";
        return false;
    }
    return true;
}

bool Y4mReader::rewind() {
    return file_ && std::fseek(file_.get(), data_start_, SEEK_SET) == 0;
}

// ------------------------------------------------------------------ YUV4MPEG2 out

bool Y4mWriter::open(const std::string &path, int width, int height, int rate_num, int rate_den,
                     std::string &error) {
    path_ = path;
    if (path != "-" && !out_.open(path, error)) return false;
    stream_ = path == "-" ? stdout : out_.get();
    width_ = width, height_ = height;
    std::fprintf(stream_, "YUV4MPEG2 W%d H%d F%d:%d Ip A1:1 C420jpeg\n", width, height, rate_num, rate_den);
    return true;
}

bool Y4mWriter::write(const Image &image) {
    if (image.width != width_ || image.height != height_) return false;
    const int cw = (width_ + 1) / 2, ch = (height_ + 1) / 2;
    const std::size_t luma = static_cast<std::size_t>(width_) * height_,
                      chroma = static_cast<std::size_t>(cw) * ch;
    planes_.assign(luma + 2 * chroma, 0);
    std::uint8_t *y = planes_.data(), *cb = y + luma, *cr = cb + chroma;
    // Each pixel converted once: its luma stored, its chroma summed into its
    // 2 x 2 block (of which the picture's edge may cut off a part).
    sums_.resize(3 * static_cast<std::size_t>(cw));
    int *u = sums_.data(), *v = u + cw, *n = v + cw;
    for (int cy = 0; cy < ch; ++cy) {
        std::fill(sums_.begin(), sums_.end(), 0);
        for (int row = 2 * cy; row < std::min(2 * cy + 2, height_); ++row) {
            const std::uint8_t *p = image.row(row);
            std::uint8_t *luma_row = y + static_cast<std::size_t>(row) * width_;
            for (int x = 0; x < width_; ++x, p += 3) {
                const Yuv c = rgb_to_yuv({p[0], p[1], p[2]});
                luma_row[x] = c.y;
                u[x / 2] += c.u, v[x / 2] += c.v, ++n[x / 2];
            }
        }
        for (int cx = 0; cx < cw; ++cx) {
            cb[static_cast<std::size_t>(cy) * cw + cx] =
                static_cast<std::uint8_t>((u[cx] + n[cx] / 2) / n[cx]);
            cr[static_cast<std::size_t>(cy) * cw + cx] =
                static_cast<std::uint8_t>((v[cx] + n[cx] / 2) / n[cx]);
        }
    }
    return std::fputs("FRAME\n", stream_) >= 0 &&
           std::fwrite(planes_.data(), 1, planes_.size(), stream_) == planes_.size();
}

std::uint64_t Y4mWriter::frame_bytes(int width, int height) {
    const std::uint64_t luma = std::uint64_t(width) * height;
    return sizeof "FRAME\n" - 1 + luma + 2 * (std::uint64_t(width + 1) / 2) * ((height + 1) / 2);
}

bool Y4mWriter::close(std::string &error) {
    std::FILE *f = stream_;
    stream_ = nullptr;
    if (!f) return true;
    if (f != stdout) return out_.commit(error);
    if (std::ferror(f) != 0 || std::fflush(f) != 0) {
        error = system_error("cannot write", path_);
        return false;
    }
    return true;
}

} // namespace kova::picture
