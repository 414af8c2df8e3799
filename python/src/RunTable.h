#pragma once
// evaluate's per-seed results as one numpy record array, a row per gene and
// seed, ready for pandas.DataFrame.

#include <pybind11/pybind11.h>

#include <vector>

#include "evolve/Evaluation.h"

namespace qm::python {

struct TableRow {
    int gene = 0;  // its place in the genes given
    const evolve::Evaluation* task = nullptr;
    const evolve::EvalResult* result = nullptr;
    double fitness = 0.0;
};

// Columns: gene, seed, outcome ("completed", "goal", "error"), steps,
// goal_step (-1 when the goal was not reached), closest, nodes, dx, dz,
// height (the search's behaviour fields), fitness.
pybind11::object RunTable(const std::vector<TableRow>& rows);

}  // namespace qm::python
