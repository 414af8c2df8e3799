#pragma once
// Frames kept as files: the screenshot P saves, and the frames of a video.
// Both read the back buffer of the OpenGL device once the frame is drawn and
// before it is presented.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace qm {

class Device;
struct Image;

// "quillmoth-20260412-153005.png": the screenshot's name at local time `when`.
std::string ScreenshotName(std::time_t when);

// Saves the back buffer of `device` as a PNG file (a BMP file when `path`
// ends in ".bmp"). False, with the reason in `why`, when it cannot: the
// device is no OpenGL device, or the file cannot be written.
bool SaveFrame(const Device& device, const std::string& path, std::string& why);

// The back buffer of `device` as rows of red, green, blue bytes, top row
// first, cut to even width and height (what a video encoder takes). False
// when the device is no OpenGL device.
bool ReadFrameRgb(const Device& device, std::vector<std::uint8_t>& rgb, int& width, int& height);

}  // namespace qm
