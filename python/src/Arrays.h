#pragma once
// A run's frame's nodes and links as numpy arrays, with the field names of
// the HDF5 trace's node table.

#include <pybind11/numpy.h>

#include "api/Frame.h"

namespace qm::python {

// One row per node in ascending id: id, x, y, z, vx, vy, vz, p0..p9, d0..d9,
// edges, request, ground, edge_length, r, g, b, parent, born (record::NodeColumns).
pybind11::array NodeArray(const Frame& frame);
// An (m, 2) array of the ids of every link's two nodes.
pybind11::array LinkArray(const Frame& frame);

}  // namespace qm::python
