#include "shell/Shell.h"

namespace qm {

bool Shell::Step() {
    if (run) return run->Step() == RunOutcome::Kind::Running;
    return replay && replayGuard.Step(*replay);
}

bool Shell::Reset(const std::string& name) {
    if (run) return run->Reset(name);
    return replay && replayGuard.Reset(*replay, name);
}

void Shell::Fail(const std::string& text) {
    if (run) {
        run->Fail(text);
    } else {
        replayGuard.Fail(text);
    }
}

}  // namespace qm
