#pragma once

namespace qm {

struct Shell;

// Releases everything the shell owns, in a fixed order: the input devices, the
// node drawing resources, the driver with its worlds and nodes, the floor, the
// goal, the sky, the font, the device and the graphics object. The camera
// stays until the process ends.
void Shutdown(Shell& shell);

}  // namespace qm
