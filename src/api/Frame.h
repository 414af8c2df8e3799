#pragma once
// What a run is between two steps, read in one piece: what the programs, the
// search and the Python package read of a world instead of the world itself.
// A Frame is a copy: it stays as it was while the run goes on.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "math/D3dxTypes.h"

namespace qm {

// One column of a frame's node rows: the traces' columns of a node (id, x, y,
// z, vx, ..., parent, born), one per value, in their order.
struct FrameColumn {
    const char* name;    // as the HDF5 trace names it
    char kind;           // 'i' signed integer, 'u' unsigned integer, 'f' floating point
    std::size_t bytes;   // of one value: 1, 4 or 8, little-endian
    std::size_t offset;  // in a row
};

struct Frame {
    // How much of the run a frame copies: its figures alone are cheap to
    // take at every step, its nodes and links cost a copy of the world.
    enum class Detail { kFigures, kWhole };

    long long step = 0;     // steps completed
    std::size_t nodes = 0;  // nodes the world holds
    std::size_t links = 0;  // links between them
    // The mean position of the nodes the world holds, in double precision (the
    // search measures with it), and rounded to single; NaN in an empty world.
    std::array<double, 3> mean{};
    Vector3 center;
    float highest = 0.0f;  // the height (y) of the highest node; NaN in an empty world
    // The camera's point, as the window centres on it: the positions of the
    // nodes that took their turn in the last step, divided by the count at its
    // start. On a step where a node dies, or divides, it is not the creature's
    // centre: read `center` for that.
    Vector3 centroid;
    Vector3 goal;                       // where the goal is
    float goalDistance = 0.0f;          // the least distance of a node to the goal now; NaN in an empty world
    double closest = 0.0;               // the least distance of a node to the goal so far (Run::Closest)
    std::optional<long long> goalStep;  // the step whose node reached the goal, when one did
    std::optional<std::int32_t> goalNode;  // that node's id

    // Detail::kWhole: `nodes` rows of RowBytes() bytes each, ascending id, laid
    // out by Columns(); every link once as the ids of its two nodes.
    std::vector<unsigned char> nodeRows;
    std::vector<std::pair<std::int32_t, std::int32_t>> linkIds;

    static std::span<const FrameColumn> Columns();
    static std::size_t RowBytes();
};

}  // namespace qm
