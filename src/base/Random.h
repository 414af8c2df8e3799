#pragma once
// The one process-wide generator of 15-bit random numbers, and the fixed
// forms in which every caller scales a draw. Each form takes exactly one draw.

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

void Seed(unsigned seed);

// The generator's state: what the next draw is made from. A caller with a
// stream of its own (the evolutionary search) saves it, seeds its own, draws
// and restores it, so the draws of a run are never disturbed.
unsigned RandomState();

// Next raw draw, 0..32767.
int Rand();

// Nearest integer to r * n / 32767: trunc(r * n * (1/32767) + 0.5), 0..n.
int RandRound(int n);

// Nearest integer to r * k / 32767 with k / 32767 written as one constant (kRandScale5, 13, 18).
int RandRoundScaled(float scale);

// r * (1/32767), uniform in [0, 1].
double RandUniform();

// r * (1.8/32767), uniform in [0, 1.8].
double RandUniform1p8();

// r * (2/32767) - 1, uniform in [-1, 1].
double RandSymmetric1();

// r * (4/32767) - 2, uniform in [-2, 2].
double RandSymmetric2();

}  // namespace qm
