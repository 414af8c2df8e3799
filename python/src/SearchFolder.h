#pragma once
// The folder of a search run from Python: begun as `quillmoth-sim evolve
// --out` begins it, or taken up again by evolve(resume=DIR) — also a search
// whose fitness or descriptors are Python functions, given again. Their
// fingerprints (qualified name and a hash of the code) are kept in
// DIR/fitness.txt, and functions that differ are refused.

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <vector>

#include "evolve/Search.h"
#include "evolve/SearchOutput.h"

namespace qm::python {

// The search's Python functions: the fitness (or None) and the descriptors'.
struct SearchFunctions {
    pybind11::object fitness;
    std::vector<pybind11::object> describe;
};

// Locks and makes the folder of a new search and writes its headers, and
// the functions' fingerprints when there are any.
void BeginFolder(evolve::SearchOutput& output, const evolve::Search& search,
                 const SearchFunctions& functions);

// The search the folder's checkpoint holds, with `generations` and
// `evaluations` in place of its own when given; the tables trimmed to it.
// `specs`, when given, must be the checkpoint's descriptors.
evolve::Search ResumeFolder(evolve::SearchOutput& output, std::optional<int> generations,
                            std::optional<long long> evaluations,
                            const std::optional<std::vector<std::string>>& specs,
                            const SearchFunctions& functions);

}  // namespace qm::python
