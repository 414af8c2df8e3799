#pragma once
// The search's own random numbers. They come from the engine's generator
// (the same recurrence and the same scaled forms, so the gene code's own
// operators can be used as they are) but from a state of their own: every
// use swaps the search's state in and the engine's state back out, so the
// draws of an evaluation are exactly those of a plain run of the gene.

#include <cstdint>

namespace qm::evolve {

class SearchRandom {
  public:
    explicit SearchRandom(std::uint32_t seed) : state(seed) {}

    // Runs f with the search's state in the engine's generator.
    template <class F>
    auto With(F&& f) {
        Swap scope(state);
        return f();
    }

    // A whole number in 0..n-1 (n >= 1), every value equally likely but for
    // a bias below 2^-30 (two draws make 30 bits).
    int Below(int n);

    // True with probability p (p in [0, 1]).
    bool Chance(double p);

    std::uint32_t State() const { return state; }

  private:
    class Swap {
      public:
        explicit Swap(std::uint32_t& own);
        ~Swap();
        Swap(const Swap&) = delete;
        Swap& operator=(const Swap&) = delete;

      private:
        std::uint32_t& own;
        std::uint32_t engine;
    };

    std::uint32_t state;
};

}  // namespace qm::evolve
