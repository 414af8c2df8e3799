#pragma once
// A 15-bit random generator and the fixed forms in which every caller scales
// a draw. Each form takes exactly one draw. A run owns its generator (in its
// RunContext): its driver and worlds share it, and nothing else draws from it.

#include <cstdint>

namespace qm {

inline constexpr int kRandMax = 32767;

// Scale constants, single precision, multiplied in double precision.
inline constexpr float kRandScale1 = 3.0518509447574615e-05f;    // 1 / 32767
inline constexpr float kRandScale2 = 6.103701889514923e-05f;     // 2 / 32767
inline constexpr float kRandScale4 = 0.00012207403779029846f;    // 4 / 32767
inline constexpr float kRandScale5 = 0.00015259254723787308f;    // 5 / 32767
inline constexpr float kRandScale13 = 0.00039674062281847f;      // 13 / 32767
inline constexpr float kRandScale18 = 0.0005493331700563431f;    // 18 / 32767
inline constexpr float kRandScale1p8 = 5.4933316278038546e-05f;  // 1.8 / 32767

class Random {
  public:
    explicit Random(std::uint32_t seed = 1) : state(seed) {}

    void Seed(std::uint32_t seed) { state = seed; }
    // What the next draw is made from: a checkpoint keeps it.
    std::uint32_t State() const { return state; }

    // Next raw draw, 0..32767.
    int Rand() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFFu);
    }

    // Nearest integer to r * n / 32767: trunc(r * n * (1/32767) + 0.5), 0..n.
    // Adding 0.5 and truncating is the rounding every run was made with; the
    // values are never negative, where it would differ from lround.
    int RandRound(int n) {
        const double r = Rand();
        // NOLINTNEXTLINE(bugprone-incorrect-roundings)
        return static_cast<int>(r * n * static_cast<double>(kRandScale1) + 0.5);
    }

    // Nearest integer to r * k / 32767 with k / 32767 written as one constant (kRandScale5, 13, 18).
    int RandRoundScaled(float scale) {
        const double r = Rand();
        // NOLINTNEXTLINE(bugprone-incorrect-roundings)
        return static_cast<int>(r * static_cast<double>(scale) + 0.5);
    }

    // r * (1/32767), uniform in [0, 1].
    double RandUniform() { return Rand() * static_cast<double>(kRandScale1); }
    // r * (1.8/32767), uniform in [0, 1.8].
    double RandUniform1p8() { return Rand() * static_cast<double>(kRandScale1p8); }
    // r * (2/32767) - 1, uniform in [-1, 1].
    double RandSymmetric1() { return Rand() * static_cast<double>(kRandScale2) - 1.0; }
    // r * (4/32767) - 2, uniform in [-2, 2].
    double RandSymmetric2() { return Rand() * static_cast<double>(kRandScale4) - 2.0; }

  private:
    std::uint32_t state;
};

}  // namespace qm
