#include "shell/Shell.h"

#include "record/RecordError.h"

namespace qm {

bool Shell::Step() {
    if (run) {
        const long long before = run->Steps();
        if (run->Step() != RunOutcome::Kind::Running) return false;
        if (!trace || run->Steps() == before) return true;
        // A trace that cannot be written ends the run as quillmoth-sim's does.
        try {
            run->WriteTrace(*trace, run->Steps());
        } catch (const record::RecordError& e) {
            run->Fail("quillmoth: " + e.message + "\n");
            return false;
        }
        return true;
    }
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
