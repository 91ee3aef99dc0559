// A build without SDL2: no window; the viewer runs headless.
#include "window.h"

namespace kova::view {

struct Window::Impl {};

Window::Window() = default;
Window::~Window() = default;

bool Window::supported() {
    return false;
}

bool Window::open(int, int, bool, std::string &error) {
    error = "this kovaview was built without SDL2: no window (--y4m and --fields run without one)";
    return false;
}

void Window::show(const kova::picture::Image &) {}
void Window::set_title(const std::string &) {}
void Window::toggle_full_screen() {}

Command Window::next(int) {
    return Command::None;
}

} // namespace kova::view
