#pragma once
// The keyboard and mouse read as immediate state from SDL2, in the terms of
// InputDevices: scan-code bytes of the standard PC keyboard and the relative
// mouse record.

#include <memory>

#include "platform/InputDevices.h"

namespace qm {

class SdlWindow;

class SdlInputDevices : public InputDevices {
  public:
    // Null when SDL has no keyboard state to read (its event subsystem is not running).
    static std::unique_ptr<SdlInputDevices> Create(const SdlWindow& window);
    explicit SdlInputDevices(const SdlWindow& window) : window_(window) {}

    // Both reads fail while the window does not have the keyboard focus: the
    // devices are read only while the window is in front.
    bool ReadMouse(MouseState& state) override;
    bool ReadKeyboard(KeyboardState& state) override;
    // Drops the motion gathered while the devices could not be read.
    void Acquire() override;

  private:
    const SdlWindow& window_;
};

}  // namespace qm
