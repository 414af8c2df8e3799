#include "world/ActionOrder.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "base/Random.h"

namespace qm {

void ActionOrderShuffler::Add(int word, int delta) {
    for (int i = word + 1; i <= wordCount; i += i & -i) tree[static_cast<std::size_t>(i)] += delta;
}

// The word holding the k-th (1-based) occupied slot, by descent of the tree;
// k becomes the rank within that word.
int ActionOrderShuffler::FindWord(int& k) const {
    int i = 0;
    for (int step = topBit; step > 0; step >>= 1) {
        const int next = i + step;
        if (next <= wordCount && tree[static_cast<std::size_t>(next)] < k) {
            i = next;
            k -= tree[static_cast<std::size_t>(next)];
        }
    }
    return i;  // 0-based word
}

namespace {

// Position of the k-th (1-based) set bit of `bits`, which has at least k.
int SelectBit(std::uint64_t bits, int k) {
    int base = 0;
    for (;;) {
        const int inByte = std::popcount(bits & 0xFFu);
        if (inByte >= k) break;
        k -= inByte;
        bits >>= 8;
        base += 8;
    }
    for (int i = 1; i < k; ++i) bits &= bits - 1;
    return base + std::countr_zero(bits);
}

}  // namespace

void ActionOrderShuffler::Shuffle(std::vector<TNode*>& order, Random& random) {
    const int n = static_cast<int>(order.size());
    if (n == 0) return;
    const int size = 2 * n;
    wordCount = (size + 63) / 64;
    topBit = 1;
    while (topBit * 2 <= wordCount) topBit *= 2;
    if (slots.size() < static_cast<std::size_t>(size)) slots.resize(static_cast<std::size_t>(size));
    std::copy(order.begin(), order.end(), slots.begin());
    occupied.assign(static_cast<std::size_t>(wordCount), 0);
    for (int i = 0; i < n; ++i) occupied[static_cast<std::size_t>(i / 64)] |= std::uint64_t{1} << (i % 64);
    // Linear Fenwick build over the words' counts: each node passes its count up to its parent.
    tree.assign(static_cast<std::size_t>(wordCount) + 1, 0);
    for (int i = 1; i <= wordCount; ++i)
        tree[static_cast<std::size_t>(i)] = std::popcount(occupied[static_cast<std::size_t>(i - 1)]);
    for (int i = 1; i <= wordCount; ++i) {
        const int parent = i + (i & -i);
        if (parent <= wordCount) tree[static_cast<std::size_t>(parent)] += tree[static_cast<std::size_t>(i)];
    }
    for (int t = 0; t < n; ++t) {
        int k = random.RandRound(n - 1) + 1;
        const int word = FindWord(k);
        const int from = word * 64 + SelectBit(occupied[static_cast<std::size_t>(word)], k);
        const int to = n + t;
        slots[static_cast<std::size_t>(to)] = slots[static_cast<std::size_t>(from)];
        occupied[static_cast<std::size_t>(word)] &= ~(std::uint64_t{1} << (from % 64));
        occupied[static_cast<std::size_t>(to / 64)] |= std::uint64_t{1} << (to % 64);
        if (to / 64 != word) {
            Add(word, -1);
            Add(to / 64, +1);
        }
    }
    std::size_t k = 0;
    for (int w = 0; w < wordCount; ++w) {
        for (std::uint64_t bits = occupied[static_cast<std::size_t>(w)]; bits != 0; bits &= bits - 1) {
            order[k++] =
                slots[static_cast<std::size_t>(w) * 64 + static_cast<std::size_t>(std::countr_zero(bits))];
        }
    }
}

void ShuffleLiterally(std::vector<TNode*>& order, Random& random) {
    const int n = static_cast<int>(order.size());
    for (int t = 0; t < n; ++t) {
        int j = random.RandRound(n - 1);
        TNode* node = order[static_cast<std::size_t>(j)];
        order.erase(order.begin() + j);
        order.push_back(node);
    }
}

}  // namespace qm
