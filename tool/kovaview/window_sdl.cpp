// The window through SDL2: a streaming RGB texture the size of the screen,
// drawn at the renderer's logical size (the picture scaled to fit, aspect
// kept, bars beside it).
#include "window.h"

#include <SDL.h>

#include <cstdlib>
#include <string>

namespace kova::view {

struct Window::Impl {
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    SDL_Texture *texture = nullptr;
    int width = 0, height = 0; // the texture's
    bool full_screen = false;

    ~Impl() {
        if (texture) SDL_DestroyTexture(texture);
        if (renderer) SDL_DestroyRenderer(renderer);
        if (window) SDL_DestroyWindow(window);
        if (window) SDL_Quit();
    }

    bool fit(int w, int h) {
        if (texture && w == width && h == height) return true;
        if (texture) SDL_DestroyTexture(texture);
        texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB24, SDL_TEXTUREACCESS_STREAMING, w, h);
        width = w, height = h;
        return texture != nullptr && SDL_RenderSetLogicalSize(renderer, w, h) == 0;
    }

    void present() const {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        if (texture) SDL_RenderCopy(renderer, texture, nullptr, nullptr);
        SDL_RenderPresent(renderer);
    }
};

Window::Window() = default;
Window::~Window() = default;

bool Window::supported() {
    return true;
}

bool Window::open(int width, int height, bool integer_scale, std::string &error) {
    // The viewer ends cleanly on SIGINT and SIGTERM itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, integer_scale ? "nearest" : "linear");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = std::string("no window: ") + SDL_GetError();
        return false;
    }
    // Without a display SDL falls back to windows that nobody sees: those
    // only when asked for by name (SDL_VIDEODRIVER).
    const std::string driver = SDL_GetCurrentVideoDriver();
    if ((driver == "offscreen" || driver == "dummy") && std::getenv("SDL_VIDEODRIVER") == nullptr) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        error = "no window: no display (DISPLAY or WAYLAND_DISPLAY)";
        return false;
    }
    impl_ = std::make_unique<Impl>();
    impl_->window = SDL_CreateWindow("kovaview", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                                     height, SDL_WINDOW_RESIZABLE);
    if (impl_->window) impl_->renderer = SDL_CreateRenderer(impl_->window, -1, 0);
    if (impl_->renderer) SDL_RenderSetIntegerScale(impl_->renderer, integer_scale ? SDL_TRUE : SDL_FALSE);
    if (!impl_->renderer || !impl_->fit(width, height)) {
        error = std::string("no window: ") + SDL_GetError();
        impl_.reset();
        return false;
    }
    return true;
}

void Window::show(const kova::picture::Image &screen) {
    if (!impl_ || !impl_->fit(screen.width, screen.height)) return;
    SDL_UpdateTexture(impl_->texture, nullptr, screen.rgb.data(), screen.width * 3);
    impl_->present();
}

void Window::set_title(const std::string &title) {
    if (impl_) SDL_SetWindowTitle(impl_->window, title.c_str());
}

void Window::toggle_full_screen() {
    if (!impl_) return;
    impl_->full_screen = !impl_->full_screen;
    SDL_SetWindowFullscreen(impl_->window, impl_->full_screen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

namespace {

Command command_of(const SDL_Event &event) {
    if (event.type == SDL_QUIT) return Command::Quit;
    if (event.type != SDL_KEYDOWN || event.key.repeat) return Command::None;
    switch (event.key.keysym.sym) {
    case SDLK_q:
    case SDLK_ESCAPE:
        return Command::Quit;
    case SDLK_p:
        return Command::Pause;
    case SDLK_n:
        return Command::Step;
    case SDLK_s:
        return Command::Snapshot;
    case SDLK_f:
        return Command::FullScreen;
    default:
        return Command::None;
    }
}

} // namespace

Command Window::next(int timeout_ms) {
    if (!impl_) return Command::None;
    SDL_Event event;
    for (int got = SDL_WaitEventTimeout(&event, timeout_ms); got; got = SDL_PollEvent(&event)) {
        if (event.type == SDL_WINDOWEVENT && (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                                              event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED))
            impl_->present(); // the texture still holds the picture
        if (const Command command = command_of(event); command != Command::None) return command;
    }
    return Command::None;
}

} // namespace kova::view
