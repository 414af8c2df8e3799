#include "shell/SdlShellServices.h"

#include <SDL.h>

#include "platform/SdlInput.h"
#include "platform/SdlWindow.h"
#include "shell/Errors.h"

namespace qm {

std::uint32_t SdlShellServices::Milliseconds() { return SdlWindow::Milliseconds(); }

void SdlShellServices::PostQuit(int exitCode) { window_.PostQuit(exitCode); }

void SdlShellServices::SetCapture(bool capture) { window_.SetCapture(capture); }

Rect SdlShellServices::WindowRect() { return window_.OuterRect(); }

std::int32_t InitInput(Shell& shell, SdlWindow& window) {
    // Keyboard and mouse state come with SDL's event subsystem; without a
    // keyboard state there is nothing to read.
    if (!SDL_WasInit(SDL_INIT_EVENTS) || !SDL_GetKeyboardState(nullptr)) return kEFail;
    shell.input = std::make_unique<SdlInputDevices>(window);
    shell.input->Acquire();
    return 0;
}

}  // namespace qm
