#include "shell/WndProc.h"

#include "base/KeyCodes.h"
#include "shell/Shell.h"

namespace qm {

namespace {

void KeyReleased(Shell& shell, std::uint32_t key) {
    ShellState& s = shell.state;
    switch (key & 0xFF) {
        case kVkReturn:
            if (shell.tester) shell.tester->KeyDown(kPauseKey);
            break;
        case kVkUp:
            if (s.replaying) {
                if (shell.tester) shell.tester->KeyDown(kVkUp);
                break;
            }
            ++s.stepsPerFrame;
            break;
        case kVkDown:
            if (s.replaying) {
                if (shell.tester) shell.tester->KeyDown(kVkDown);
                break;
            }
            --s.stepsPerFrame;
            if (s.stepsPerFrame < 1) s.stepsPerFrame = 1;
            break;
        case kVkLeft:
        case kVkRight:
        case kVkHome:
            if (s.replaying && shell.tester) shell.tester->KeyDown(static_cast<int>(key & 0xFF));
            break;
        case kVkP:
            s.screenshotRequested = true;
            break;
        case kVkF1:
            shell.readout.shown = !shell.readout.shown;
            break;
        case kVkF2:
            s.overlayShown = !s.overlayShown;
            break;
        case kVkF5:
            s.checkpointRequested = true;
            break;
        default:
            break;
    }
}

}  // namespace

void WndProc(Shell& shell, const WindowMessage& message) {
    ShellState& s = shell.state;
    switch (message.type) {
        case WindowMessage::Type::Destroy:
            shell.services->PostQuit(0);
            break;
        case WindowMessage::Type::Size:
            // The outer frame's size, not the client area's; before the driver
            // exists (while the window is being made) nothing changes.
            if (shell.tester) {
                const Rect r = shell.services->WindowRect();
                s.windowWidth = r.right - r.left;
                s.windowHeight = r.bottom - r.top;
                shell.tester->Resize(s.windowWidth, s.windowHeight);
            }
            break;
        case WindowMessage::Type::KeyUp:
            KeyReleased(shell, message.key);
            break;
        case WindowMessage::Type::MouseMove:
            s.pointerX = static_cast<std::int32_t>(message.x & 0xFFFF);
            s.pointerY = static_cast<std::int32_t>(message.y & 0xFFFF);
            break;
        case WindowMessage::Type::LButtonDown:
            s.pickArmed = true;
            shell.services->SetCapture(true);
            break;
        case WindowMessage::Type::LButtonUp:
            s.pickArmed = false;
            shell.services->SetCapture(false);
            break;
        case WindowMessage::Type::DropFiles:
            s.droppedFileName = message.file.substr(0, kDropNameBuffer - 1);
            s.resetRequested = true;
            break;
        default:
            break;
    }
}

}  // namespace qm
