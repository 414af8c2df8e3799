#include "world/ActionOrder.h"

#include "base/Random.h"

namespace qm {

void ActionOrderShuffler::Add(int slot, int delta) {
    for (; slot <= size; slot += slot & -slot) tree[static_cast<std::size_t>(slot)] += delta;
}

int ActionOrderShuffler::FindOccupied(int k) const {
    int slot = 0;
    for (int step = topBit; step > 0; step >>= 1) {
        int next = slot + step;
        if (next <= size && tree[static_cast<std::size_t>(next)] < k) {
            slot = next;
            k -= tree[static_cast<std::size_t>(next)];
        }
    }
    return slot + 1;
}

void ActionOrderShuffler::Shuffle(std::vector<TNode*>& order) {
    const int n = static_cast<int>(order.size());
    if (n == 0) return;
    size = 2 * n;
    topBit = 1;
    while (topBit * 2 <= size) topBit *= 2;
    slots.assign(static_cast<std::size_t>(size) + 1, nullptr);
    tree.assign(static_cast<std::size_t>(size) + 1, 0);
    for (int i = 0; i < n; ++i) {
        slots[static_cast<std::size_t>(i) + 1] = order[static_cast<std::size_t>(i)];
        tree[static_cast<std::size_t>(i) + 1] = 1;
    }
    // Linear Fenwick build: each node passes its count up to its parent.
    for (int i = 1; i <= size; ++i) {
        int parent = i + (i & -i);
        if (parent <= size) tree[static_cast<std::size_t>(parent)] += tree[static_cast<std::size_t>(i)];
    }
    for (int t = 0; t < n; ++t) {
        int j = RandRound(n - 1);
        int from = FindOccupied(j + 1);
        int to = n + 1 + t;
        slots[static_cast<std::size_t>(to)] = slots[static_cast<std::size_t>(from)];
        slots[static_cast<std::size_t>(from)] = nullptr;
        Add(from, -1);
        Add(to, +1);
    }
    std::size_t k = 0;
    for (int slot = 1; slot <= size; ++slot) {
        if (TNode* node = slots[static_cast<std::size_t>(slot)]) order[k++] = node;
    }
}

void ShuffleLiterally(std::vector<TNode*>& order) {
    const int n = static_cast<int>(order.size());
    for (int t = 0; t < n; ++t) {
        int j = RandRound(n - 1);
        TNode* node = order[static_cast<std::size_t>(j)];
        order.erase(order.begin() + j);
        order.push_back(node);
    }
}

}  // namespace qm
