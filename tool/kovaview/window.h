// The viewer's window: the screen scaled to fit with its aspect kept, the
// status in the title, and the keys.  Built with SDL2 where the build has
// it; without, there is no window and the viewer runs headless.
#pragma once

#include "picture.h"

#include <memory>
#include <string>

namespace kova::view {

// What the user asked for: q or Escape or a closed window, p, n, s, f.
enum class Command { None, Quit, Pause, Step, Snapshot, FullScreen };

class Window {
  public:
    Window();
    ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    // Whether this build has windows at all.
    static bool supported();

    // Opens a window of the given size (scale 1); `integer_scale` keeps the
    // picture at whole multiples when the window grows, else it is scaled
    // smoothly.  False with `error` set when there is no display.
    bool open(int width, int height, bool integer_scale, std::string &error);
    // Shows the picture (a new size changes the picture's, not the window's).
    void show(const kova::picture::Image &screen);
    void set_title(const std::string &title);
    void toggle_full_screen();
    // The next command, waiting for it up to `timeout_ms` (0: only what is
    // there already).  A window uncovered is shown again meanwhile.
    Command next(int timeout_ms);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace kova::view
