#pragma once
// How a run ended, or that it goes on: what the run guard decides and every
// caller of a run reads.

#include <cstdint>
#include <string>

namespace qm {

struct RunOutcome {
    enum class Kind {
        Running,      // no error so far
        Completed,    // every step asked for ran
        GoalReached,  // a node came within reach of the goal
        Error,        // the engine raised an error; `text` holds it
        Interrupted,  // a step was cut short because the program is quitting
    };
    Kind kind = Kind::Running;
    std::string text;  // the logged text of GoalReached and Error (empty for an error code)
    // Why that text is not in the error log (the system's reason), or empty.
    std::string logFailure;
    // GoalReached: the id of the node that reached the goal.
    std::int32_t goalNode = -1;
};

}  // namespace qm
