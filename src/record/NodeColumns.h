#pragma once
// A node as its users read it, listed once. The list gives the HDF5 trace's
// table of nodes its columns, the JSON trace line its keys and the Python
// package's numpy rows their dtype, so that no view of a node can lack a field
// another has. A column added here appears in all three (and changes the
// HDF5 trace's format: give it the format that adds it).
//
// This header holds no HDF5: the Python package includes it.

#include <cstddef>
#include <cstdint>
#include <span>

#include "node/TNode.h"

namespace qm::record {

// One node of one recorded step: a row of the HDF5 trace's table of nodes,
// laid out as the file's rows are (the file's type is built from it).
struct NodeRow {
    std::int64_t step;
    std::int32_t id;
    std::int32_t edges;
    std::int32_t request;
    std::uint8_t ground;
    float pos[3];
    float vel[3];
    double p[paramCount];
    double d[paramCount];
    double edgeLength;
    float color[3];       // diffuse red, green, blue
    std::int32_t parent;  // -1: none
    std::int32_t born;    // -1: unknown
};
// The HDF5 trace's rows are these bytes: a changed layout is a new format.
static_assert(sizeof(NodeRow) == 240, "NodeRow is the HDF5 trace's row: its layout is the file's");

enum class ColumnType { kInt32, kUInt8, kFloat32, kFloat64 };

// The bytes of one value of a column.
constexpr std::size_t ColumnSize(ColumnType type) {
    switch (type) {
        case ColumnType::kUInt8:
            return 1;
        case ColumnType::kInt32:
        case ColumnType::kFloat32:
            return 4;
        case ColumnType::kFloat64:
            return 8;
    }
    return 0;
}

struct NodeColumn {
    const char* json;                    // its key in a JSON trace line (an array when it has several names)
    std::span<const char* const> names;  // one per value: the HDF5 table's and numpy's column names
    ColumnType type;                     // kUInt8 is a flag: JSON writes true or false
    std::size_t offset;                  // of its first value in NodeRow
    int sinceFormat;                     // the HDF5 trace format that added it
};

// Every column of a node but the step, in the tables' order.
std::span<const NodeColumn> NodeColumns();

// A node's row at a recorded step: the one place a TNode's fields become a row.
NodeRow NodeRowOf(long long step, const TNode& n);

}  // namespace qm::record
