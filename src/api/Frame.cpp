#include "api/Frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "api/Run.h"
#include "record/NodeColumns.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

char KindOf(record::ColumnType type) {
    switch (type) {
        case record::ColumnType::kInt32:
            return 'i';
        case record::ColumnType::kUInt8:
            return 'u';
        case record::ColumnType::kFloat32:
        case record::ColumnType::kFloat64:
            return 'f';
    }
    return 'i';
}

// record's node columns, one entry per value.
std::vector<FrameColumn> ColumnsOfRows() {
    std::vector<FrameColumn> columns;
    for (const record::NodeColumn& column : record::NodeColumns()) {
        const std::size_t bytes = record::ColumnSize(column.type);
        for (std::size_t i = 0; i < column.names.size(); ++i)
            columns.push_back({column.names[i], KindOf(column.type), bytes, column.offset + i * bytes});
    }
    return columns;
}

constexpr float kNone = std::numeric_limits<float>::quiet_NaN();

// The mean of the nodes' positions, summed in double in ascending id, and the
// highest node's height.
void MeasureNodes(const NodeManager& world, Frame& frame) {
    double x = 0.0, y = 0.0, z = 0.0;
    float highest = kNone;
    bool first = true;
    for (const auto& [id, node] : world.NodeMap()) {
        x += node->pos.x;
        y += node->pos.y;
        z += node->pos.z;
        // std::max, first node first: a NaN height is kept or passed over as the search always has.
        highest = first ? node->pos.y : std::max(highest, node->pos.y);
        first = false;
    }
    const double n = static_cast<double>(world.NodeMap().size());
    frame.highest = highest;
    if (n == 0.0) {
        frame.mean = {kNone, kNone, kNone};
        frame.center = {kNone, kNone, kNone};
        return;
    }
    frame.mean = {x / n, y / n, z / n};
    frame.center = {static_cast<float>(frame.mean[0]), static_cast<float>(frame.mean[1]),
                    static_cast<float>(frame.mean[2])};
}

// As the stats have always computed it: in single precision, NaN for an empty world.
float GoalDistanceOf(const NodeManager& world) {
    float best = std::numeric_limits<float>::quiet_NaN();
    for (const auto& [id, node] : world.NodeMap()) {
        const float d = Vec3Length(world.GoalPos() - node->pos);
        if (!(d >= best)) best = d;
    }
    return best;
}

}  // namespace

std::span<const FrameColumn> Frame::Columns() {
    static const std::vector<FrameColumn> columns = ColumnsOfRows();
    return columns;
}

std::size_t Frame::RowBytes() { return sizeof(record::NodeRow); }

Frame Run::View(Frame::Detail detail) const {
    std::lock_guard hold(mutex);
    Frame frame;
    frame.step = steps;
    frame.closest = closest;
    const NodeManager* world = WorldHeld();
    if (!world) {
        frame.mean = {kNone, kNone, kNone};
        frame.center = {kNone, kNone, kNone};
        frame.highest = kNone;
        frame.goalDistance = kNone;
        return frame;
    }
    frame.nodes = static_cast<std::size_t>(world->GetNodeCount());
    frame.links = world->Links().Size();
    MeasureNodes(*world, frame);
    frame.centroid = world->GetCentroid();
    frame.goal = world->GoalPos();
    frame.goalDistance = GoalDistanceOf(*world);
    if (OutcomeHeld().kind == RunOutcome::Kind::GoalReached) {
        // The goal ends the run inside the step that reaches it, which is not counted.
        frame.goalStep = steps + 1;
        frame.goalNode = OutcomeHeld().goalNode;
    }
    if (detail == Frame::Detail::kFigures) return frame;
    // Rows copied whole into zeroed bytes: equal worlds give equal bytes.
    frame.nodeRows.assign(world->NodeMap().size() * sizeof(record::NodeRow), 0);
    unsigned char* at = frame.nodeRows.data();
    for (const auto& [id, node] : world->NodeMap()) {
        const record::NodeRow row = record::NodeRowOf(steps, *node);
        std::memcpy(at, &row, sizeof row);
        at += sizeof row;
    }
    frame.linkIds.reserve(world->Links().Size());
    for (const auto& [pair, one] : world->Links().Pairs())
        frame.linkIds.emplace_back(pair.first->id, pair.second->id);
    return frame;
}

}  // namespace qm
