#pragma once

#include "shell/CommandLine.h"

namespace qm {

// The whole life of the window program: the window, the seed, the scene, the
// input, the message pump and the shutdown. Returns the process exit code.
int ProcessEntry(const CommandLine& options);

// Runs frames whenever no message is waiting, until the quit request is taken
// off the queue; returns its exit code.
int RunMessagePump(struct Shell& shell, class SdlWindow& window);

}  // namespace qm
