#pragma once
// One recorded step of a trace as a viewer needs it: every node's id,
// position and colour, and the links. Both trace formats read into it.

#include <cstdint>
#include <utility>
#include <vector>

#include "math/D3dxTypes.h"

namespace qm::record {

struct TraceNode {
    std::int32_t id = 0;
    Vector3 pos;    // world units; NaN where the trace wrote null
    Vector3 color;  // diffuse red, green, blue, as the gene set them (not clamped)
};

struct TraceFrame {
    long long step = 0;            // steps completed when it was recorded
    std::vector<TraceNode> nodes;  // ascending id
    // Every link once as (smaller id, larger id), ascending; both ids are among `nodes`.
    std::vector<std::pair<std::int32_t, std::int32_t>> links;
};

}  // namespace qm::record
