#include "platform/TextureLoader.h"

#include <SDL.h>

namespace qm {

std::optional<Image> LoadBmp(const std::string& path) {
    SDL_Surface* loaded = SDL_LoadBMP(path.c_str());
    if (!loaded) return std::nullopt;
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(loaded);
    if (!argb) return std::nullopt;

    Image image;
    image.width = argb->w;
    image.height = argb->h;
    image.pixels.resize(static_cast<std::size_t>(argb->w) * static_cast<std::size_t>(argb->h));
    SDL_LockSurface(argb);
    for (int y = 0; y < argb->h; ++y) {
        const auto* row =
            reinterpret_cast<const Uint32*>(static_cast<const Uint8*>(argb->pixels) + y * argb->pitch);
        for (int x = 0; x < argb->w; ++x) {
            // BMP files carry no alpha: every texel is opaque.
            image.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(argb->w) +
                         static_cast<std::size_t>(x)] = row[x] | 0xFF000000u;
        }
    }
    SDL_UnlockSurface(argb);
    SDL_FreeSurface(argb);
    return image;
}

TextureHandle LoadTextureFromFile(Device& device, const std::string& path) {
    std::optional<Image> image = LoadBmp(path);
    if (!image) return 0;
    return device.CreateTexture(*image);
}

}  // namespace qm
