#include "shell/FrameCapture.h"

#include "platform/GlDevice.h"

namespace qm {

std::string ScreenshotName(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char name[64];
    std::strftime(name, sizeof name, "quillmoth-%Y%m%d-%H%M%S.png", &local);
    return name;
}

bool SaveFrame(const Device& device, const std::string& path, std::string& why) {
    const auto* gl = dynamic_cast<const GlDevice*>(&device);
    if (!gl) {
        why = "screenshots need the OpenGL device";
        return false;
    }
    return gl->SaveBackBuffer(path, &why);
}

bool ReadFrameRgb(const Device& device, std::vector<std::uint8_t>& rgb, int& width, int& height) {
    const auto* gl = dynamic_cast<const GlDevice*>(&device);
    if (!gl) return false;
    const Image image = gl->ReadBackBuffer();
    // 4:2:0 video wants even sizes: an odd last column or row is left out.
    width = image.width & ~1;
    height = image.height & ~1;
    rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    std::uint8_t* out = rgb.data();
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row =
            &image.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width)];
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            *out++ = static_cast<std::uint8_t>(p >> 16);
            *out++ = static_cast<std::uint8_t>(p >> 8);
            *out++ = static_cast<std::uint8_t>(p);
        }
    }
    return true;
}

}  // namespace qm
