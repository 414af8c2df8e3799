#pragma once
// The world box and the fixed grid of cells over it that finds near neighbours.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace qm {

class TNode;

// The box, in world units, centred on the grid origin: x and z from -500 to
// 499, y from -25 (the floor) to 24 (the ceiling).
inline constexpr int kBoxHalfX = 500;
inline constexpr int kBoxHalfY = 25;
inline constexpr int kBoxHalfZ = 500;

// Cells of 5 units (1 / kCellScale) a side: 200 x 10 x 200 of them.
inline constexpr double kCellScale = 0.2;
inline constexpr int kGridX = 200;
inline constexpr int kGridY = 10;
inline constexpr int kGridZ = 200;

// trunc((p - (origin - half)) * 0.2). Far-out values are pinned well outside
// the grid first, so the conversion to int is always defined and still out of range.
inline int AxisIndex(float p, int origin, int half) {
    double scaled = (p - static_cast<float>(origin - half)) * kCellScale;
    return static_cast<int>(std::clamp(scaled, -1.0e6, 1.0e6));
}

// A cell by its indices along x, y and z.
struct GridCell {
    int ix = 0, iy = 0, iz = 0;
    friend constexpr bool operator==(const GridCell&, const GridCell&) = default;
};

// The cell a finite position is filed in, the grid's origin being (ox, oy, oz).
// A node can end its turn outside the box: pushed past the floor or the
// ceiling, or carried past a side wall by the velocity its bounce gave it. It
// is filed in the nearest cell until its next turn, when the walls put it back.
inline GridCell CellOf(float x, float y, float z, int ox, int oy, int oz) {
    return {std::clamp(AxisIndex(x, ox, kBoxHalfX), 0, kGridX - 1),
            std::clamp(AxisIndex(y, oy, kBoxHalfY), 0, kGridY - 1),
            std::clamp(AxisIndex(z, oz, kBoxHalfZ), 0, kGridZ - 1)};
}

// One node filed in a cell, with a copy of its position and force. The
// neighbour loop of a step reads positions and adds forces here, in memory
// that runs contiguously cell by cell, instead of in each neighbour's node;
// the world keeps the copies and the nodes in step (NodeManager::NodeAction).
struct GridEntry {
    TNode* node;
    float x, y, z;     // the node's position
    float fx, fy, fz;  // the node's force
};
static_assert(sizeof(GridEntry) == 32, "two entries to a cache line");

// The cells of the grid, each a list of nodes in the order they were filed
// (the order decides in which order forces are summed, so it is kept exactly:
// a node is appended, and taking one out leaves the others in their order).
//
// Storage is flat and made on demand. The 2,000 columns of 200 cells along z
// start empty (an empty grid costs 8 kB instead of 400,000 vectors, 9.6 MB);
// a column gets its cell headers when a node first enters it, and the
// entries of every cell live in one shared pool in blocks of 4, 8, 16, ...
// entries, a block given back to its size's free list when a cell outgrows
// it. The cells along z of one column are neighbours in the header array, so
// the 27 cells around a node are 9 runs of 3 headers.
class SpatialGrid {
  public:
    using Cell = std::span<const GridEntry>;

    SpatialGrid();

    static bool InRange(const GridCell& c) {
        return c.ix >= 0 && c.ix < kGridX && c.iy >= 0 && c.iy < kGridY && c.iz >= 0 && c.iz < kGridZ;
    }

    // The cell must be in range.
    Cell At(const GridCell& c) const {
        const std::uint32_t column = columnOf[ColumnIndex(c.ix, c.iy)];
        if (column == kNoColumn) return {};
        const Header& h = headers[column * kGridZ + static_cast<std::size_t>(c.iz)];
        return {pool.data() + h.begin, h.size};
    }
    void Append(const GridCell& c, const GridEntry& entry);
    // Takes the first entry of `node` out of the cell; false if it is not there.
    bool Remove(const GridCell& c, const TNode* node);
    // The entry of `node` in the cell, or null.
    GridEntry* Find(const GridCell& c, const TNode* node) {
        const std::uint32_t column = columnOf[ColumnIndex(c.ix, c.iy)];
        if (column == kNoColumn) return nullptr;
        const Header& h = headers[column * kGridZ + static_cast<std::size_t>(c.iz)];
        GridEntry* e = pool.data() + h.begin;
        for (std::uint32_t i = 0; i < h.size; ++i) {
            if (e[i].node == node) return &e[i];
        }
        return nullptr;
    }
    // Empties every cell and gives back all storage.
    void Clear();

    // Calls visit(entry) for every entry of every cell in use.
    template <class Visit>
    void ForEachEntry(Visit&& visit) {
        for (std::size_t column = 0; column < span.size(); ++column) {
            const Header* h = &headers[column * kGridZ];
            for (int d = span[column].low; d <= span[column].high; ++d) {
                GridEntry* e = pool.data() + h[d].begin;
                for (std::uint32_t i = 0, n = h[d].size; i < n; ++i) visit(e[i]);
            }
        }
    }

    // Calls visit(cell, entries) for every cell that holds a node, by x, then
    // y, then z, each from low to high; the entries in the cell's order.
    template <class Visit>
    void ForEachCell(Visit&& visit) const {
        for (int a = 0; a < kGridX; ++a) {
            for (int b = 0; b < kGridY; ++b) {
                const std::uint32_t column = columnOf[ColumnIndex(a, b)];
                if (column == kNoColumn) continue;
                const Header* h = &headers[column * kGridZ];
                for (int d = span[column].low; d <= span[column].high; ++d) {
                    if (h[d].size) visit(GridCell{a, b, d}, Cell{pool.data() + h[d].begin, h[d].size});
                }
            }
        }
    }

    // Calls visit(entry) for every entry of the up to 27 cells around `c`, cell
    // by cell (x, then y, then z, each from low to high), each cell in its order.
    template <class Visit>
    void ForEachNeighbour(const GridCell& c, Visit&& visit) {
        for (int a = c.ix - 1; a <= c.ix + 1; ++a) {
            if (a < 0 || a >= kGridX) continue;
            for (int b = c.iy - 1; b <= c.iy + 1; ++b) {
                if (b < 0 || b >= kGridY) continue;
                const std::uint32_t column = columnOf[ColumnIndex(a, b)];
                if (column == kNoColumn) continue;
                const Header* h = &headers[column * kGridZ];
                const int from = c.iz > 0 ? c.iz - 1 : 0;
                const int to = c.iz + 1 < kGridZ ? c.iz + 1 : kGridZ - 1;
                for (int d = from; d <= to; ++d) {
                    GridEntry* entry = pool.data() + h[d].begin;
                    for (std::uint32_t i = 0, n = h[d].size; i < n; ++i) visit(entry[i]);
                }
            }
        }
    }

    // Asks the memory for the entries of the 27 cells around `c` (a hint only).
    void Prefetch(const GridCell& c) const {
        for (int a = c.ix - 1; a <= c.ix + 1; ++a) {
            if (a < 0 || a >= kGridX) continue;
            for (int b = c.iy - 1; b <= c.iy + 1; ++b) {
                if (b < 0 || b >= kGridY) continue;
                const std::uint32_t column = columnOf[ColumnIndex(a, b)];
                if (column == kNoColumn) continue;
                const int from = c.iz > 0 ? c.iz - 1 : 0;
                const int to = c.iz + 1 < kGridZ ? c.iz + 1 : kGridZ - 1;
                for (int d = from; d <= to; ++d) {
                    const Header& h = headers[column * kGridZ + static_cast<std::size_t>(d)];
                    if (h.size) __builtin_prefetch(pool.data() + h.begin);
                }
            }
        }
    }

    // Bytes held by the grid's own storage (headers, pool, free lists).
    std::size_t Bytes() const;

  private:
    struct Header {
        std::uint32_t begin = 0;
        std::uint32_t size = 0;
        std::uint32_t capacity = 0;
    };
    static constexpr std::uint32_t kNoColumn = 0xFFFFFFFFu;
    static constexpr int kSizeClasses = 32;

    static std::size_t ColumnIndex(int ix, int iy) {
        return static_cast<std::size_t>(ix) * kGridY + static_cast<std::size_t>(iy);
    }
    Header& HeaderOf(const GridCell& c);
    std::uint32_t TakeBlock(std::uint32_t capacity);

    std::vector<std::uint32_t> columnOf;  // kGridX * kGridY entries: column number or kNoColumn
    std::vector<Header> headers;          // kGridZ headers per column in use
    struct ZSpan {
        int low = kGridZ, high = -1;
    };
    std::vector<ZSpan> span;      // per column in use: the cells along z that were ever used
    std::vector<GridEntry> pool;  // the entries of every cell
    std::array<std::vector<std::uint32_t>, kSizeClasses> freeBlocks;  // by log2 of the capacity
};

}  // namespace qm
