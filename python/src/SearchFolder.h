#pragma once
// The folder of a search run from Python: begun as `quillmoth-sim evolve
// --out` begins it, or taken up again by evolve(resume=DIR) — also a search
// whose fitness is a Python function, given again. The function's
// fingerprint (its qualified name and a hash of its code) is kept in
// DIR/fitness.txt, and one that differs is refused.

#include <pybind11/pybind11.h>

#include <optional>
#include <string>

#include "evolve/Search.h"
#include "evolve/SearchOutput.h"

namespace qm::python {

// Locks and makes the folder of a new search and writes its headers, and
// the fitness's fingerprint when there is a function.
void BeginFolder(evolve::SearchOutput& output, const evolve::Search& search, const pybind11::object& fitness);

// The search the folder's checkpoint holds, with `generations` and
// `evaluations` in place of its own when given; the tables trimmed to it.
evolve::Search ResumeFolder(evolve::SearchOutput& output, std::optional<int> generations,
                            std::optional<long long> evaluations, const pybind11::object& fitness);

}  // namespace qm::python
