#include "evolve/SearchRandom.h"

namespace qm::evolve {

int SearchRandom::Below(int n) {
    const std::uint32_t high = static_cast<std::uint32_t>(generator.Rand());
    const std::uint32_t low = static_cast<std::uint32_t>(generator.Rand());
    return static_cast<int>(((high << 15) | low) % static_cast<std::uint32_t>(n));
}

// 30 bits against p: the comparison is exact for the rates a user writes.
bool SearchRandom::Chance(double p) {
    return static_cast<double>(Below(1 << 30)) < p * static_cast<double>(1 << 30);
}

}  // namespace qm::evolve
