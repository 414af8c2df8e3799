#include "shell/SdlShellServices.h"

#include "base/Errors.h"
#include "platform/SdlInput.h"
#include "platform/SdlWindow.h"

namespace qm {

std::uint32_t SdlShellServices::Milliseconds() { return SdlWindow::Milliseconds(); }

void SdlShellServices::PostQuit(int exitCode) { window_.PostQuit(exitCode); }

void SdlShellServices::SetCapture(bool capture) { window_.SetCapture(capture); }

Rect SdlShellServices::WindowRect() { return window_.OuterRect(); }

bool SdlShellServices::QuitPending() { return window_.QuitPending(); }

std::int32_t InitInput(Shell& shell, SdlWindow& window) {
    shell.input = SdlInputDevices::Create(window);
    if (!shell.input) return kEFail;
    shell.input->Acquire();
    return 0;
}

}  // namespace qm
