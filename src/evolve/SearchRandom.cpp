#include "evolve/SearchRandom.h"

#include <cmath>
#include <numbers>

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

double SearchRandom::Uniform() { return (Below(1 << 30) + 0.5) / static_cast<double>(1 << 30); }

double SearchRandom::Normal() {
    const double u = Uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * std::numbers::pi * Uniform());
}

double SearchRandom::LogUniform(double lowExponent, double highExponent) {
    const double sign = Chance(0.5) ? 1.0 : -1.0;
    return sign * std::pow(10.0, lowExponent + (highExponent - lowExponent) * Uniform());
}

}  // namespace qm::evolve
