#pragma once
// A world's nodes and links as numpy arrays, with the field names of the
// HDF5 trace's node table.

#include <pybind11/numpy.h>

namespace qm {
class NodeManager;
}

namespace qm::python {

// One row per node in ascending id: id, x, y, z, vx, vy, vz, p0..p9, d0..d9,
// edges, request, ground, edge_length, r, g, b, parent, born (record::NodeColumns).
pybind11::array NodeArray(const NodeManager* world);
// An (m, 2) array of the ids of every link's two nodes.
pybind11::array LinkArray(const NodeManager* world);

}  // namespace qm::python
