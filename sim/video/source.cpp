#include "source.h"

#include "picture.h"

#include <algorithm>
#include <cstring>

namespace kova::sim::video {

namespace {

constexpr picture::Yuv kBlack = {16, 128, 128};

// Pixels [x0, x1) of lines [y0, y1): their luma, and the chroma of every
// pair they touch.
void fill(Frame &f, int x0, int y0, int x1, int y1, picture::Yuv colour) {
    x0 = std::max(x0, 0), x1 = std::min(x1, f.width);
    if (x0 >= x1) return;
    const int first_pair = x0 / 2, last_pair = (x1 - 1) / 2;
    const auto pixels = static_cast<std::size_t>(x1 - x0),
               pairs = static_cast<std::size_t>(last_pair - first_pair) + 1;
    for (int line = std::max(y0, 0); line < std::min(y1, f.height); ++line) {
        std::memset(f.y_row(line) + x0, colour.y, pixels);
        std::memset(f.cb_row(line) + x0 / 2, colour.u, pairs);
        std::memset(f.cr_row(line) + x0 / 2, colour.v, pairs);
    }
}

// Everything of the pattern that does not move.
Frame still_pattern(Standard standard) {
    const StandardInfo &info = standard_info(standard);
    const pattern::Layout l = pattern::layout(standard);
    Frame f;
    f.reset(info.width, info.height);
    const int bar = info.width / pattern::kBarCount;
    for (int i = 0; i < pattern::kBarCount; ++i)
        fill(f, i * bar, 0, (i + 1) * bar, l.bars_end, picture::rgb_to_yuv(pattern::kBars[i]));
    for (int x = 0; x < info.width; ++x)
        fill(f, x, l.bars_end, x + 1, l.ramp_end,
             {static_cast<std::uint8_t>(16 + x * 219 / (info.width - 1)), 128, 128});
    fill(f, 0, l.ramp_end, info.width, info.height, pattern::kBand);
    for (int line = l.marker_y0; line < l.marker_y1; ++line)
        fill(f, l.marker_x0, line, l.marker_x1, line + 1,
             line % 2 == 0 ? pattern::kMarkerOn : pattern::kMarkerOff);
    fill(f, 0, 0, info.width, 1, pattern::kEdge);
    fill(f, 0, info.height - 1, info.width, info.height, pattern::kEdge);
    fill(f, 0, 0, 1, info.height, pattern::kEdge);
    fill(f, info.width - 1, 0, info.width, info.height, pattern::kEdge);
    return f;
}

class PatternSource final : public Source {
  public:
    explicit PatternSource(Standard standard) : Source(standard) {}

    const Frame &frame(std::uint64_t number) override {
        if (still_.width == 0) still_ = still_pattern(standard()); // built when first shown
        if (number != current_ || frame_.width == 0) {
            frame_ = still_;
            const pattern::Layout l = pattern::layout(standard());
            const int x = pattern::box_x(standard(), number);
            fill(frame_, x, l.box_y0, x + l.box_size, l.box_y0 + l.box_size,
                 picture::rgb_to_yuv(pattern::kBoxColour));
            current_ = number;
        }
        return frame_;
    }
    std::string name() const override {
        return std::string(standard_info(standard()).name) + " test pattern";
    }

  private:
    Frame still_, frame_;
    std::uint64_t current_ = 0;
};

class NoSignal final : public Source {
  public:
    explicit NoSignal(Standard standard) : Source(standard) { black_.reset(1, 1); }
    bool signal() const override { return false; }
    const Frame &frame(std::uint64_t /*number*/) override { return black_; }
    std::string name() const override { return "no signal"; }

  private:
    Frame black_;
};

// Frames of a YUV4MPEG2 file, centred in (or cropped to) the standard's
// picture, from the first frame again after the last.
class FileSource final : public Source {
  public:
    FileSource(Standard standard, std::string path, picture::Y4mReader reader)
        : Source(standard), path_(std::move(path)), reader_(std::move(reader)) {}

    bool next(std::string &error) {
        if (!reader_.read(planar_, error)) {
            if (!error.empty()) ++damaged_;
            if (!reader_.rewind() || !reader_.read(planar_, error)) {
                if (error.empty()) error = path_ + ": no frames";
                return false;
            }
        }
        place();
        return true;
    }

    const Frame &frame(std::uint64_t number) override {
        std::string error;
        while (current_ < number && next(error))
            ++current_;
        return frame_;
    }
    std::string name() const override { return path_; }
    std::uint64_t damaged_frames() const override { return damaged_; }

  private:
    void place() {
        const StandardInfo &info = standard_info(standard());
        frame_.reset(info.width, info.height);
        const int ox = (info.width - planar_.width) / 2, oy = (info.height - planar_.height) / 2;
        const bool full_chroma_lines = planar_.chroma_height == planar_.height;
        for (int line = 0; line < info.height; ++line) {
            const int sy = line - oy;
            if (sy < 0 || sy >= planar_.height) continue;
            const int cy = full_chroma_lines ? sy : sy / 2;
            for (int x = 0; x < info.width; ++x) {
                const int sx = x - ox;
                if (sx < 0 || sx >= planar_.width) continue;
                const std::size_t c = static_cast<std::size_t>(cy) * planar_.chroma_width + sx / 2;
                frame_.put(x, line,
                           {planar_.y[static_cast<std::size_t>(sy) * planar_.width + sx], planar_.cb[c],
                            planar_.cr[c]});
            }
        }
    }

    std::string path_;
    picture::Y4mReader reader_;
    picture::PlanarFrame planar_;
    Frame frame_;
    std::uint64_t current_ = 0;
    std::uint64_t damaged_ = 0;
};

} // namespace

const StandardInfo &standard_info(Standard standard) {
    static constexpr StandardInfo kPal = {720, 576, 50, 1, "PAL"};
    static constexpr StandardInfo kNtsc = {720, 480, 60000, 1001, "NTSC"};
    return standard == Standard::Pal ? kPal : kNtsc;
}

void Frame::reset(int w, int h) {
    width = w, height = h;
    y.assign(static_cast<std::size_t>(w) * h, kBlack.y);
    cb.assign(static_cast<std::size_t>(chroma_width()) * h, kBlack.u);
    cr.assign(static_cast<std::size_t>(chroma_width()) * h, kBlack.v);
}

namespace pattern {

Layout layout(Standard standard) {
    const int h = standard_info(standard).height;
    const int ramp_end = h * 5 / 6 / 2 * 2;
    return {h * 2 / 3, ramp_end, 560, 680, ramp_end + 16, ramp_end + 64, ramp_end + 24, 32};
}

int box_x(Standard standard, std::uint64_t frame) {
    const Layout l = layout(standard);
    const int travel = l.marker_x0 - 32 - l.box_size;
    return 16 + static_cast<int>(frame * 8 % static_cast<std::uint64_t>(travel));
}

} // namespace pattern

std::unique_ptr<Source> make_pattern(Standard standard) {
    return std::make_unique<PatternSource>(standard);
}

std::unique_ptr<Source> make_no_signal(Standard standard) {
    return std::make_unique<NoSignal>(standard);
}

std::unique_ptr<Source> open_source(const std::string &spec, std::string &error) {
    if (spec == "pal") return make_pattern(Standard::Pal);
    if (spec == "ntsc") return make_pattern(Standard::Ntsc);
    if (spec == "none") return make_no_signal(Standard::Pal);
    picture::Y4mReader reader;
    if (!reader.open(spec, error)) return nullptr;
    const picture::Y4mHeader &h = reader.header();
    const Standard standard = h.rate_num > 26 * h.rate_den ? Standard::Ntsc : Standard::Pal;
    auto source = std::make_unique<FileSource>(standard, spec, std::move(reader));
    if (!source->next(error)) return nullptr;
    return source;
}

} // namespace kova::sim::video
