#pragma once
// run.history: the series a run keeps of itself (api/RunHistory.h) as numpy
// arrays by name, and Run(..., observe=fn, every=k), a Python function
// called during the run.

#include <pybind11/pybind11.h>

#include "api/Run.h"

namespace qm::python {

// The series by name, each a float64 array of a value per step; ValueError
// when the run keeps none.
pybind11::dict HistoryOf(const Run& run);

// Calls observe(run) after every `every`th step, with the GIL held.
void ObserveBy(Run& run, const pybind11::object& observe, long long every);

}  // namespace qm::python
