#pragma once
// What one experiment owns besides its worlds: the random generator its
// driver and worlds share, the node ids it gives out, where its debug text
// and error log go, and the text lines of its selected node. Each run has its
// own, so runs live side by side in one process, on any threads, each making
// exactly the draws and ids it makes alone.

#include <cstdint>

#include "base/Diagnostics.h"
#include "base/Random.h"
#include "base/TextLines.h"

namespace qm {

struct RunContext {
    RunContext() = default;
    RunContext(const RunContext&) = delete;  // a run's draws and ids are its own
    RunContext& operator=(const RunContext&) = delete;

    Random random;
    Diagnostics diagnostics;
    TextLines textLines;
    // The id the next node takes: ids start at 0 and are never given twice.
    std::int32_t nextNodeId = 0;
    // The step being made, counted from the start of the run (steps completed
    // between two steps): the birth step a node made now records.
    long long step = 0;
};

}  // namespace qm
