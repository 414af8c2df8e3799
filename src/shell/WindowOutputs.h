#pragma once
// The files the window writes on request: screenshots (P), videos, checkpoints
// of the live run (F5) and its trace (--trace). Each is checked before any
// drawing or stepping is spent on it, and named by its full path once written.

#include <optional>
#include <string>

#include "record/Writable.h"

namespace qm {

struct Shell;

// `path` as an absolute path (the working folder's prefix added), for messages.
std::string FullPath(const std::string& path);

// F5: writes the live run as a checkpoint named as quillmoth-sim names its
// own (step-NNNNNNNN.h5) into `folder`. Returns the line to show: where it
// went, or why nothing was written (a replay, a run that ended, a failed write).
std::string SaveLiveCheckpoint(const Shell& shell, const std::string& folder = ".");

// --trace: opens the live run's trace at `path` and writes its first step
// (a new run's step 0; a resumed run records from its next step, as
// quillmoth-sim does). Empty when it did; else why not.
std::string StartLiveTrace(Shell& shell, const std::string& path, const std::string& resumedFrom);

}  // namespace qm
