// The fixed grid of 5-unit cells over the world box: a node is filed in the
// cell that holds its position and finds its neighbours in the 27 cells around it.

#include <algorithm>
#include <cmath>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

// trunc((p - (origin - half)) * 0.2). Far-out values are pinned well outside
// the grid first, so the conversion to int is always defined and still out of range.
int AxisIndex(float p, int origin, int half) {
    double scaled = (p - static_cast<float>(origin - half)) * kCellScale;
    return static_cast<int>(std::clamp(scaled, -1.0e6, 1.0e6));
}

}  // namespace

// A node pushed above the ceiling or into the floor can end a step outside
// the box in y (the walls bring it back on its next turn); it is filed in the
// top or bottom layer meanwhile. x and z have no such case: the side walls
// cancel the force that could carry a node through them.
GridCell NodeManager::CellIndex(const TNode* node) const {
    const Vector3& p = node->pos;
    if (!IsFinite(p)) {
        throw ErrorText{FormatString(
            "Node ID: %d has left the world: its position ( %lf, %lf, %lf ) is not finite\n", node->id,
            static_cast<double>(p.x), static_cast<double>(p.y), static_cast<double>(p.z))};
    }
    GridCell c;
    c.ix = AxisIndex(p.x, gridOrigin[0], kBoxHalfX);
    c.iy = std::clamp(AxisIndex(p.y, gridOrigin[1], kBoxHalfY), 0, kGridY - 1);
    c.iz = AxisIndex(p.z, gridOrigin[2], kBoxHalfZ);
    return c;
}

void NodeManager::addToGrid(TNode* node, const GridCell& c) try {
    if (!InRange(c)) {
        throw ErrorText{FormatString(
            "グリッドのインデックス範囲を超えています Node ID: %d [ %d, %d, %d ] ( %lf, %lf, %lf )\n",
            node->id, c.ix, c.iy, c.iz, static_cast<double>(node->pos.x), static_cast<double>(node->pos.y),
            static_cast<double>(node->pos.z))};
    }
    grid[Flat(c)].push_back(node);
} catch (...) {
    RethrowSigned("addToGrid(TNode*,int,int,int)\n");
}

void NodeManager::delFromGrid(TNode* node, const GridCell& c) try {
    if (!InRange(c)) {
        throw ErrorText{
            FormatString("ノードグリッドのインデックス範囲を超えています Node ID: %d ( %d, %d, %d )\n",
                         node->id, c.ix, c.iy, c.iz)};
    }
    Cell& cell = grid[Flat(c)];
    auto it = std::find(cell.begin(), cell.end(), node);
    if (it == cell.end()) {
        throw ErrorText{FormatString("ノードグリッド %d %d %dに Node ID: %d は見つかりません\n", c.ix, c.iy,
                                     c.iz, node->id)};
    }
    cell.erase(it);
} catch (...) {
    RethrowSigned("delFromGrid(TNode*,int,int,int)\n");
}

void NodeManager::delFromGrid(TNode* node) try {
    GridCell c = CellIndex(node);
    if (!InRange(c)) {
        throw ErrorText{
            FormatString("ノードグリッドのインデックス範囲を超えています Node ID: %d ( %d, %d, %d )\n",
                         node->id, c.ix, c.iy, c.iz)};
    }
    delFromGrid(node, c);
} catch (...) {
    RethrowSigned("delFromGrid(TNode*)\n");
}

int NodeManager::NeighbourCells(const TNode* node) {
    GridCell c = CellIndex(node);
    int count = 0;
    for (int a = c.ix - 1; a <= c.ix + 1; ++a) {
        for (int b = c.iy - 1; b <= c.iy + 1; ++b) {
            for (int d = c.iz - 1; d <= c.iz + 1; ++d) {
                GridCell n{a, b, d};
                if (InRange(n)) neighbourCells[static_cast<std::size_t>(count++)] = &grid[Flat(n)];
            }
        }
    }
    return count;
}

}  // namespace qm
