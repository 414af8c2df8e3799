#pragma once
// The main window on SDL2: creation at an outer size, centred on the screen,
// its messages translated for the window procedure, the quit request, mouse
// capture and the millisecond clock.

#include <cstdint>
#include <memory>
#include <string>

#include "device/DeviceTypes.h"
#include "platform/WindowMessage.h"

struct SDL_Window;

namespace qm {

class SdlWindow {
  public:
    // Initialises SDL's video, creates the window with the title and the given
    // outer size (frame included) centred on the screen, and shows it. The GL
    // attributes set before this call choose the window's pixel format.
    // Returns null when SDL or the window cannot be made.
    static std::unique_ptr<SdlWindow> Create(const std::string& title, int outerWidth, int outerHeight);
    ~SdlWindow();

    SdlWindow(const SdlWindow&) = delete;
    SdlWindow& operator=(const SdlWindow&) = delete;

    SDL_Window* Handle() const { return window_; }

    // The outer rectangle (frame included) in screen pixels.
    Rect OuterRect() const;
    bool HasInputFocus() const;
    // Keeps the mouse reporting to the window while the left button is held.
    void SetCapture(bool capture);

    // Takes the next message off the queue without waiting; false when it is empty.
    bool PeekMessage(WindowMessage& message);
    // Queues the quit request behind every message already waiting.
    void PostQuit(int exitCode);
    // Whether the user is asking to quit: the window is being closed (its
    // message waits in the queue, left there for the pump) or Escape is down
    // while the window has the keyboard. Cheap enough to ask during a step.
    bool QuitPending();

    static std::uint32_t Milliseconds();
    // What SDL said about the last thing that failed.
    static std::string LastError();

  private:
    explicit SdlWindow(SDL_Window* window);

    SDL_Window* window_ = nullptr;
    std::uint32_t quitEvent_ = 0;
    bool inDrop_ = false;     // between the begin and the end of a drop
    bool dropTaken_ = false;  // the first file of this drop has been passed on
};

// A modal box with one OK button. An empty caption gives an empty title bar;
// a null caption the system's default ("Error"). Without a display the text
// goes to standard error.
void ShowMessageBox(const std::string& text, const char* caption);

}  // namespace qm
