#pragma once
// What a finished run comes to, read in one piece: how it ended and the
// figures of its last step. The sweep's rows, the search's results and
// Python's evaluate all summarise a run run to its end through it, so that
// they cannot come to disagree.

#include "api/Frame.h"
#include "base/RunOutcome.h"

namespace qm {

struct RunSummary {
    RunOutcome outcome;
    // The world after the last step (Frame::Detail::kFigures): steps, nodes,
    // links, center and centroid, the closest approach, the goal step and node.
    Frame last;
};

// The outcome in a word, as the programs' tables write it: "goal",
// "completed", "running", or "error" (an error, or a run cut short).
const char* OutcomeWord(RunOutcome::Kind kind);

}  // namespace qm
