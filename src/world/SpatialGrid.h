#pragma once
// The world box and the fixed grid of cells over it that finds near neighbours.

namespace qm {

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

// A cell by its indices along x, y and z.
struct GridCell {
    int ix = 0, iy = 0, iz = 0;
    friend constexpr bool operator==(const GridCell&, const GridCell&) = default;
};

}  // namespace qm
