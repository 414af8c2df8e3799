#pragma once
// The search's own random numbers: the engine's generator (the same
// recurrence and scaled forms, so the gene code's own operators are used as
// they are) with a state of its own, apart from every evaluation's.

#include <cstdint>

#include "base/Random.h"

namespace qm::evolve {

class SearchRandom {
  public:
    explicit SearchRandom(std::uint32_t seed) : generator(seed) {}

    // The generator itself, for the gene code's operators.
    Random& Generator() { return generator; }

    // A whole number in 0..n-1 (n >= 1), every value equally likely but for
    // a bias below 2^-30 (two draws make 30 bits).
    int Below(int n);

    // True with probability p (p in [0, 1]).
    bool Chance(double p);

    // Uniform in (0, 1), from 30 bits.
    double Uniform();
    // A standard normal draw (Box-Muller: two uniform draws).
    double Normal();
    // A magnitude log-uniform from 10^lowExponent to 10^highExponent, either sign.
    double LogUniform(double lowExponent, double highExponent);

    std::uint32_t State() const { return generator.State(); }

  private:
    Random generator;
};

}  // namespace qm::evolve
