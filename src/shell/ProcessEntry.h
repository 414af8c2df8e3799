#pragma once

#include "shell/CommandLine.h"

namespace qm {

// Exit statuses of the window: 0 when the user quit or a node reached the
// goal, 1 when the window or the graphics could not start, the gene file
// could not be read or compiled, an error ended the run or a video failed; 2
// when the command line is wrong or a checkpoint or trace it names cannot be
// used, or a video is asked for without ffmpeg (nothing is opened then).
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The whole life of the window program: the window, the seed, the scene, the
// input, the message pump and the shutdown. Returns the process exit code.
int ProcessEntry(const CommandLine& options);

// Runs frames whenever no message is waiting, until the quit request is taken
// off the queue; returns its exit code.
int RunMessagePump(struct Shell& shell, class SdlWindow& window);

}  // namespace qm
