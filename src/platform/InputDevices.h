#pragma once
// The keyboard and the mouse as the frame reads them: immediate state once a
// frame, not events. The key bytes are indexed by the scan codes of the
// standard PC keyboard (set 1, as DirectInput numbers them); a key is held when
// the high bit of its byte is set. The mouse reports its motion since the last
// read and its buttons.

#include <array>
#include <cstdint>

#include "base/KeyCodes.h"

namespace qm {

inline constexpr std::uint8_t kKeyDown = 0x80;

using KeyboardState = std::array<std::uint8_t, 256>;

// The 16-byte standard mouse record: relative motion and four button bytes
// (left, right, middle, fourth).
struct MouseState {
    std::int32_t lX = 0, lY = 0, lZ = 0;
    std::array<std::uint8_t, 4> rgbButtons{};
};
static_assert(sizeof(MouseState) == 16);

inline bool IsHeld(const KeyboardState& keys, std::uint8_t scanCode) {
    return (keys[scanCode] & kKeyDown) != 0;
}

class InputDevices {
  public:
    virtual ~InputDevices() = default;
    // Each read fails while the devices cannot be read (the window is not in
    // front); the caller then acquires them again.
    virtual bool ReadMouse(MouseState& state) = 0;
    virtual bool ReadKeyboard(KeyboardState& state) = 0;
    virtual void Acquire() = 0;
};

}  // namespace qm
