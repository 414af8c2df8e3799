#include "api/RunSummary.h"

#include <mutex>

#include "api/Run.h"

namespace qm {

const char* OutcomeWord(RunOutcome::Kind kind) {
    switch (kind) {
        case RunOutcome::Kind::Running:
            return "running";
        case RunOutcome::Kind::Completed:
            return "completed";
        case RunOutcome::Kind::GoalReached:
            return "goal";
        case RunOutcome::Kind::Error:
        case RunOutcome::Kind::Interrupted:
            break;
    }
    return "error";
}

RunSummary Run::Summary() const {
    // One hold for both, so that no step comes between the outcome and the figures.
    std::lock_guard hold(mutex);
    return {OutcomeHeld(), View(Frame::Detail::kFigures)};
}

}  // namespace qm
