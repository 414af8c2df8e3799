#pragma once
// The window's start from what quillmoth-sim kept on disk: a run resumed from
// a checkpoint, or a trace replayed. Both are read before the window opens,
// so a file that cannot be used ends the program at once (exit status 2)
// with the same words quillmoth-sim uses.

#include <memory>
#include <string>

#include "base/Diagnostics.h"

namespace qm {

class PTester;
class Run;
struct RunContext;

// The run that goes on from the checkpoint at `path` exactly as the run that
// wrote it would have: its world, gene, random generator and node ids; its
// debug text and error log go to `diagnostics`. Null, with the reason in
// `why`, when the checkpoint cannot be used.
std::unique_ptr<Run> ResumeRun(const std::string& path, const Diagnostics& diagnostics, std::string& why);

// A driver that plays the trace at `path`. Null, with the reason in `why`,
// when the trace cannot be read or holds no whole step.
std::unique_ptr<PTester> ReplayDriverFor(RunContext& context, const std::string& path, std::string& why);

}  // namespace qm
