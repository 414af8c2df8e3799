#include "api/RunHistory.h"

#include <algorithm>

#include "node/TNode.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

// The floor's height: the bottom of the world box.
constexpr double kFloorY = -25.0;

}  // namespace

void RunHistory::Append(long long stepDone, const NodeManager& world, double closestSoFar) {
    double x = 0.0, y = 0.0, z = 0.0, top = 0.0;
    int count = 0;
    for (const auto& [id, node] : world.NodeMap()) {
        if (!node) continue;
        const Vector3& p = node->pos;
        x += p.x;
        y += p.y;
        z += p.z;
        const double above = static_cast<double>(p.y) - kFloorY;
        top = count == 0 ? above : std::max(top, above);
        ++count;
    }
    const double n = count > 0 ? count : 1;
    step.push_back(static_cast<double>(stepDone));
    centerX.push_back(x / n);
    centerY.push_back(y / n);
    centerZ.push_back(z / n);
    nodes.push_back(count);
    links.push_back(static_cast<double>(world.Links().Size()));
    height.push_back(top);
    closest.push_back(closestSoFar);
}

}  // namespace qm
