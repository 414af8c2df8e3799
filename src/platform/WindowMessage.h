#pragma once
// One message from the window, in the terms the window procedure handles:
// what happened once (a key released, a button pressed, a pointer move, a
// resize, files dropped, the window closed) and the quit request.

#include <cstdint>
#include <string>

namespace qm {

struct WindowMessage {
    enum class Type {
        Destroy,      // the window is going away
        Size,         // the window changed size
        KeyDown,      // virtual key in `key` (repeats while held)
        KeyUp,        // virtual key in `key`
        MouseMove,    // client position in x, y, each cut to its low 16 bits
        LButtonDown,  // left button pressed
        LButtonUp,    // left button released
        DropFiles,    // `file` is the first file of one drop
        Quit,         // the quit request posted earlier; exit code in `key`
        Other,
    };
    Type type = Type::Other;
    std::uint32_t key = 0;
    std::uint32_t x = 0, y = 0;
    std::string file;
};

}  // namespace qm
