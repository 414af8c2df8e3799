#include "base/Random.h"

#include <cstdint>

namespace qm {
namespace {
std::uint32_t state = 1;
}

void Seed(unsigned seed) { state = seed; }

unsigned RandomState() { return state; }

int Rand() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFFu);
}

// Adding 0.5 and truncating is the rounding every run was made with; the
// values are never negative, where it would differ from lround.
int RandRound(int n) {
    double r = Rand();
    // NOLINTNEXTLINE(bugprone-incorrect-roundings)
    return static_cast<int>(r * n * static_cast<double>(kRandScale1) + 0.5);
}

int RandRoundScaled(float scale) {
    double r = Rand();
    // NOLINTNEXTLINE(bugprone-incorrect-roundings)
    return static_cast<int>(r * static_cast<double>(scale) + 0.5);
}

double RandUniform() { return Rand() * static_cast<double>(kRandScale1); }

double RandUniform1p8() { return Rand() * static_cast<double>(kRandScale1p8); }

double RandSymmetric1() { return Rand() * static_cast<double>(kRandScale2) - 1.0; }

double RandSymmetric2() { return Rand() * static_cast<double>(kRandScale4) - 2.0; }

}  // namespace qm
