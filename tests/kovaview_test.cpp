// kovaview as a user runs it: headless, its y4m stream and capview's output
// are kovasim's for the same run; under an X server (Xvfb), its window at
// scale 1 shows the picture kovasim writes, and the snapshot key writes that
// picture's PNG.
#include "kovasim_run.h"
#include "program_run.h"
#include "register_owner.h"
#include "scratch_dir.h"
#include "picture.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Kovaview, HeadlessStreamIsKovasimsForTheSameRun) {
    const struct {
        std::vector<std::string> options;
        std::vector<std::string> capview;
    } cases[] = {
        {{"--no-pacing"}, {"-b", "-x", "100", "-y", "50"}},
        {{"--source", "ntsc"}, {"-d"}}, // paced: 50 NTSC fields take 0.83 s
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.options[0]);
        const ScratchDir dir;
        std::vector<std::string> view = c.options, sim = c.options;
        sim.erase(std::remove(sim.begin(), sim.end(), "--no-pacing"), sim.end());
        view.insert(view.end(), {"--fields", "50", "--y4m", dir / "view.y4m", "--"});
        sim.insert(sim.end(), {"--frames", "50", "--y4m", dir / "sim.y4m", "--"});
        view.insert(view.end(), c.capview.begin(), c.capview.end());
        sim.insert(sim.end(), c.capview.begin(), c.capview.end());
        const program_run::Outcome viewed = program_run::run(KOVAVIEW_PATH, view);
        const KovasimRun simulated = run_kovasim(sim, false);
        ASSERT_EQ(viewed.status, 0) << viewed.err;
        EXPECT_EQ(viewed.out, simulated.out);
        EXPECT_NE(viewed.err.find("kovaview: 50 fields in "), std::string::npos) << viewed.err;
        const std::string stream = read_file(dir / "view.y4m");
        const std::uint64_t frame = kova::picture::Y4mWriter::frame_bytes(1024, 768);
        EXPECT_EQ(stream.size() - stream.find('\n') - 1, 50 * frame); // 50 frames after the header
        EXPECT_TRUE(stream == read_file(dir / "sim.y4m"));
    }
}

// A program started in the background, with more environment; ended (by
// SIGTERM, then SIGKILL) when the object goes.
class Process {
  public:
    Process(const std::vector<std::string> &args, const std::vector<std::string> &env, int fd3 = -1,
            const std::string &out = "/dev/null", const std::string &err = "/dev/null") {
        std::vector<std::string> environment = env;
        for (char **e = environ; *e != nullptr; ++e)
            environment.emplace_back(*e); // the first of a name wins
        std::vector<char *> argv, envp;
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        for (const std::string &e : environment)
            envp.push_back(const_cast<char *>(e.c_str()));
        argv.push_back(nullptr), envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd3 >= 0) posix_spawn_file_actions_adddup2(&actions, fd3, 3);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;
    ~Process() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        if (wait(std::chrono::seconds(5)) < 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    }
    bool started() const { return pid_ > 0; }
    // The exit status, or -1 when it has not ended within `limit`.
    int wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (int status = 0; std::chrono::steady_clock::now() < end;) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
};

bool have(const char *tool) {
    return program_run::run("/bin/sh", {"-c", std::string("command -v ") + tool}).status == 0;
}

// Xvfb on a display of its own: ":N", or "" when it did not start.  The
// number is this process's (other test runs may have servers on the low
// numbers), each once only; the server is ready when a client gets in.
std::string start_xvfb(std::unique_ptr<Process> &server) {
    static int started = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::string display = ":" + std::to_string(100 + (getpid() * 7 + started++) % 800);
        server = std::make_unique<Process>(
            std::vector<std::string>{"Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
            std::vector<std::string>{});
        for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
            if (Process({"xdotool", "getmouselocation"}, {"DISPLAY=" + display})
                    .wait(std::chrono::seconds(5)) == 0)
                return display;
        server.reset();
    }
    return "";
}

// A command run to its end within 10 s, under DISPLAY; its standard output.
std::string x_command(const std::string &display, const std::vector<std::string> &args,
                      const ScratchDir &dir) {
    Process p(args, {"DISPLAY=" + display}, -1, dir / "x.out");
    const int status = p.wait(std::chrono::seconds(10));
    std::string out = read_file(dir / "x.out");
    return status == 0 ? out.substr(0, out.find('\n')) : "";
}

// The RGB pixels of a window dump of 32 bits a pixel (xwd's format).
bool read_xwd(const std::string &path, kova::picture::Image &image) {
    const std::string data = read_file(path);
    const auto word = [&](std::size_t i) {
        const auto *p = reinterpret_cast<const unsigned char *>(data.data()) + 4 * i;
        return std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
    };
    if (data.size() < 100 || word(11) != 32) return false; // header size, ..., bits per pixel
    const std::uint32_t header = word(0), width = word(4), height = word(5), line = word(12),
                        colours = word(19);
    const bool msb_first = word(7) == 1;
    if (data.size() < header + colours * 12 + std::size_t{line} * height) return false;
    image.reset(static_cast<int>(width), static_cast<int>(height));
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const char *p = data.data() + header + colours * 12 + std::size_t{line} * y + 4 * x;
            std::uint8_t *to = image.row(static_cast<int>(y)) + 3 * x;
            for (int c = 0; c < 3; ++c) // red, green, blue: bytes 2, 1, 0 of the pixel value
                to[c] = static_cast<std::uint8_t>(p[msb_first ? 1 + c : 2 - c]);
        }
    return true;
}

// The fields capview's run itself passes (before the first field kovaview brings).
std::uint64_t fields_of_capview_run(const std::vector<std::string> &capview) {
    std::vector<std::string> args = {"--frames", "0", "--"};
    args.insert(args.end(), capview.begin(), capview.end());
    const std::string err = run_kovasim(args, false).err;
    const std::size_t at = err.find(" fields, ", err.find("video: "));
    return std::stoull(err.substr(err.rfind(' ', at - 1) + 1));
}

// A scratch directory and an X server of its own for a test of the viewer's
// window; skipped where the viewer has no window or no X server can run.
class KovaviewWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!KOVAVIEW_WINDOW) GTEST_SKIP() << "kovaview built without SDL2: no window to look at";
        for (const char *tool : {"Xvfb", "xdotool", "xwd"})
            if (!have(tool)) GTEST_SKIP() << tool << " not installed: no X server to show the window on";
        display = start_xvfb(server);
        ASSERT_FALSE(display.empty()) << "Xvfb did not start";
    }

    const ScratchDir dir;
    std::unique_ptr<Process> server;
    std::string display;
};

// A viewer's environment on `display`.  The software renderer draws at scale
// 1 exactly; X's libraries keep what they allocate to the end, which is no
// leak of kovaview's.
std::vector<std::string> window_environment(const std::string &display) {
    return {"DISPLAY=" + display, "SDL_RENDER_DRIVER=software", "ASAN_OPTIONS=detect_leaks=0"};
}

// The viewer's window, once it is shown: its X identifier, or "".
std::string viewer_window(const std::string &display, const ScratchDir &dir) {
    return x_command(display, {"xdotool", "search", "--sync", "--name", "^kovaview"}, dir);
}

TEST_F(KovaviewWindow, ShowsKovasimsPictureAndTheSnapshotKeyWritesIt) {
    const std::vector<std::string> capview = {"-b", "-x", "100", "-y", "50"};
    std::vector<std::string> args = {KOVAVIEW_PATH, "--snapshot-dir", dir.path, "--"};
    args.insert(args.end(), capview.begin(), capview.end());
    Process viewer(args, window_environment(display), -1, "/dev/null", dir / "viewer.err");
    const std::string window = viewer_window(display, dir);
    ASSERT_FALSE(window.empty()) << "no kovaview window";
    x_command(display, {"xdotool", "key", "--window", window, "p", "s"}, dir);
    std::string snapshot;
    for (int i = 0; i < 100 && snapshot.empty();
         ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
        for (const auto &entry : std::filesystem::directory_iterator(dir.path))
            if (entry.path().filename().string().starts_with("kovaview-")) snapshot = entry.path().string();
    ASSERT_FALSE(snapshot.empty()) << "the s key wrote no snapshot";
    x_command(display, {"xwd", "-id", window, "-silent", "-out", dir / "window.xwd"}, dir);

    // The snapshot of field F is kovasim's picture after the same fields.
    const std::string name = std::filesystem::path(snapshot).stem().string();
    const std::uint64_t field = std::stoull(name.substr(std::strlen("kovaview-")));
    std::vector<std::string> sim = {"--frames", std::to_string(field - fields_of_capview_run(capview)),
                                    "--png", dir / "sim.png", "--"};
    sim.insert(sim.end(), capview.begin(), capview.end());
    run_kovasim(sim, false);
    EXPECT_TRUE(read_file(snapshot) == read_file(dir / "sim.png")) << snapshot;
    // The window shows those pixels.
    kova::picture::Image shown, picture;
    std::string error;
    ASSERT_TRUE(read_xwd(dir / "window.xwd", shown)) << "no window dump";
    ASSERT_TRUE(kova::picture::read_png(dir / "sim.png", picture, error)) << error;
    EXPECT_EQ(shown.width, picture.width);
    EXPECT_EQ(shown.height, picture.height);
    EXPECT_TRUE(shown.rgb == picture.rgb);

    x_command(display, {"xdotool", "keydown", "--window", window, "q"}, dir);
    EXPECT_EQ(viewer.wait(std::chrono::seconds(5)), 0);
    const std::string err = read_file(dir / "viewer.err");
    EXPECT_NE(err.find("kovaview: snapshot " + snapshot), std::string::npos) << err;
    EXPECT_NE(err.find(" dropped\n  video: PAL test pattern"), std::string::npos) << err;
}

// A card that kovasim's capview run left.
std::string card_left_by_capview(const ScratchDir &dir) {
    const std::string card = dir / "view.card";
    EXPECT_EQ(run_kovasim({"--card", card, "--", "-b", "-x", "100", "-y", "50"}, false).status, 0);
    return card;
}

// The viewer's fields on a card are kovasim's --frames on a copy of it: the
// same stream, and the same card afterwards.
TEST(KovaviewCard, FieldsAreKovasimsFramesOnACopy) {
    for (const std::string how : {"--card", "KOVA_CARD"}) {
        SCOPED_TRACE(how);
        const ScratchDir dir;
        const std::string card = card_left_by_capview(dir), copy = dir / "sim.card";
        std::filesystem::copy_file(card, copy);
        std::vector<std::string> args = {KOVAVIEW_PATH, "--no-pacing", "--fields",
                                         "50",          "--y4m",       dir / "view.y4m"};
        if (how == "--card") args.insert(args.end(), {"--card", card});
        Process viewer(args, {how == "--card" ? "" : "KOVA_CARD=" + card}, -1, "/dev/null", dir / "err");
        ASSERT_EQ(viewer.wait(std::chrono::seconds(30)), 0) << read_file(dir / "err");
        ASSERT_EQ(run_kovasim({"--card", copy, "--frames", "50", "--y4m", dir / "sim.y4m"}, false).status, 0);
        EXPECT_TRUE(read_file(dir / "view.y4m") == read_file(dir / "sim.y4m"));
        EXPECT_TRUE(read_file(card) == read_file(copy));
    }
}

// While another program holds the card's registers the viewer skips fields
// instead of waiting, and brings its fields once they are let go.
TEST(KovaviewCard, SkipsFieldsWhileAnotherProgramHoldsTheRegisters) {
    const ScratchDir dir;
    const std::string card = card_left_by_capview(dir), state = dir / "state";
    // Its desktop painted, so that the viewer has nothing to wait for at its start.
    ASSERT_EQ(run_kovasim({"--card", card, "--frames", "0", "--png", dir / "start.png"}, false).status, 0);
    kova::tool::RegisterOwner other;
    std::string error;
    ASSERT_TRUE(other.acquire(state, "capview", std::chrono::milliseconds(0), error)) << error;
    Process viewer({KOVAVIEW_PATH, "--card", card, "--state-dir", state, "--fields", "5", "--no-window"}, {},
                   -1, "/dev/null", dir / "err");
    EXPECT_EQ(viewer.wait(std::chrono::seconds(2)), -1); // no field brought meanwhile
    other.release();
    ASSERT_EQ(viewer.wait(std::chrono::seconds(10)), 0) << read_file(dir / "err");
    const std::string err = read_file(dir / "err");
    EXPECT_NE(err.find("kovaview: 5 fields in "), std::string::npos) << err;
    EXPECT_NE(err.find(" field periods skipped: another program held the registers"), std::string::npos)
        << err;
}

// A viewer window on a card and the three programs of the walkthrough.
class CardWindow {
  public:
    CardWindow(const ScratchDir &dir, const std::string &display, const std::string &card)
        : dir_(dir), display_(display), card_(card),
          viewer_({KOVAVIEW_PATH, "--card", card, "--snapshot-dir", dir / "shots"},
                  window_environment(display), -1, "/dev/null", dir / "viewer.err") {
        std::filesystem::create_directory(dir / "shots");
        window_ = viewer_window(display, dir);
    }
    const std::string &window() const { return window_; }
    void keys(const std::vector<std::string> &keys) {
        std::vector<std::string> args = {"xdotool", "key", "--window", window_};
        args.insert(args.end(), keys.begin(), keys.end());
        x_command(display_, args, dir_);
    }
    // The snapshot the s key writes now (the older ones removed first).
    std::string snapshot() {
        std::filesystem::remove_all(dir_ / "shots");
        std::filesystem::create_directory(dir_ / "shots");
        keys({"s"});
        for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
            for (const auto &entry : std::filesystem::directory_iterator(dir_ / "shots"))
                if (entry.path().extension() == ".png") return read_file(entry.path());
        return "";
    }
    // What the window shows.
    kova::picture::Image shown() {
        x_command(display_, {"xwd", "-id", window_, "-silent", "-out", dir_ / "window.xwd"}, dir_);
        kova::picture::Image image;
        read_xwd(dir_ / "window.xwd", image);
        return image;
    }
    // kovasim's picture of the card as it is, with no field advanced.
    std::string kovasim_picture(kova::picture::Image &image) {
        EXPECT_EQ(run_kovasim({"--card", card_, "--frames", "0", "--png", dir_ / "sim.png"}, false).status,
                  0);
        std::string error;
        EXPECT_TRUE(kova::picture::read_png(dir_ / "sim.png", image, error)) << error;
        return read_file(dir_ / "sim.png");
    }
    int quit() {
        x_command(display_, {"xdotool", "keydown", "--window", window_, "q"}, dir_);
        return viewer_.wait(std::chrono::seconds(5));
    }

  private:
    const ScratchDir &dir_;
    std::string display_, card_, window_;
    Process viewer_;
};

TEST_F(KovaviewWindow, OnACardShowsKovasimsPictureAndAMovedWindowAtTheNextField) {
    const std::string card = card_left_by_capview(dir);
    CardWindow view(dir, display, card);
    ASSERT_FALSE(view.window().empty()) << "no kovaview window: " << read_file(dir / "viewer.err");
    kova::picture::Image picture[2];
    std::string sim_png[2];
    for (int step = 0; step < 2; ++step) {
        SCOPED_TRACE(step);
        if (step == 1) { // kovactl moves the window while the viewer runs; paused, one field more
            view.keys({"p"});
            const program_run::Outcome moved =
                program_run::run(KOVACTL_PATH, {"--sim", "--card", card, "-y", "overlay", "0", "window",
                                                "300", "200", "1020", "776"});
            EXPECT_EQ(moved.status, 0) << moved.err;
            view.keys({"p", "n"});
        } else {
            view.keys({"p"});
        }
        const std::string snapshot = view.snapshot();
        sim_png[step] = view.kovasim_picture(picture[step]);
        EXPECT_TRUE(snapshot == sim_png[step]);
        const kova::picture::Image shown = view.shown();
        EXPECT_EQ(shown.width, picture[step].width);
        EXPECT_TRUE(shown.rgb == picture[step].rgb);
    }
    EXPECT_FALSE(picture[0].rgb == picture[1].rgb); // the window moved
    EXPECT_EQ(view.quit(), 0);
}

} // namespace
