// SPDX-License-Identifier: MIT
// The picture: the virtual VGA's screen memory through its palette registers, in a window
// that keeps the 4:3 shape at any size.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "machine.h"
#include "sdl.h"

namespace sdl {
namespace {

namespace machine = platform::machine;
using machine::kHeight;
using machine::kWidth;

SDL_Window* window = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
std::int64_t frame_us = 16667;  // one display refresh
bool texture_made = false;      // a window was shown this run

// Where the 4:3 picture lies in a w x h area, with black bars for the rest: as large as fits,
// or with `--scale integer` the largest whole multiple of 640x480 that fits (scaled down to
// fit when not even one does).
SDL_Rect fit(int w, int h) {
    double scale = std::min(w / double{kWidth}, h / double{kHeight});
    if (scale >= 1 && settings().scale == Scale::integer) scale = std::floor(scale);
    int pw = static_cast<int>(std::lround(kWidth * scale));
    int ph = static_cast<int>(std::lround(kHeight * scale));
    return {(w - pw) / 2, (h - ph) / 2, pw, ph};
}

SDL_Texture* sharp = nullptr;  // the picture at a whole multiple, nearest neighbour
int sharp_factor = 0;

bool make_sharp(int factor) {
    if (sharp != nullptr && sharp_factor == factor) return true;
    if (sharp != nullptr) SDL_DestroyTexture(sharp);
    sharp_factor = factor;
    sharp = SDL_RenderTargetSupported(renderer)
                ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, kWidth * factor,
                                    kHeight * factor)
                : nullptr;
    if (sharp != nullptr) SDL_SetTextureScaleMode(sharp, SDL_ScaleModeLinear);
    return sharp != nullptr;
}

// The texture to stretch over `place`. Linear filtering straight from 640x480 would blur
// every pixel's edges; nearest neighbour alone makes rows and columns of uneven widths. So
// the picture goes up by the largest whole factor with nearest neighbour, and only the rest
// of the way, less than one step, with linear filtering.
SDL_Texture* scaled_picture(const SDL_Rect& place) {
    int factor = std::min(place.w / kWidth, place.h / kHeight);
    bool whole = place.w == kWidth * factor && place.h == kHeight * factor;
    SDL_SetTextureScaleMode(texture, whole ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
    if (whole || factor < 2 || !make_sharp(factor)) return texture;
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
    SDL_SetRenderTarget(renderer, sharp);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    SDL_SetRenderTarget(renderer, nullptr);
    return sharp;
}

// The first window: as it was last left, when that still fits on the desktop, or else the
// largest whole multiple of 640x480 that leaves room there.
void initial_size(int& w, int& h) {
    SDL_Rect desk{0, 0, kWidth, kHeight};
    SDL_GetDisplayUsableBounds(0, &desk);
    const Settings& last = settings();
    if (last.width > 0 && last.height > 0 && last.width <= desk.w && last.height <= desk.h) {
        w = last.width;
        h = last.height;
        return;
    }
    int scale = std::max(1, std::min(desk.w * 9 / 10 / kWidth, desk.h * 9 / 10 / kHeight));
    w = kWidth * scale;
    h = kHeight * scale;
}

bool full_screen() { return (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0; }

// The settings to remember: the window's size only while it is a window.
void note_window() {
    settings().full_screen = full_screen();
    if (!settings().full_screen) SDL_GetWindowSize(window, &settings().width, &settings().height);
}

}  // namespace

bool open_window() {
    int w = 0, h = 0;
    initial_size(w, h);
    // Hidden until its renderer is made: SDL may make the window again for it, which would
    // show one window and then another.
    Uint32 flags =
        SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN | (settings().full_screen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    window = SDL_CreateWindow("brin", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h, flags);
    if (window != nullptr) set_icon(window);
    renderer = window ? SDL_CreateRenderer(window, -1, 0) : nullptr;
    texture = renderer
                  ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight)
                  : nullptr;
    if (texture == nullptr) {
        std::fprintf(stderr, "brin: no window: %s\n", SDL_GetError());
        close_window();
        return false;
    }
    texture_made = true;
    SDL_ShowWindow(window);
    SDL_DisplayMode mode{};
    if (SDL_GetWindowDisplayMode(window, &mode) == 0 && mode.refresh_rate > 0) frame_us = 1000000 / mode.refresh_rate;
    SDL_ShowCursor(SDL_DISABLE);
    return true;
}

void close_window() {
    if (window != nullptr) note_window();
    if (sharp != nullptr) SDL_DestroyTexture(sharp);
    sharp = nullptr;
    if (texture != nullptr) SDL_DestroyTexture(texture);
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    if (window != nullptr) SDL_DestroyWindow(window);
    texture = nullptr;
    renderer = nullptr;
    window = nullptr;
}

bool window_ever_opened() { return texture_made; }
SDL_Window* picture_window() { return window; }

std::int64_t refresh_us() { return frame_us; }

void toggle_full_screen() {
    note_window();
    SDL_SetWindowFullscreen(window, full_screen() ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
    machine::redraw();
}

SDL_Rect picture_place() {
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    return fit(w, h);
}

void show(const std::uint32_t* pixels, int top, int rows) {
    SDL_Rect changed{0, top, kWidth, rows};
    SDL_UpdateTexture(texture, &changed, pixels + top * kWidth, kWidth * 4);
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    SDL_Rect place = fit(w, h);
    SDL_Texture* picture = scaled_picture(place);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, picture, nullptr, &place);
    SDL_RenderPresent(renderer);
    send_x_requests();
}

}  // namespace sdl
