#pragma once
// One recorded step of a trace as a viewer needs it: every node's id,
// position, colour, parameters and lineage, and the links. Both trace formats
// read into it.

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "math/D3dxTypes.h"

namespace qm::record {

struct TraceNode {
    std::int32_t id = 0;
    Vector3 pos;               // world units; NaN where the trace wrote null
    Vector3 color;             // diffuse red, green, blue, as the gene set them (not clamped)
    std::int32_t parent = -1;  // -1: the run's first node, or not known (a trace of format 1)
    std::int32_t born = -1;    // the step the node was made in; -1: not known
    // P0..P9 in single precision: what a viewer shows of a node, a fifth of the
    // memory of the trace's doubles (the step's frame is all a viewer keeps).
    std::array<float, 10> param{};
};

struct TraceFrame {
    long long step = 0;            // steps completed when it was recorded
    std::vector<TraceNode> nodes;  // ascending id
    // Every link once as (smaller id, larger id), ascending; both ids are among `nodes`.
    std::vector<std::pair<std::int32_t, std::int32_t>> links;
};

}  // namespace qm::record
