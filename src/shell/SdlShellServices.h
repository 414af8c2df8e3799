#pragma once
// The shell's desktop services on the SDL2 window.

#include "shell/Shell.h"

namespace qm {

class SdlWindow;

class SdlShellServices : public ShellServices {
  public:
    explicit SdlShellServices(SdlWindow& window) : window_(window) {}
    std::uint32_t Milliseconds() override;
    void PostQuit(int exitCode) override;
    void SetCapture(bool capture) override;
    Rect WindowRect() override;
    bool QuitPending() override;

  private:
    SdlWindow& window_;
};

// Creates the keyboard and mouse devices for the window: 0 on success,
// negative when they cannot be made (the process then ends at once).
std::int32_t InitInput(Shell& shell, SdlWindow& window);

}  // namespace qm
