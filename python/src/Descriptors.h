#pragma once
// evolve's descriptors as Python gives them: a built-in name ("dz"), one
// with its range as the command line writes it ("dz:-50:50" or
// "dz:-50:50:25") or as a tuple (("dz", -50, 50, 25)), or a Python function
// of the finished run with its range ((fn, low, high[, cells])). The
// functions become the search's python1 to python3 (Behaviour.h), in order.

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <vector>

namespace qm::python {

struct DescriptorArgs {
    std::optional<std::vector<std::string>> specs;  // none when not given: the search's defaults
    std::vector<pybind11::object> functions;        // of python1, python2, ...
};

// Raises ValueError or TypeError for what is none of these.
DescriptorArgs ReadDescriptors(const pybind11::object& given);

}  // namespace qm::python
