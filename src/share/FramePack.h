#pragma once
// The frames of a run packed for the web page: positions quantised to 16 bits
// over the run's bounding box, colours to 8 bits, parameters to half floats,
// each value written as its change since the same node's value in the frame
// before, so that deflate finds long runs of small numbers (a node moves a
// fraction of a unit a step). Links are written as indices into their frame's
// nodes. The page's script (page/viewer.js, Unpack) reads the layout back:
//
//   "QMRP", u32 version 1, u32 frames, u32 ids (largest id + 1), f32 low[3], f32 high[3]
//   per frame: f64 step, u32 nodes, u32 links
//   per id: i32 parent, i32 born
//   per frame and node: u32 id - the id before it in the frame (the first: its id)
//   per frame and node: u16 x, y, z          (each: minus the node's last value, mod 2^16)
//   per frame and node: u8 r, g, b           (mod 2^8)
//   per frame and node: u16 p0..p9, half floats (mod 2^16)
//   per frame and link: u32 index of a - index of the link before's a, u32 index of b - index of a
//
// All little-endian; each section starts on a multiple of four bytes.

#include <cstdint>
#include <vector>

#include "record/TraceFrame.h"

namespace qm::share {

inline constexpr std::uint32_t kPackVersion = 1;

// The packed bytes of `frames` (ascending steps), before compression.
std::vector<std::uint8_t> PackFrames(const std::vector<const record::TraceFrame*>& frames);

// `bytes` compressed in the zlib format (what the browser's
// DecompressionStream("deflate") reads), at the best compression.
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& bytes);

// The IEEE half-precision bits nearest to `v` (infinity past 65504, NaN kept).
std::uint16_t HalfFloat(float v);

}  // namespace qm::share
