#pragma once
// What bounds a run before it starts: its seed, read from text, and the
// most nodes it may have by default, from the machine's memory.

#include <cstdint>
#include <optional>
#include <string_view>

namespace qm {

// A seed: a whole number from 0 to 4294967295. Nothing when the text is not one.
std::optional<std::uint32_t> ParseSeed(std::string_view text);

// Peak memory of a headless run per node (bytes): quillmoth-sim runs of the
// crowd gene measured 972 bytes a node at 16,384 nodes and 889 at 1,048,576
// (peak RSS less that of a one-node run), rounded up; the default node limit
// is made from it.
inline constexpr long long kBytesPerNode = 1024;
// The same for the window, which also holds what it draws of every node and
// link: quillmoth --bench-frames of the crowd gene under Xvfb grew its peak
// RSS by 2,516 bytes a node from 32,768 to 131,072 nodes and by 2,351 from
// there to 262,144, rounded up (below 32,768 nodes the drawing's fixed
// costs still grow: about 5 KB a node).
inline constexpr long long kWindowBytesPerNode = 2560;

// A quarter of the machine's memory in nodes of `bytesPerNode`, at most 2^31 - 1.
int DefaultMaxNodes(long long bytesPerNode = kBytesPerNode);

}  // namespace qm
