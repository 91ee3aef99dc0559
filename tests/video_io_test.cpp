// Pictures in and out of the video model: PNG and YUV4MPEG2 files read back,
// YUV4MPEG2 files as the source on both standards, and kovasim's options.
#include "kovasim_run.h"
#include "picture.h"
#include "video_fixture.h"

#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace {

std::string temp_path(const char *stem) {
    std::string path = std::string(P_tmpdir) + "/video-" + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    return path;
}

// A picture in which every pixel differs from its neighbours.
Image test_image(int width, int height) {
    Image image;
    image.reset(width, height);
    for (std::size_t i = 0; i < image.rgb.size(); ++i)
        image.rgb[i] = static_cast<std::uint8_t>(i * 7 + i / 3 * 13);
    return image;
}

// A YUV4MPEG2 file of one frame whose samples follow (x, y) patterns.
std::uint8_t luma(int x, int y) {
    return static_cast<std::uint8_t>(16 + (x * 3 + y * 5) % 220);
}
std::uint8_t chroma(int cx, int cy, int plane) {
    return static_cast<std::uint8_t>(16 + (cx * 7 + cy * 11 + plane * 50) % 224);
}

void write_y4m(const std::string &path, int width, int height, const char *rate, bool c422) {
    std::ofstream out(path, std::ios::binary);
    out << "YUV4MPEG2 W" << width << " H" << height << " F" << rate << " Ip A1:1 C"
        << (c422 ? "422" : "420jpeg") << "\nFRAME\n";
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.put(static_cast<char>(luma(x, y)));
    const int ch = c422 ? height : height / 2;
    for (int plane = 0; plane < 2; ++plane)
        for (int cy = 0; cy < ch; ++cy)
            for (int cx = 0; cx < width / 2; ++cx)
                out.put(static_cast<char>(chroma(cx, cy, plane)));
}

TEST(VideoFiles, PngReadsBackAsWritten) {
    if (!picture::png_supported()) GTEST_SKIP() << "no PNG support in this build";
    const std::string path = temp_path("png");
    const Image image = test_image(37, 11);
    std::string error;
    ASSERT_TRUE(picture::write_png(path, image, error)) << error;
    Image back;
    ASSERT_TRUE(picture::read_png(path, back, error)) << error;
    EXPECT_EQ(back.width, 37);
    EXPECT_EQ(back.height, 11);
    EXPECT_EQ(back.rgb, image.rgb);
    std::remove(path.c_str());
    EXPECT_FALSE(picture::read_png(path, back, error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
}

TEST(VideoFiles, Y4mReadsBackAsWritten) {
    const std::string path = temp_path("y4m");
    // Blocks of 2 x 2 equal pixels: their chroma survives the 4:2:0 average.
    Image image;
    image.reset(6, 4);
    const Rgb colours[6] = {{255, 0, 0},  {0, 255, 0},   {0, 0, 255},
                            {20, 40, 60}, {200, 100, 0}, {255, 255, 255}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const Rgb c = colours[y / 2 * 3 + x / 2];
            std::uint8_t *p = image.row(y) + x * 3;
            p[0] = c.r, p[1] = c.g, p[2] = c.b;
        }
    std::string error;
    picture::Y4mWriter writer;
    ASSERT_TRUE(writer.open(path, 6, 4, 60000, 1001, error)) << error;
    ASSERT_TRUE(writer.write(image));
    ASSERT_TRUE(writer.write(image));
    ASSERT_TRUE(writer.close(error)) << error;

    picture::Y4mReader reader;
    ASSERT_TRUE(reader.open(path, error)) << error;
    EXPECT_EQ(reader.header().width, 6);
    EXPECT_EQ(reader.header().height, 4);
    EXPECT_EQ(reader.header().rate_num, 60000);
    EXPECT_EQ(reader.header().rate_den, 1001);
    EXPECT_FALSE(reader.header().chroma422);
    picture::PlanarFrame frame;
    int frames = 0;
    while (reader.read(frame, error)) {
        ++frames;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const Rgb c = colours[y / 2 * 3 + x / 2];
                const picture::Yuv expected = picture::rgb_to_yuv(c);
                const Rgb back = picture::yuv_to_rgb({frame.y[static_cast<std::size_t>(y * 6 + x)],
                                                      frame.cb[static_cast<std::size_t>(y / 2 * 3 + x / 2)],
                                                      frame.cr[static_cast<std::size_t>(y / 2 * 3 + x / 2)]});
                ASSERT_EQ(frame.y[static_cast<std::size_t>(y * 6 + x)], expected.y);
                ASSERT_TRUE(near(back, c, 4)) << x << "," << y;
            }
    }
    EXPECT_EQ(error, "");
    EXPECT_EQ(frames, 2);
    std::remove(path.c_str());
}

TEST(VideoFiles, UnusableY4mFilesAreRefusedWithTheReason) {
    const std::string path = temp_path("bad");
    const struct {
        const char *content, *reason;
    } cases[] = {
        {"P6 10 10 255\n", "not a YUV4MPEG2 stream"},
        {"YUV4MPEG2 W16 H16 C444\nFRAME\n", "colour space 444 not supported"},
        {"YUV4MPEG2 W0 H16\nFRAME\n", "bad picture size"},
        {"YUV4MPEG2 W16 H16 F0:1\n", "bad frame rate"},
        {"YUV4MPEG2 W16 H16\nFRAME\nshort", "ends inside a frame"},
        {"YUV4MPEG2 W16 H16\n", "no frames"},
    };
    for (const auto &c : cases) {
        std::ofstream(path, std::ios::binary) << c.content;
        std::string error;
        EXPECT_EQ(video::open_source(path, error), nullptr) << c.content;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.content << ": " << error;
    }
    std::remove(path.c_str());
    std::string error;
    EXPECT_EQ(video::open_source(path, error), nullptr);
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

// A frame of a file, captured 1:1 on either standard, lies in the buffer as
// 4:2:2 lines of 720 pixels: centred when smaller, cropped when larger.
struct FileCase {
    const char *name;
    int width, height;
    const char *rate;
    bool c422;
    video::Standard standard;
};

void PrintTo(const FileCase &c, std::ostream *out) {
    *out << c.name;
}

class VideoFileSource : public VideoPicture, public ::testing::WithParamInterface<FileCase> {};

TEST_P(VideoFileSource, FrameLandsInTheBufferAsCaptured) {
    const FileCase &c = GetParam();
    const std::string path = temp_path("src");
    write_y4m(path, c.width, c.height, c.rate, c.c422);
    std::string error;
    auto source = video::open_source(path, error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->standard(), c.standard);
    const video::StandardInfo &info = video::standard_info(c.standard);
    run([&] { srcHeight = destHeight = info.height; }, 2, false, std::move(source));
    std::remove(path.c_str());

    const int ox = (720 - c.width) / 2, oy = (info.height - c.height) / 2;
    const std::uint8_t *buffer = sim.video_memory() + kBuffer;
    for (int y = 0; y < info.height; ++y)
        for (int x = 0; x < 720; x += 2) {
            const int sx = x - ox, sy = y - oy;
            const bool inside = sx >= 0 && sx < c.width && sy >= 0 && sy < c.height;
            const int cy = c.c422 ? sy : sy / 2;
            const std::uint8_t expected[4] = {inside ? luma(sx, sy) : std::uint8_t{16},
                                              inside ? chroma(sx / 2, cy, 0) : std::uint8_t{128},
                                              inside ? luma(sx + 1, sy) : std::uint8_t{16},
                                              inside ? chroma(sx / 2, cy, 1) : std::uint8_t{128}};
            const std::uint8_t *p = buffer + y * 1440 + x * 2;
            ASSERT_TRUE(std::equal(p, p + 4, expected)) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Files, VideoFileSource,
    ::testing::Values(FileCase{"Pal422", 720, 576, "25:1", true, video::Standard::Pal},
                      FileCase{"Ntsc420", 720, 480, "30000:1001", false, video::Standard::Ntsc},
                      FileCase{"SmallCentred", 360, 288, "25:1", false, video::Standard::Pal},
                      FileCase{"LargeCropped", 800, 600, "30:1", true, video::Standard::Ntsc}),
    [](const auto &info) { return std::string(info.param.name); });

// kovasim end to end: the pictures it writes and what its summary says.
TEST(VideoKovasim, WritesThePicturesAndCountsTheFields) {
    const std::string png = temp_path("screen"), y4m = temp_path("stream");
    std::vector<std::string> args = {"--y4m", y4m, "--frames", "3", "--", "-b"};
    if (picture::png_supported()) args.insert(args.begin(), {"--png", png});
    const KovasimRun run = run_kovasim(args, false);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("video: PAL test pattern, 5 fields, 3 captured, 0 guard stops"), std::string::npos)
        << run.err;

    std::string error;
    picture::Y4mReader reader;
    ASSERT_TRUE(reader.open(y4m, error)) << error;
    EXPECT_EQ(reader.header().width, 1024);
    EXPECT_EQ(reader.header().height, 768);
    EXPECT_EQ(reader.header().rate_num, 50);
    picture::PlanarFrame frame;
    int frames = 0;
    while (reader.read(frame, error))
        ++frames;
    EXPECT_EQ(frames, 3);
    // The last frame is the PNG's screen.
    if (picture::png_supported()) {
        Image screen;
        ASSERT_TRUE(picture::read_png(png, screen, error)) << error;
        ASSERT_EQ(screen.width, 1024);
        for (int x : {45, 300, 900})
            EXPECT_EQ(frame.y[static_cast<std::size_t>(100 * 1024 + x)],
                      picture::rgb_to_yuv(at(screen, x, 100)).y);
    }
    std::remove(png.c_str());
    std::remove(y4m.c_str());
}

TEST(VideoKovasim, SourceAndFrameOptions) {
    const struct {
        std::vector<std::string> args;
        int status;
        const char *err;
    } cases[] = {
        {{"--source", "none"}, 0, "video: no signal, 4 fields, 0 captured"},
        {{"--source", "ntsc", "--frames", "0"}, 0, "video: NTSC test pattern, 2 fields, 0 captured"},
        {{"--frames", "5", "--", "-q"}, 0, "5 fields, 0 captured"},
        {{"--source", "/nonexistent/clip.y4m"}, 2, "kovasim: --source cannot open /nonexistent/clip.y4m"},
        {{"--frames", "-1"}, 2, "--frames: -1: a number from 0 to 100000"},
        {{"--frames", "2x"}, 2, "--frames: 2x: a number from 0 to 100000"},
        {{"--png", "/nonexistent/screen.png"},
         picture::png_supported() ? 2 : 0,
         picture::png_supported() ? "cannot write /nonexistent/screen.png" : "built without libpng"},
    };
    for (const auto &c : cases) {
        const KovasimRun run = run_kovasim(c.args, false);
        EXPECT_EQ(run.status, c.status) << c.args[0] << "\n" << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

} // namespace
