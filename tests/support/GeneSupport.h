#pragma once
// Shared set-up for the gene engine tests: compiling source text, catching
// error texts and debug output, a node to run genes on, and the random
// generator's recurrence worked out independently of the engine.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gp/GeneElement.h"
#include "node/TNode.h"
#include "support/ErrorOf.h"

namespace qm::test {

// Compiles gene source text (written to a temporary file) into its code
// string. The code string the compiler writes to the debug output is dropped.
std::string CompileSource(const std::string& source);

// A seed after which the next draw is exactly r (0..32767).
std::uint32_t SeedForDraw(int r);

// The single-precision scale constants, as plain literals.
inline constexpr float kScale1 = 3.0518509447574615e-05f;    // 1/32767
inline constexpr float kScale2 = 6.103701889514923e-05f;     // 2/32767
inline constexpr float kScale5 = 0.00015259254723787308f;    // 5/32767
inline constexpr float kScale13 = 0.00039674062281847f;      // 13/32767
inline constexpr float kScale18 = 0.0005493331700563431f;    // 18/32767
inline constexpr float kScale1p8 = 5.4933316278038546e-05f;  // 1.8/32767

// Nearest integer to r * n / 32767 formed as r * n * (1/32767) + 0.5.
inline int RoundDraw(int r, int n) {
    return static_cast<int>(static_cast<double>(r) * n * static_cast<double>(kScale1) + 0.5);
}
// The same with n / 32767 written as one constant.
inline int RoundScaled(int r, float scale) {
    return static_cast<int>(static_cast<double>(r) * static_cast<double>(scale) + 0.5);
}
// An index of the arity class kind drawn from r.
int IndexDraw(int r, int kind);
// r * 2/32767 - 1.
inline double SymmetricDraw(int r) { return r * static_cast<double>(kScale2) - 1.0; }

// True when the elements form exactly one complete prefix tree: the running
// sum of (1 - kind) first reaches 1 at the last element.
bool IsOneTree(const std::vector<GeneElement>& code);

// A node without a world, its arrays cleared, to run genes on. Primitives
// that reach the world (CUTEDGE with links, PULSE, IMPULSE when firing) need
// a node of a NodeManager instead.
class GeneNode {
  public:
    GeneNode();
    // Compiles source, loads it into the node's gene and evaluates it once.
    double Run(const std::string& source);
    TNode node;
};

// Gene source of a balanced tree of ADD over `leaves` copies of the constant 1:
// 2 * leaves - 1 elements, nested about log2(leaves) deep.
std::string BalancedSum(int leaves);

}  // namespace qm::test
