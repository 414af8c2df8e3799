#pragma once
// Textures from ".bmp" files.

#include <optional>
#include <string>

#include "device/Device.h"

namespace qm {

// The pixels of a BMP file, top row first; nothing when it cannot be read.
std::optional<Image> LoadBmp(const std::string& path);

// Loads the BMP file into a texture of the device; 0 (no texture) when the
// file is missing or unreadable, which callers treat as "draw untextured".
TextureHandle LoadTextureFromFile(Device& device, const std::string& path);

}  // namespace qm
