#pragma once
// The shuffle that decides in which order the nodes of a world take their turn.

#include <cstdint>
#include <vector>

namespace qm {

class Random;
class TNode;

// Shuffles n entries by n moves: draw j = RandRound(n - 1) and move the entry
// at position j to the end. Done literally that costs O(n) a move. This keeps
// the entries in 2n slots, a bit per slot telling whether it is occupied, and
// a Fenwick tree of the occupied counts of each 64-slot word, so a move is
// O(log n) and the result is the same list. The tree of words is 64 times
// smaller than a tree of slots (125 kB for a million nodes, where one of slots
// took 8 MB and a cache miss at most levels of every descent). Scratch
// storage is kept between steps.
class ActionOrderShuffler {
  public:
    void Shuffle(std::vector<TNode*>& order, Random& random);
    std::size_t Bytes() const {
        return slots.capacity() * sizeof(std::uintptr_t) + occupied.capacity() * sizeof(std::uint64_t) +
               tree.capacity() * sizeof(int);
    }

  private:
    int FindWord(int& k) const;
    void Add(int word, int delta);

    std::vector<TNode*> slots;
    std::vector<std::uint64_t> occupied;
    std::vector<int> tree;
    int wordCount = 0;
    int topBit = 0;
};

// The same shuffle done literally, O(n^2); kept as the reference the fast one is tested against.
void ShuffleLiterally(std::vector<TNode*>& order, Random& random);

}  // namespace qm
