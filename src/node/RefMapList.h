#pragma once
// The link registry: which pairs of nodes are linked. Each node keeps its
// partners, oldest link first (division depends on that order), in its own
// PartnerList; the registry keeps the nodes that have partners in id order,
// so every walk over the links visits the pairs by (smaller id, larger id),
// the same in every run.
//
// Two containers used to hold the links: an ordered map of pairs and an
// ordered multimap of partners, plus a hashed set for the pair test. Three
// node-based containers per link cost most of a step in cache misses; the
// partners alone answer every question, and the pair order follows from the
// id order of the nodes.

#include <cstdint>
#include <iterator>
#include <span>
#include <utility>
#include <vector>

#include "node/TNode.h"

namespace qm {

using NodePair = std::pair<TNode*, TNode*>;

class RefMapList {
  public:
    // A node with links; `node` is null once it has none left (the entry is
    // reused should it be linked again, or dropped by the next compaction).
    struct Member {
        std::int32_t id;
        TNode* node;
    };

    // Every link once, as a normalised pair (smaller id first) with the value
    // 1, ordered by the first id, then the second.
    class PairRange {
      public:
        using value_type = std::pair<NodePair, std::int32_t>;
        class iterator {
          public:
            using iterator_category = std::forward_iterator_tag;
            using value_type = PairRange::value_type;
            using difference_type = std::ptrdiff_t;
            using pointer = const value_type*;
            using reference = const value_type&;

            iterator() = default;
            iterator(const Member* at, const Member* end) : at(at), end(end) { Settle(); }
            reference operator*() const { return current; }
            pointer operator->() const { return &current; }
            iterator& operator++() {
                TNode* next = NextPartner(at->node, current.first.second->id);
                if (next) {
                    current.first.second = next;
                } else {
                    ++at;
                    Settle();
                }
                return *this;
            }
            iterator operator++(int) {
                iterator old = *this;
                ++*this;
                return old;
            }
            friend bool operator==(const iterator& a, const iterator& b) {
                return a.at == b.at && a.current.first.second == b.current.first.second;
            }

          private:
            void Settle();
            const Member* at = nullptr;
            const Member* end = nullptr;
            value_type current{{nullptr, nullptr}, 1};  // the pair *this names; second is null at the end
        };

        PairRange(const Member* first, const Member* last) : first(first), last(last) {}
        iterator begin() const { return {first, last}; }
        iterator end() const { return {last, last}; }

      private:
        const Member* first;
        const Member* last;
    };

    bool IsRef(TNode* a, TNode* b) const;
    void Insert(TNode* a, TNode* b);
    void Delete(TNode* a, TNode* b);
    void Delete(TNode* a);
    void Clear();

    // Restoring a saved world: gives `a`, which has no links yet, these
    // partners in this order (its oldest link first). Called for every node
    // of the world in ascending id, with lists that agree (b among a's
    // partners exactly when a is among b's), it rebuilds the registry exactly.
    void RestorePartners(TNode* a, std::span<TNode* const> partners);

    // The pair test of the step's neighbour loop: a scan of a's few partners,
    // without the signature wrapper (nothing in it can fail). Same answer as IsRef.
    static bool Linked(const TNode* a, const TNode* b) { return a->partners.Contains(b); }

    // Number of links of a.
    int PartnerCount(const TNode* a) const { return a->partners.Size(); }
    // The partners of a, oldest link first.
    std::span<TNode* const> Partners(const TNode* a) const { return a->partners.View(); }
    // Every link once, as normalised pairs, in id order.
    PairRange Pairs() const { return {members.data(), members.data() + members.size()}; }
    // The nodes with links, in id order (null entries are nodes that lost them).
    const std::vector<Member>& Members() const { return members; }
    std::size_t Size() const { return linkCount; }
    std::size_t PartnerEntries() const { return 2 * linkCount; }
    // Bytes of the registry's own storage (the partner lists live in the nodes).
    std::size_t Bytes() const {
        return members.capacity() * sizeof(Member) + scratch.capacity() * sizeof(std::uintptr_t);
    }

    // The partner of `a` with the smallest id above `after`, or null.
    static TNode* NextPartner(const TNode* a, std::int64_t after);

  private:
    static NodePair Normalise(TNode* a, TNode* b);
    void DeletePair(TNode* a, TNode* b);
    void Enlist(TNode* node);
    void Delist(const TNode* node);

    std::vector<Member> members;  // ascending id
    std::size_t emptyMembers = 0;
    std::size_t linkCount = 0;
    std::vector<TNode*> scratch;
};

}  // namespace qm
