#pragma once
// The shuffle that decides in which order the nodes of a world take their turn.

#include <vector>

namespace qm {

class TNode;

// Shuffles n entries by n moves: draw j = RandRound(n - 1) and move the entry
// at position j to the end. Done literally that costs O(n) a move; this keeps
// the entries in 2n slots with a Fenwick tree of occupied slots, so a move is
// O(log n) and the result is the same list. Scratch storage is kept between steps.
class ActionOrderShuffler {
  public:
    void Shuffle(std::vector<TNode*>& order);
    std::size_t Bytes() const { return slots.capacity() * sizeof(TNode*) + tree.capacity() * sizeof(int); }

  private:
    int FindOccupied(int k) const;  // slot (1-based) of the k-th occupied slot
    void Add(int slot, int delta);

    std::vector<TNode*> slots;
    std::vector<int> tree;
    int size = 0;
    int topBit = 0;
};

// The same shuffle done literally, O(n^2); kept as the reference the fast one is tested against.
void ShuffleLiterally(std::vector<TNode*>& order);

}  // namespace qm
