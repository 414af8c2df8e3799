#pragma once
// The window procedure: records what the window's messages say in the shell
// state and passes two of them (resize, Enter released) on to the driver.
// Everything continuous happens in the frame.

#include <cstddef>

#include "platform/WindowMessage.h"

namespace qm {

struct Shell;

void WndProc(Shell& shell, const WindowMessage& message);

// Dropped file names are read into a buffer of this many characters, the
// terminating zero included; longer names are cut.
inline constexpr std::size_t kDropNameBuffer = 260;

}  // namespace qm
