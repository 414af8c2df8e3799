#include "platform/TextureLoader.h"

#include <SDL.h>
#include <stb_image.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/Diagnostics.h"

namespace qm {
namespace {

std::uint32_t Read16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8;
}
std::uint32_t Read32(std::span<const std::uint8_t> b, std::size_t at) {
    return Read16(b, at) | Read16(b, at + 2) << 16;
}

// Enough of a file for PlausibleHeader.
constexpr std::size_t kHeaderBytes = 34;

std::nullopt_t Refuse(std::string* why, std::string reason) {
    if (why) *why = std::move(reason);
    return std::nullopt;
}

// The header's claims against the size of the file, before any decoder
// allocates for them: a side past kMaxTextureSide, or more pixel data than
// the file can hold, is refused.
// `file` holds at least the first kHeaderBytes of a file of `fileSize` bytes.
bool PlausibleHeader(std::span<const std::uint8_t> file, std::uint64_t fileSize, std::string* why) {
    if (file.size() < 26 || file[0] != 'B' || file[1] != 'M')
        return Refuse(why, "it is not a BMP file"), false;
    const std::uint32_t dataOffset = Read32(file, 10);
    const std::uint32_t headerSize = Read32(file, 14);
    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = 0;
    if (headerSize == 12) {  // OS/2: 16-bit sides
        width = Read16(file, 18);
        height = Read16(file, 20);
        bits = Read16(file, 24);
    } else if (headerSize >= 40 && file.size() >= 34) {
        width = static_cast<std::int32_t>(Read32(file, 18));
        height = static_cast<std::int32_t>(Read32(file, 22));
        bits = Read16(file, 28);
        compression = Read32(file, 30);
    } else {
        return Refuse(why, "its header is of no known size"), false;
    }
    if (height < 0) height = -height;  // top-down rows
    if (width <= 0 || height <= 0 || width > kMaxTextureSide || height > kMaxTextureSide) {
        return Refuse(why, FormatString("it claims %lld x %lld pixels; a side must be 1 to %d",
                                        static_cast<long long>(width), static_cast<long long>(height),
                                        kMaxTextureSide)),
               false;
    }
    if (dataOffset > fileSize) return Refuse(why, "its pixel data starts past its end"), false;
    const std::uint64_t available = fileSize - dataOffset;
    std::uint64_t needed = 0;
    if (compression == 1 || compression == 2) {
        // Run-length: two bytes give at most 255 pixels.
        needed = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) / 255 * 2;
    } else {
        const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
        needed = rowBytes * static_cast<std::uint64_t>(height);
    }
    if (needed > available) {
        return Refuse(why, FormatString("it claims %lld x %lld pixels but holds only %llu bytes of them",
                                        static_cast<long long>(width), static_cast<long long>(height),
                                        static_cast<unsigned long long>(available))),
               false;
    }
    return true;
}

Image Opaque(int width, int height, const std::uint8_t* rgb, std::size_t pitch, int bytesPerPixel) {
    Image image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = rgb + static_cast<std::size_t>(y) * pitch;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p =
                row + static_cast<std::size_t>(x) * static_cast<std::size_t>(bytesPerPixel);
            // The scene draws textures as colour only: every texel is opaque.
            image.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                         static_cast<std::size_t>(x)] = 0xFF000000u | static_cast<std::uint32_t>(p[0]) << 16 |
                                                        static_cast<std::uint32_t>(p[1]) << 8 | p[2];
        }
    }
    return image;
}

}  // namespace

// stb_image reads the bit-field and 16-bit variants exactly; SDL reads the
// run-length ones stb_image leaves out. Either is asked for RGB, top row first.
std::optional<Image> DecodeBmp(std::span<const std::uint8_t> file, std::string* why) {
    if (!PlausibleHeader(file, file.size(), why)) return std::nullopt;
    int width = 0, height = 0, channels = 0;
    if (stbi_uc* rgb = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &width, &height,
                                             &channels, 3)) {
        Image image = Opaque(width, height, rgb, static_cast<std::size_t>(width) * 3, 3);
        stbi_image_free(rgb);
        return image;
    }
    const std::string stbReason = stbi_failure_reason() ? stbi_failure_reason() : "unknown";
    SDL_Surface* loaded = SDL_LoadBMP_RW(SDL_RWFromConstMem(file.data(), static_cast<int>(file.size())), 1);
    SDL_Surface* rgb = loaded ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0) : nullptr;
    if (loaded) SDL_FreeSurface(loaded);
    if (!rgb) return Refuse(why, "it cannot be decoded (" + stbReason + "; " + SDL_GetError() + ")");
    SDL_LockSurface(rgb);
    Image image = Opaque(rgb->w, rgb->h, static_cast<const std::uint8_t*>(rgb->pixels),
                         static_cast<std::size_t>(rgb->pitch), 3);
    SDL_UnlockSurface(rgb);
    SDL_FreeSurface(rgb);
    return image;
}

std::optional<Image> LoadBmp(const std::string& path, std::string* why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Refuse(why, std::strerror(errno));
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return Refuse(why, "it cannot be read");
    // The header's claims are checked before the file is read whole.
    std::uint8_t header[kHeaderBytes] = {};
    in.seekg(0);
    in.read(reinterpret_cast<char*>(header), sizeof header);
    if (!PlausibleHeader(std::span(header, static_cast<std::size_t>(in.gcount())),
                         static_cast<std::uint64_t>(size), why)) {
        return std::nullopt;
    }
    in.clear();
    in.seekg(0);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return Refuse(why, "it cannot be read");
    return DecodeBmp(bytes, why);
}

TextureHandle LoadTextureFromFile(Device& device, const std::string& path, const Diagnostics& diagnostics) {
    std::string why;
    std::optional<Image> image = LoadBmp(path, &why);
    if (!image) {
        diagnostics.DebugPrint("cannot load texture %s: %s; drawing without it\n", Printable(path).c_str(),
                               why.c_str());
        return 0;
    }
    return device.CreateTexture(*image);
}

}  // namespace qm
