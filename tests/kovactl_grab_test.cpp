// kovactl grab and screenshot end to end: capview sets the capture engine up
// on the simulated controller (kovasim, its registers dumped), kovactl grabs
// from a controller preset with those registers, and the frames it writes
// are compared with the source frame after the registers' scaling.
#include "kovactl_run.h"
#include "kovasim_run.h"
#include "picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace {

namespace picture = kova::picture;

std::string temp_path(const char *stem) {
    std::string path = std::string(P_tmpdir) + "/grab-" + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    return path;
}

// A still 4:2:2 source whose samples differ from their neighbours.
std::uint8_t luma(int x, int y) {
    return static_cast<std::uint8_t>(16 + (x * 3 + y * 5) % 220);
}
std::uint8_t chroma(int cx, int y, int plane) {
    return static_cast<std::uint8_t>(16 + (cx * 7 + y * 11 + plane * 50) % 224);
}

void write_source(const std::string &path, int width, int height, const char *rate) {
    std::ofstream out(path, std::ios::binary);
    out << "YUV4MPEG2 W" << width << " H" << height << " F" << rate << " Ip A1:1 C422\nFRAME\n";
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.put(static_cast<char>(luma(x, y)));
    for (int plane = 0; plane < 2; ++plane)
        for (int y = 0; y < height; ++y)
            for (int cx = 0; cx < width / 2; ++cx)
                out.put(static_cast<char>(chroma(cx, y, plane)));
}

// The registers capview leaves, as --set presets for kovactl.
std::vector<std::string> capview_registers(const std::vector<std::string> &capview_args) {
    std::vector<std::string> args = {"--"};
    args.insert(args.end(), capview_args.begin(), capview_args.end());
    const KovasimRun run = run_kovasim(args);
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> settings;
    for (const auto &[name, value] : run.regs) {
        char text[16];
        std::snprintf(text, sizeof text, "%X", value);
        settings.push_back(name + "=" + text);
    }
    return presets(settings);
}

struct Grabbed {
    KovactlRun run;
    picture::Y4mHeader header;
    std::vector<picture::PlanarFrame> frames;
};

Grabbed grab(const std::vector<std::string> &capview_args, const std::vector<std::string> &grab_args) {
    Grabbed g;
    std::vector<std::string> args = capview_registers(capview_args);
    args.push_back("grab");
    args.insert(args.end(), grab_args.begin(), grab_args.end());
    g.run = run_kovactl(args);
    if (g.run.status != 0) return g;
    const std::string path = temp_path("y4m");
    std::ofstream(path, std::ios::binary) << g.run.out;
    picture::Y4mReader reader;
    std::string error;
    EXPECT_TRUE(reader.open(path, error)) << error;
    g.header = reader.header();
    for (picture::PlanarFrame frame; reader.read(frame, error);)
        g.frames.push_back(frame);
    EXPECT_EQ(error, "");
    std::remove(path.c_str());
    return g;
}

struct Case {
    const char *name;
    int source_width, source_height;
    const char *rate;
    std::vector<std::string> capview_args;
    int width, height; // of the grabbed frame: the destination size capview asked for
};

// Each grabbed sample is the source sample that the scaling maps to: output
// pixel x of a w-pixel line shows source pixel x * W / w (or the next one,
// as the scale factor rounds), and line j of field f shows line j * H / h of
// that field.
TEST(KovactlGrab, FrameEqualsTheSourceAfterTheRegistersScaling) {
    const Case cases[] = {
        {"pal", 720, 576, "25:1", {}, 720, 576},
        {"pal shrunk", 720, 576, "25:1", {"-X", "10", "-Y", "6"}, 710, 570},
        {"pal half height", 720, 576, "25:1", {"-Y", "288"}, 720, 288},
        {"ntsc", 720, 480, "30000:1001", {"-H", "480", "-h", "480"}, 720, 480},
        {"ntsc double buffered", 720, 480, "30000:1001", {"-H", "480", "-h", "480", "-d"}, 720, 480},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = temp_path("source");
        write_source(source, c.source_width, c.source_height, c.rate);
        const Grabbed g = grab(c.capview_args, {"--source", source, "-o", "-"});
        std::remove(source.c_str());
        ASSERT_EQ(g.run.status, 0) << g.run.err;
        ASSERT_EQ(g.frames.size(), 1u);
        ASSERT_TRUE(g.header.chroma422);
        ASSERT_EQ(g.header.width, c.width);
        ASSERT_EQ(g.header.height, c.height);
        EXPECT_EQ(g.header.rate_num, c.source_height == 480 ? 30000 : 25);
        const picture::PlanarFrame &f = g.frames[0];
        const bool one_to_one = c.width == c.source_width && c.height == c.source_height;
        int wrong = 0;
        for (int l = 0; l < c.height; ++l) {
            const int field = l % 2, j = l / 2;
            const int js = j * c.source_height / c.height;
            for (int x = 0; x < c.width && wrong < 5; ++x) {
                const int xs = x * c.source_width / c.width;
                const std::uint8_t got = f.y[static_cast<std::size_t>(l) * c.width + x];
                bool match = false;
                for (int dy = 0; dy < (one_to_one ? 1 : 2); ++dy)
                    for (int dx = 0; dx < (one_to_one ? 1 : 2); ++dx)
                        match |= got == luma(xs + dx, 2 * (js + dy) + field);
                if (one_to_one) {
                    const std::size_t at = static_cast<std::size_t>(l) * f.chroma_width + x / 2;
                    match &= f.cb[at] == chroma(x / 2, l, 0) && f.cr[at] == chroma(x / 2, l, 1);
                }
                if (!match) ADD_FAILURE() << "pixel " << x << ", line " << l << ": " << int(got), ++wrong;
            }
        }
    }
}

TEST(KovactlGrab, FramesFormatsAndFiles) {
    const std::vector<std::string> none;
    const Grabbed three = grab(none, {"--frames", "3"});
    ASSERT_EQ(three.run.status, 0) << three.run.err;
    EXPECT_EQ(three.frames.size(), 3u);
    // The test pattern's moving box: successive frames differ.
    ASSERT_EQ(three.frames.size(), 3u);
    EXPECT_NE(three.frames[0].y, three.frames[1].y);

    const std::string file = temp_path("file");
    std::vector<std::string> args = capview_registers(none);
    args.insert(args.end(), {"grab", "--format", picture::png_supported() ? "png" : "y4m", "-o", file});
    const KovactlRun run = run_kovactl(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    std::string error;
    if (picture::png_supported()) {
        picture::Image image;
        ASSERT_TRUE(picture::read_png(file, image, error)) << error;
        EXPECT_EQ(image.width, 720);
        EXPECT_EQ(image.height, 576);
    } else {
        picture::Y4mReader reader;
        ASSERT_TRUE(reader.open(file, error)) << error;
        EXPECT_EQ(reader.header().width, 720);
    }
    std::remove(file.c_str());

    if (picture::png_supported()) {
        // screenshot writes the screen: the display's size.
        args = capview_registers(none);
        args.insert(args.end(), {"screenshot", file + ".png"});
        EXPECT_EQ(run_kovactl(args).status, 0);
        picture::Image image;
        ASSERT_TRUE(picture::read_png(file + ".png", image, error)) << error;
        EXPECT_GE(image.width, 720);
        std::remove((file + ".png").c_str());
    }
}

TEST(KovactlGrab, UsageAndStateErrors) {
    const struct {
        std::vector<std::string> args;
        bool simulated;
        int status;
        const char *message;
    } cases[] = {
        {{"grab", "--frames", "0"}, true, 64, "--frames must be a number from 1 to 10000"},
        {{"grab", "--engine", "2"}, true, 64, "--engine must be a number from 0 to 1"},
        {{"grab", "--format", "jpeg"}, true, 64, "one of y4m|png"},
        {{"grab", "--format", "png"}, true, 64, "needs -o FILE"},
        {{"grab", "--format", "png", "-o", "x.png", "--frames", "2"}, true, 64, "writes one frame"},
        {{"grab", "-o"}, true, 64, "-o needs a file name"},
        {{"grab", "extra"}, true, 64, "unexpected argument"},
        {{"grab", "--source", "nowhere.y4m"}, true, 64, "--source"},
        {{"grab", "--source", "pal"}, false, 64, "use it with --sim"},
        {{"screenshot"}, true, 64, "missing FILE.png"},
        {{"screenshot", "a.jpg"}, true, 64, "must end in .png"},
        {{"screenshot", "a.png"}, false, 64, "use --sim"},
        // Engines at power-on: nothing is being captured.
        {{"grab"}, true, 1, "capture engine 0 is stopped"},
        {{"grab", "--engine", "1"}, true, 1, "capture engine 1 is stopped"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.back());
        KovactlInput input;
        input.simulated = c.simulated;
        const KovactlRun run = run_kovactl(c.args, input);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

} // namespace
