// grab: the captured picture, read out of video memory as the capture
// registers describe it, to a YUV4MPEG2 stream or a PNG picture.
// screenshot: the screen of the simulated controller.
#include "capture.h"
#include "controller_state.h"
#include "decode.h"
#include "grab.h"
#include "output_file.h"
#include "picture.h"
#include "pixels.h"
#include "portmem.h"
#include "register_access.h"
#include "session.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

namespace kova::ctl {

namespace {

enum Arg { kEngine, kFrames, kFormat, kOutput, kSource };
enum Format { kY4m, kPng };

constexpr std::uint16_t kNtscFieldLines = 240;

// Where the captured frame lies: frame line l is line l / 2 of field l % 2
// when the fields are woven, else line l of the one field kept.
struct Geometry {
    std::uint32_t width = 0, height = 0;
    bool woven = false;

    std::uint64_t line_address(const state::CaptureState &c, std::uint32_t line) const {
        return woven ? decode::capture_line_offset(c, static_cast<int>(line % 2), line / 2)
                     : decode::capture_line_offset(c, 0, line);
    }
};

Geometry geometry(const state::CaptureState &c) {
    Geometry g;
    if (c.end_pixel <= c.first_pixel || c.end_line <= c.first_line) return g;
    g.width = decode::capture_size(c.end_pixel - c.first_pixel, c.h_factor);
    const std::uint32_t field_lines = decode::capture_size(c.end_line - c.first_line, c.v_factor);
    g.woven = c.field_scaling;
    g.height = g.woven ? 2 * field_lines : field_lines;
    return g;
}

// One frame as the engine stored it: 2 bytes a pixel, Y then Cb (even pixels)
// or Cr (odd pixels).
using Packed = std::vector<std::uint8_t>;

void read_frame(const state::CaptureState &c, const Geometry &g, Packed &frame) {
    const std::size_t line_bytes = 2 * std::size_t{g.width};
    frame.resize(line_bytes * g.height);
    for (std::uint32_t l = 0; l < g.height; ++l)
        std::memcpy(frame.data() + l * line_bytes, dwLINEAR_BASE + g.line_address(c, l), line_bytes);
}

// 4:2:2 planes: each pair's chroma from its two bytes (an odd last pixel has
// no Cr: grey).
void write_y4m_frame(std::FILE *out, const Packed &frame, const Geometry &g,
                     std::vector<std::uint8_t> &planes) {
    const std::size_t cw = (std::size_t{g.width} + 1) / 2;
    const std::size_t luma = std::size_t{g.height} * g.width;
    const std::size_t chroma = std::size_t{g.height} * cw;
    planes.assign(luma + 2 * chroma, 128);
    for (std::size_t l = 0; l < g.height; ++l) {
        const std::size_t row = 2 * std::size_t{g.width} * l;
        for (std::size_t x = 0; x < g.width; ++x) {
            planes[l * g.width + x] = frame[row + 2 * x];
            const std::size_t plane = x % 2 == 0 ? luma : luma + chroma;
            planes[plane + l * cw + x / 2] = frame[row + 2 * x + 1];
        }
    }
    std::fputs("FRAME\n", out);
    std::fwrite(planes.data(), 1, planes.size(), out);
}

bool write_png_frame(const std::string &path, const Packed &frame, const Geometry &g, std::string &message) {
    picture::Image image;
    image.reset(static_cast<int>(g.width), static_cast<int>(g.height));
    std::vector<std::uint32_t> columns(g.width);
    for (std::uint32_t x = 0; x < g.width; ++x)
        columns[x] = x;
    const std::uint32_t line_bytes = 2 * g.width;
    for (std::uint32_t l = 0; l < g.height; ++l)
        picture::decode_row(picture::kYuyv, frame.data() + std::size_t{line_bytes} * l, line_bytes,
                            columns.data(), static_cast<int>(g.width), image.row(static_cast<int>(l)));
    return picture::write_png(path, image, message);
}

// Whether SIGINT, SIGTERM or SIGHUP is waiting to be delivered.
bool interrupted() {
    sigset_t pending;
    sigpending(&pending);
    return sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1 ||
           sigismember(&pending, SIGHUP) == 1;
}

// The argument checks that need no controller.
int check(const Options &, const Args &a) {
    if (a.given[kSource] && !grab::kHasSource)
        return error(kExitUsage, "grab: --source chooses the simulated video input; use it with --sim");
    if (a.value[kFormat] == kPng) {
        if (!a.given[kOutput] || a.text[kOutput] == "-")
            return error(kExitUsage, "grab: --format png needs -o FILE");
        if (a.value[kFrames] != 1)
            return error(kExitUsage, "grab: --format png writes one frame; --frames must be 1");
        if (!picture::png_supported()) {
            error(kExitFailure, "grab: --format png: this kovactl was built without libpng");
            return kExitFailure;
        }
    }
    return kExitOk;
}

// Opens the y4m stream (a file, put in place when complete, or standard
// output for "-") and writes its header; null after a message when the file
// cannot be written.
std::FILE *open_y4m(picture::OutputFile &file, const std::string &path, const state::CaptureState &c,
                    const Geometry &g) {
    std::string message;
    if (path != "-" && !file.open(path, message)) {
        error(kExitFailure, "grab: %s", message.c_str());
        return nullptr;
    }
    std::FILE *out = path == "-" ? stdout : file.get();
    // The registers do not name the input's standard: a field window
    // reaching past line 240 can only be PAL's.
    const bool ntsc = c.end_line <= kNtscFieldLines;
    std::fprintf(out, "YUV4MPEG2 W%u H%u F%s I%c A1:1 C422\n", g.width, g.height,
                 ntsc ? "30000:1001" : "25:1", g.woven ? 't' : 'p');
    return out;
}

// Whether engine `engine` captures a picture that lies in video memory; a
// message when it does not.
bool grabbable(regs::Reader &reader, int engine, const state::CaptureState &c, const Geometry &g) {
    if (!c.enabled || c.held) {
        if (kSimulatedFlavour)
            error(
                kExitFailure,
                "grab: capture engine %d is stopped: nothing is being captured (a fresh simulated controller "
                "captures nothing; let capview start it and hand its registers over: kovasim --dump D, "
                "then kovactl --sim $(sed 's/^/--set=/' D) grab)",
                engine);
        else
            error(
                kExitFailure,
                "grab: capture engine %d is stopped: nothing is being captured (start it with capture %d on)",
                engine, engine);
        return false;
    }
    if (g.width == 0 || g.height == 0) {
        error(kExitFailure, "grab: capture engine %d has an empty input window or scales it to nothing",
              engine);
        return false;
    }
    const std::uint64_t memory = state::screen_state(reader).video_memory;
    const std::uint64_t first = std::min(g.line_address(c, 0), g.line_address(c, g.height > 1 ? 1 : 0));
    const std::uint64_t last =
        std::max(g.line_address(c, g.height - 1), g.line_address(c, g.height > 1 ? g.height - 2 : 0));
    if (first > last || last + 2ull * g.width > memory) {
        error(kExitFailure, "grab: the %ux%u picture at %s does not fit in the %s bytes of video memory",
              g.width, g.height, hex(c.destination).c_str(), hex(static_cast<std::uint32_t>(memory)).c_str());
        return false;
    }
    return true;
}

int grab_frames(const Options &, const Args &a) {
    regs::Reader reader;
    const int engine = a.given[kEngine] ? static_cast<int>(a.value[kEngine]) : state::routed_engine(reader);
    const state::CaptureState c = state::capture_state(reader, engine);
    const Geometry g = geometry(c);
    if (!grabbable(reader, engine, c, g)) return kExitFailure;

    const std::string path(a.given[kOutput] ? a.text[kOutput] : "-");
    picture::OutputFile file;
    std::FILE *out = nullptr;
    if (a.value[kFormat] == kY4m && (out = open_y4m(file, path, c, g)) == nullptr) return kExitFailure;
    Packed frame;
    std::vector<std::uint8_t> planes;
    std::string message;
    bool ok = true;
    // Signals wait until the command is done (it runs held): one that
    // arrives ends the grab at the next frame boundary, the frames so far kept.
    for (std::uint32_t i = 0; i < a.value[kFrames] && ok && !interrupted(); ++i) {
        // A frame is two fields: both have been written after two field boundaries.
        WaitVSync();
        WaitVSync();
        read_frame(c, g, frame);
        if (out)
            write_y4m_frame(out, frame, g, planes);
        else
            ok = write_png_frame(path, frame, g, message);
    }
    if (out == stdout) {
        ok = std::fflush(out) == 0 && !std::ferror(out);
        if (!ok) message = "cannot write " + path + ": " + std::strerror(errno);
    } else if (out) {
        ok = file.commit(message);
    }
    if (!ok) error(kExitFailure, "grab: %s", message.c_str());
    return ok ? kExitOk : kExitFailure;
}

int grab(const Options &options, const Args &a) {
    return grab::with_source(a.given[kSource] ? a.text[kSource] : std::string_view(), options, a,
                             grab_frames);
}

int screenshot(const Options &, const Args &a) {
    return grab::screenshot(std::string(a.text[0]));
}

int check_screenshot(const Options &, const Args &a) {
    if (!grab::kHasSource)
        return error(kExitUsage,
                     "screenshot: the screen picture comes from the simulated controller; use --sim");
    if (!a.text[0].ends_with(".png")) return error(kExitUsage, "screenshot: FILE must end in .png");
    return kExitOk;
}

constexpr ArgSpec kGrabArgs[] = {
    {"--engine", ArgSpec::Kind::Option, 0, 1},
    {"--frames", ArgSpec::Kind::Option, 1, 10000, nullptr, true, 1},
    {"--format", ArgSpec::Kind::Option, 0, 0, "y4m|png", true, kY4m},
    {"-o", ArgSpec::Kind::Path, 0, 0, "FILE|-"},
    {"--source", ArgSpec::Kind::Path, 0, 0, "pal|ntsc|none|FILE"},
};
constexpr ArgSpec kScreenshotArgs[] = {{"FILE.png", ArgSpec::Kind::Text}};

constexpr Command kCommands[] = {
    {.name = "grab",
     .args = kGrabArgs,
     .handler = grab,
     .help =
         "write the captured frames (y4m to FILE or - for standard output, or one png); --source with --sim",
     .prepare = check},
    {.name = "screenshot",
     .args = kScreenshotArgs,
     .handler = screenshot,
     .help = "(--sim) write the screen as the display shows it to a PNG picture",
     .prepare = check_screenshot},
};

} // namespace

std::span<const Command> grab_commands() {
    return kCommands;
}

} // namespace kova::ctl
