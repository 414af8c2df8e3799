#pragma once
// The bindings of quillmoth.show's native part (Share.cpp).

#include <pybind11/pybind11.h>

namespace qm::python {

void BindShare(pybind11::module_& m);

}  // namespace qm::python
