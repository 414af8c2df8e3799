#include "evolve/SearchRandom.h"

#include "base/Random.h"

namespace qm::evolve {

SearchRandom::Swap::Swap(std::uint32_t& own) : own(own), engine(RandomState()) { Seed(own); }

SearchRandom::Swap::~Swap() {
    own = RandomState();
    Seed(engine);
}

int SearchRandom::Below(int n) {
    return With([n] {
        const std::uint32_t high = static_cast<std::uint32_t>(Rand());
        const std::uint32_t low = static_cast<std::uint32_t>(Rand());
        return static_cast<int>(((high << 15) | low) % static_cast<std::uint32_t>(n));
    });
}

// 30 bits against p: the comparison is exact for the rates a user writes.
bool SearchRandom::Chance(double p) {
    return static_cast<double>(Below(1 << 30)) < p * static_cast<double>(1 << 30);
}

}  // namespace qm::evolve
