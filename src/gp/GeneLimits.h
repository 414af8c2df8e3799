#pragma once
// The sizes beyond which a gene is refused, by the compiler and by the loader
// of code strings alike: deeper nesting could exhaust the stack of evaluation
// and printing, and longer genes make every node step slow. Both lie far above
// anything written by hand or grown by mutation (at most 50 elements).

#include <cstddef>
#include <vector>

namespace qm {

inline constexpr int kMaxGeneElements = 10000;
inline constexpr int kMaxGeneDepth = 2500;
// A gene file larger than this is refused unread: with the element limit
// above, the rest could only be comments.
inline constexpr std::size_t kMaxGeneFileBytes = 4 * 1024 * 1024;

// The nesting of a prefix sequence, fed one element's arity at a time: the
// depth of an element is the number of open calls it sits in, itself included.
class NestingCounter {
  public:
    // Takes the next element (arity 0..3); returns its depth.
    int Add(int kind) {
        const int depth = static_cast<int>(open.size()) + 1;
        if (depth > deepest) deepest = depth;
        if (kind > 0) {
            open.push_back(kind);
        } else {
            while (!open.empty() && --open.back() == 0) open.pop_back();
        }
        return depth;
    }
    int Deepest() const { return deepest; }

  private:
    std::vector<int> open;  // arguments still missing, per open call
    int deepest = 0;
};

}  // namespace qm
