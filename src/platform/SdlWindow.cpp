#include "platform/SdlWindow.h"

#include <SDL.h>

#include <cstdio>

#include "base/KeyCodes.h"

namespace qm {

namespace {

// The virtual-key code of a released or pressed key; the window procedure
// acts on Enter, the arrows, Home, P, F1 and F5 only.
std::uint32_t VirtualKey(SDL_Keycode key) {
    switch (key) {
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return kVkReturn;
        case SDLK_UP:
            return kVkUp;
        case SDLK_DOWN:
            return kVkDown;
        case SDLK_LEFT:
            return kVkLeft;
        case SDLK_RIGHT:
            return kVkRight;
        case SDLK_HOME:
            return kVkHome;
        case SDLK_ESCAPE:
            return 27;
        case SDLK_SPACE:
            return 32;
        case SDLK_F1:
            return kVkF1;
        case SDLK_F5:
            return kVkF5;
        case SDLK_BACKSPACE:
            return 8;
        case SDLK_TAB:
            return 9;
        default:
            break;
    }
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<std::uint32_t>('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<std::uint32_t>('0' + (key - SDLK_0));
    return 0;
}

// The pointer position is carried in two 16-bit halves taken as unsigned, so a
// drag beyond the left or top edge reads as 65535 for -1, as the frame expects.
std::uint32_t Low16(int v) { return static_cast<std::uint32_t>(v) & 0xFFFFu; }

}  // namespace

std::unique_ptr<SdlWindow> SdlWindow::Create(const std::string& title, int outerWidth, int outerHeight) {
    // The X11 class name of the window, the counterpart of its window class.
    SDL_setenv("SDL_VIDEO_X11_WMCLASS", title.c_str(), 0);
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "1");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) return nullptr;
    // Without a display SDL falls back to drivers that draw nowhere; a window
    // nobody can see or close is no window.
    const std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
    if (driver == "offscreen" || driver == "dummy") {
        SDL_SetError("no video driver can reach it");
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        return nullptr;
    }

    SDL_DisplayMode mode;
    int screenWidth = outerWidth, screenHeight = outerHeight;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        screenWidth = mode.w;
        screenHeight = mode.h;
    }
    const int x = screenWidth / 2 - outerWidth / 2;
    const int y = screenHeight / 2 - outerHeight / 2;

    // A 24-bit depth buffer where the driver has one, a 16-bit one otherwise:
    // the node shadows lie 0.01 above the floor, finer than 16 bits resolve
    // a few dozen units from the eye.
    const auto createWindow = [&](int depthBits) {
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits);
        return SDL_CreateWindow(title.c_str(), x, y, outerWidth, outerHeight,
                                SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN);
    };
    SDL_Window* window = createWindow(24);
    if (!window) window = createWindow(16);
    if (!window) return nullptr;
    std::unique_ptr<SdlWindow> result(new SdlWindow(window));

    SDL_ShowWindow(window);
    // The size given is the outer size, frame included, so the client area is
    // what is left inside the frame the window manager draws. Without a frame
    // (no window manager) client and outer size are the same.
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) == 0 &&
        (top | left | bottom | right) != 0) {
        SDL_SetWindowSize(window, outerWidth - left - right, outerHeight - top - bottom);
        SDL_SetWindowPosition(window, x + left, y + top);
    }
    // A new application's window comes to the front with the keyboard focus.
    SDL_RaiseWindow(window);
    return result;
}

SdlWindow::SdlWindow(SDL_Window* window) : window_(window) { quitEvent_ = SDL_RegisterEvents(1); }

SdlWindow::~SdlWindow() {
    if (window_) SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

Rect SdlWindow::OuterRect() const {
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window_, &x, &y);
    SDL_GetWindowSize(window_, &w, &h);
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) != 0) top = left = bottom = right = 0;
    return {x - left, y - top, x + w + right, y + h + bottom};
}

bool SdlWindow::HasInputFocus() const { return SDL_GetKeyboardFocus() == window_; }

// SDL already captures the mouse for as long as a button is held (the
// auto-capture hint set at creation), which is exactly what is asked here.
// Capturing once more by hand grabs the X11 pointer a second time, and the
// motion of the drag is then lost.
void SdlWindow::SetCapture(bool capture) { (void)capture; }

bool SdlWindow::PeekMessage(WindowMessage& message) {
    SDL_Event event;
    if (!SDL_PollEvent(&event)) return false;
    message = WindowMessage{};
    if (event.type == quitEvent_) {
        message.type = WindowMessage::Type::Quit;
        message.key = static_cast<std::uint32_t>(event.user.code);
        return true;
    }
    switch (event.type) {
        case SDL_QUIT:
            message.type = WindowMessage::Type::Destroy;
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) message.type = WindowMessage::Type::Size;
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) message.type = WindowMessage::Type::Destroy;
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            message.type =
                event.type == SDL_KEYUP ? WindowMessage::Type::KeyUp : WindowMessage::Type::KeyDown;
            message.key = VirtualKey(event.key.keysym.sym);
            break;
        case SDL_MOUSEMOTION:
            message.type = WindowMessage::Type::MouseMove;
            message.x = Low16(event.motion.x);
            message.y = Low16(event.motion.y);
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (event.button.button == SDL_BUTTON_LEFT) message.type = WindowMessage::Type::LButtonDown;
            break;
        case SDL_MOUSEBUTTONUP:
            if (event.button.button == SDL_BUTTON_LEFT) message.type = WindowMessage::Type::LButtonUp;
            break;
        case SDL_DROPBEGIN:
            inDrop_ = true;
            dropTaken_ = false;
            break;
        case SDL_DROPCOMPLETE:
            inDrop_ = false;
            break;
        case SDL_DROPFILE:
            // One drop of several files is one message naming the first of them.
            if (!inDrop_ || !dropTaken_) {
                message.type = WindowMessage::Type::DropFiles;
                message.file = event.drop.file ? event.drop.file : "";
                dropTaken_ = true;
            }
            SDL_free(event.drop.file);
            break;
        default:
            break;
    }
    return true;
}

void SdlWindow::PostQuit(int exitCode) {
    SDL_Event event{};
    event.type = quitEvent_;
    event.user.code = exitCode;
    SDL_PushEvent(&event);
}

bool SdlWindow::QuitPending() {
    SDL_PumpEvents();
    if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT) > 0) return true;
    SDL_Event events[64];
    int count = SDL_PeepEvents(events, 64, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
    for (int i = 0; i < count; ++i) {
        if (events[i].window.event == SDL_WINDOWEVENT_CLOSE) return true;
    }
    // A tap of Escape shorter than a long step shows only as its press.
    count = SDL_PeepEvents(events, 64, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN);
    for (int i = 0; i < count; ++i) {
        if (events[i].key.keysym.scancode == SDL_SCANCODE_ESCAPE) return true;
    }
    return HasInputFocus() && SDL_GetKeyboardState(nullptr)[SDL_SCANCODE_ESCAPE] != 0;
}

std::uint32_t SdlWindow::Milliseconds() { return SDL_GetTicks(); }

std::string SdlWindow::LastError() { return SDL_GetError(); }

void ShowMessageBox(const std::string& text, const char* caption) {
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption ? caption : "Error", text.c_str(), nullptr) !=
        0) {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}

}  // namespace qm
