#pragma once
// Ctrl-C during long work done without the GIL. Python runs its signal
// handlers only on the main thread with the GIL held, so work that let go of
// it asks now and then, between whole steps or whole evaluations: a run is
// never left half-stepped, and a search stops between two batches.

#include <pybind11/pybind11.h>

#include <chrono>
#include <cstddef>
#include <vector>

#include "api/Run.h"

namespace qm::python {

// Asks at most every 50 ms. Call with the GIL released.
class InterruptCheck {
  public:
    // True when a signal handler raised (KeyboardInterrupt for Ctrl-C); the
    // error stays set for the caller to throw once it holds the GIL again.
    bool Raised();

  private:
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
};

// `work(first, last)` on consecutive slices of [0, n) of `slice` items,
// the GIL released during each; between slices a signal handler may raise,
// which is thrown as its Python error. Call with the GIL held.
template <class Work>
void InSlices(std::size_t n, std::size_t slice, Work&& work) {
    for (std::size_t first = 0; first < n; first += slice) {
        {
            pybind11::gil_scoped_release release;
            work(first, std::min(n, first + slice));
        }
        if (PyErr_CheckSignals() != 0) throw pybind11::error_already_set();
    }
}

// Up to n steps as Run::Step(n) makes them, the GIL released, stopping
// between two steps when a signal handler raised (then thrown as its error).
RunOutcome::Kind StepWatched(Run& run, long long n);

}  // namespace qm::python
