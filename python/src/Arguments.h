#pragma once
// Keyword arguments read by the rules the command line checks its options
// by (evolve/ArgumentRules.h), refused in Python's terms: a TypeError for a
// value of the wrong kind (True is no number), a ValueError naming the
// argument and its range for one outside it.

#include <pybind11/pybind11.h>

#include <array>
#include <optional>

#include "evolve/ArgumentRules.h"
#include "math/D3dxTypes.h"

namespace qm::python {

// A whole number the argument takes.
long long IntegerArgument(const pybind11::handle& value, evolve::Argument argument);
// The same, or nothing for None.
std::optional<long long> OptionalIntegerArgument(const pybind11::handle& value, evolve::Argument argument);
// A goal of three finite numbers, or nothing when not given.
std::optional<Vector3> GoalArgument(const std::optional<std::array<float, 3>>& goal);

// What a function of the search or of evaluate gave for one run: a finite
// real number, or an error saying which function, gene and seed gave what.
double MeasureOf(const pybind11::object& value, const std::string& what, const std::string& gene,
                 std::uint32_t seed);

}  // namespace qm::python
