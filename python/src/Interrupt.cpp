#include "Interrupt.h"

namespace qm::python {

bool InterruptCheck::Raised() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last < std::chrono::milliseconds(50)) return false;
    last = now;
    pybind11::gil_scoped_acquire hold;
    return PyErr_CheckSignals() != 0;
}

RunOutcome::Kind StepWatched(Run& run, long long n) {
    InterruptCheck check;
    bool raised = false;
    RunOutcome::Kind kind{};
    {
        pybind11::gil_scoped_release release;
        // One step at a time gives what Step(n) gives: the step after the
        // last of the run's steps completes it either way.
        kind = n > 0 ? run.Step(1) : run.Step(n);
        for (long long i = 1; i < n && !run.Ended() && !(raised = check.Raised()); ++i) kind = run.Step(1);
    }
    if (raised) throw pybind11::error_already_set();
    return kind;
}

}  // namespace qm::python
