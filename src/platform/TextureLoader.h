#pragma once
// Textures from ".bmp" files.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "device/Device.h"

namespace qm {

class Diagnostics;

// The largest side of a texture, in pixels; a BMP claiming more is refused
// before anything is allocated for it.
inline constexpr int kMaxTextureSide = 16384;

// The pixels of a BMP file held in memory, top row first, opaque. Every BMP
// variant is read: 1 to 32 bits a pixel, palettes, bit fields, RLE, OS/2 and
// Windows headers. Nothing when it cannot be read; `why` then says why.
std::optional<Image> DecodeBmp(std::span<const std::uint8_t> file, std::string* why);

// The same for a file.
std::optional<Image> LoadBmp(const std::string& path, std::string* why = nullptr);

// Loads the BMP file into a texture of the device. 0 (no texture) when it
// cannot be loaded: the file and the reason go to the debug output, and the
// caller draws its object untextured.
TextureHandle LoadTextureFromFile(Device& device, const std::string& path, const Diagnostics& diagnostics);

}  // namespace qm
