#pragma once
// The text drawer: draws UTF-8 strings over the scene in back-buffer pixels,
// with the calling convention of the D3DX font (a rectangle, format flags and
// an ARGB colour). TtfFont draws with SDL2_ttf; tests use a recording one.

#include <cstdint>
#include <string_view>

#include "device/DeviceTypes.h"

namespace qm {

// Format flags of DrawText.
inline constexpr std::uint32_t kDtTop = 0x0000;
inline constexpr std::uint32_t kDtLeft = 0x0000;
inline constexpr std::uint32_t kDtBottom = 0x0008;
inline constexpr std::uint32_t kDtSingleLine = 0x0020;
inline constexpr std::uint32_t kDtCalcRect = 0x0400;

class Font {
  public:
    virtual ~Font() = default;

    // With kDtCalcRect nothing is drawn: rect's right and bottom are set to
    // enclose the text placed at rect's left and top. Otherwise the text is
    // drawn in rect with `color`. Returns the height of the text in pixels.
    virtual int DrawText(std::string_view text, Rect& rect, std::uint32_t format, std::uint32_t color) = 0;
};

}  // namespace qm
