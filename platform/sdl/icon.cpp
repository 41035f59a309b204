// SPDX-License-Identifier: MIT
// The window's icon: the game's 64x64 PNG, built into the program so that it shows however
// the game was installed or started.
#include <png.h>

#include <vector>

#include "icon_png.h"
#include "sdl.h"

namespace sdl {

void set_icon(SDL_Window* window) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, icon_png, sizeof icon_png) == 0) return;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) return;
    SDL_Surface* icon =
        SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), static_cast<int>(image.width), static_cast<int>(image.height),
                                           32, static_cast<int>(PNG_IMAGE_ROW_STRIDE(image)), SDL_PIXELFORMAT_RGBA32);
    if (icon == nullptr) return;
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
}

}  // namespace sdl
