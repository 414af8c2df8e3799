#pragma once
// The random generator written out again, apart from the engine's, so that a
// test can say which draws a step must make and in which order, and what each
// draw turns into. Scale constants are the single-precision values of k/32767.

#include <cstdint>
#include <vector>

namespace qm::test {

class ExpectedDraws {
  public:
    explicit ExpectedDraws(std::uint32_t seed) : state(seed) {}

    int Next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFFu);
    }
    // Nearest integer to r * n / 32767.
    int Round(int n) { return static_cast<int>(Next() * n * kOver1 + 0.5); }
    double Uniform() { return Next() * kOver1; }
    double Symmetric1() { return Next() * kOver2 - 1.0; }
    double Symmetric2() { return Next() * kOver4 - 2.0; }
    void Skip(int draws) {
        for (int i = 0; i < draws; ++i) Next();
    }

    // The turn order of a step: n times, move the entry at RandRound(n - 1) to the end.
    template <class T>
    void Shuffle(std::vector<T>& order) {
        const int n = static_cast<int>(order.size());
        for (int t = 0; t < n; ++t) {
            int j = Round(n - 1);
            T moved = order[static_cast<std::size_t>(j)];
            order.erase(order.begin() + j);
            order.push_back(moved);
        }
    }

    static constexpr double kOver1 = 3.0518509447574615e-05;
    static constexpr double kOver2 = 6.103701889514923e-05;
    static constexpr double kOver4 = 0.00012207403779029846;

  private:
    std::uint32_t state;
};

// The first seed whose turn order of n nodes (listed by index) is `wanted`.
inline unsigned SeedForOrder(const std::vector<int>& wanted) {
    for (unsigned seed = 1;; ++seed) {
        std::vector<int> order(wanted.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
        ExpectedDraws lcg(seed);
        lcg.Shuffle(order);
        if (order == wanted) return seed;
    }
}

}  // namespace qm::test
