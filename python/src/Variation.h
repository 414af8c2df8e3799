#pragma once
// The search's variation operators for Python's own searches (ask/tell):
// Gene.random, gene.mutate and Gene.crossover, each drawing from a generator
// seeded by its caller, so the same seed gives the same gene.

#include <pybind11/pybind11.h>

#include "api/Gene.h"

namespace qm::python {

// Adds them, and a gene's equality, hashing and pickling by its code, to `gene`.
void AddVariation(pybind11::class_<Gene>& gene);

}  // namespace qm::python
