// The fixed grid of 5-unit cells over the world box: a node is filed in the
// cell that holds its position and finds its neighbours in the 27 cells around it.

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "world/NodeManager.h"

namespace qm {

SpatialGrid::SpatialGrid() : columnOf(static_cast<std::size_t>(kGridX) * kGridY, kNoColumn) {}

SpatialGrid::Header& SpatialGrid::HeaderOf(const GridCell& c) {
    std::uint32_t& column = columnOf[ColumnIndex(c.ix, c.iy)];
    if (column == kNoColumn) {
        column = static_cast<std::uint32_t>(headers.size() / kGridZ);
        headers.resize(headers.size() + kGridZ);
        span.emplace_back();
    }
    ZSpan& z = span[column];
    z.low = std::min(z.low, c.iz);
    z.high = std::max(z.high, c.iz);
    return headers[column * kGridZ + static_cast<std::size_t>(c.iz)];
}

std::uint32_t SpatialGrid::TakeBlock(std::uint32_t capacity) {
    std::vector<std::uint32_t>& free = freeBlocks[static_cast<std::size_t>(std::countr_zero(capacity))];
    if (!free.empty()) {
        std::uint32_t begin = free.back();
        free.pop_back();
        return begin;
    }
    const std::size_t begin = pool.size();
    if (begin + capacity > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("grid pool full");
    pool.resize(begin + capacity);
    return static_cast<std::uint32_t>(begin);
}

void SpatialGrid::Append(const GridCell& c, const GridEntry& entry) {
    Header& h = HeaderOf(c);
    if (h.size == h.capacity) {
        const std::uint32_t grown = h.capacity == 0 ? 4 : h.capacity * 2;
        const std::uint32_t begin = TakeBlock(grown);
        std::copy_n(pool.begin() + h.begin, h.size, pool.begin() + begin);
        if (h.capacity) freeBlocks[static_cast<std::size_t>(std::countr_zero(h.capacity))].push_back(h.begin);
        h.begin = begin;
        h.capacity = grown;
    }
    pool[h.begin + h.size++] = entry;
}

bool SpatialGrid::Remove(const GridCell& c, const TNode* node) {
    if (columnOf[ColumnIndex(c.ix, c.iy)] == kNoColumn) return false;
    Header& h = HeaderOf(c);
    auto first = pool.begin() + h.begin;
    auto last = first + h.size;
    auto it = std::find_if(first, last, [node](const GridEntry& e) { return e.node == node; });
    if (it == last) return false;
    std::copy(it + 1, last, it);
    --h.size;
    return true;
}

void SpatialGrid::Clear() {
    std::fill(columnOf.begin(), columnOf.end(), kNoColumn);
    headers = {};
    span = {};
    pool = {};
    for (auto& free : freeBlocks) free = {};
}

std::size_t SpatialGrid::Bytes() const {
    std::size_t bytes = columnOf.capacity() * sizeof(std::uint32_t) + headers.capacity() * sizeof(Header) +
                        span.capacity() * sizeof(ZSpan) + pool.capacity() * sizeof(GridEntry);
    for (const auto& free : freeBlocks) bytes += free.capacity() * sizeof(std::uint32_t);
    return bytes;
}

void NodeManager::ThrowNotFinite(const TNode* node) {
    const Vector3& p = node->pos;
    throw ErrorText{
        FormatString("Node ID: %d has left the world: its position ( %lf, %lf, %lf ) is not finite\n",
                     node->id, static_cast<double>(p.x), static_cast<double>(p.y), static_cast<double>(p.z))};
}

void NodeManager::addToGrid(TNode* node, const GridCell& c) try {
    if (!InRange(c)) {
        throw ErrorText{FormatString(
            "グリッドのインデックス範囲を超えています Node ID: %d [ %d, %d, %d ] ( %lf, %lf, %lf )\n",
            node->id, c.ix, c.iy, c.iz, static_cast<double>(node->pos.x), static_cast<double>(node->pos.y),
            static_cast<double>(node->pos.z))};
    }
    grid.Append(c, EntryOf(node));
} catch (...) {
    RethrowSigned("addToGrid(TNode*,int,int,int)\n");
}

void NodeManager::delFromGrid(TNode* node, const GridCell& c) try {
    if (!InRange(c)) {
        throw ErrorText{
            FormatString("ノードグリッドのインデックス範囲を超えています Node ID: %d ( %d, %d, %d )\n",
                         node->id, c.ix, c.iy, c.iz)};
    }
    if (!grid.Remove(c, node)) {
        throw ErrorText{FormatString("ノードグリッド %d %d %dに Node ID: %d は見つかりません\n", c.ix, c.iy,
                                     c.iz, node->id)};
    }
} catch (...) {
    RethrowSigned("delFromGrid(TNode*,int,int,int)\n");
}

// Every finite position names a cell of the grid (see CellOf), so only the
// two-argument form can be handed one outside it.
void NodeManager::delFromGrid(TNode* node) try { delFromGrid(node, CellIndex(node)); } catch (...) {
    RethrowSigned("delFromGrid(TNode*)\n");
}

int NodeManager::NeighbourCells(const TNode* node) {
    GridCell c = CellIndex(node);
    int count = 0;
    for (int a = c.ix - 1; a <= c.ix + 1; ++a) {
        for (int b = c.iy - 1; b <= c.iy + 1; ++b) {
            for (int d = c.iz - 1; d <= c.iz + 1; ++d) {
                GridCell n{a, b, d};
                if (InRange(n)) neighbourCells[static_cast<std::size_t>(count++)] = n;
            }
        }
    }
    return count;
}

}  // namespace qm
