#pragma once
// The link registry: which pairs of nodes are linked. Two views of the same
// set are kept and checked against each other on every removal: one entry per
// link keyed by the normalised pair, and two entries per link keyed by node.
// Both order nodes by id, so every walk over the links is the same in every run.

#include <cstdint>
#include <map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "node/TNode.h"

namespace qm {

struct NodeById {
    bool operator()(const TNode* a, const TNode* b) const { return a->id < b->id; }
};

using NodePair = std::pair<TNode*, TNode*>;

struct NodePairById {
    bool operator()(const NodePair& a, const NodePair& b) const {
        if (a.first->id != b.first->id) return a.first->id < b.first->id;
        return a.second->id < b.second->id;
    }
};

class RefMapList {
  public:
    using PairMap = std::map<NodePair, std::int32_t, NodePairById>;
    using PartnerMap = std::multimap<TNode*, TNode*, NodeById>;
    using PartnerRange = std::pair<PartnerMap::const_iterator, PartnerMap::const_iterator>;

    bool IsRef(TNode* a, TNode* b) const;
    void Insert(TNode* a, TNode* b);
    void Delete(TNode* a, TNode* b);
    void Delete(TNode* a);
    void Clear();

    // Number of links of a.
    int PartnerCount(TNode* a) const { return static_cast<int>(RefList.count(a)); }
    // The partners of a, oldest link first (each entry's second is a partner).
    PartnerRange Partners(TNode* a) const { return RefList.equal_range(a); }
    // Every link once, as normalised pairs (smaller id first), in id order.
    const PairMap& Pairs() const { return refMap; }
    std::size_t Size() const { return refMap.size(); }
    std::size_t PartnerEntries() const { return RefList.size(); }

  private:
    static NodePair Normalise(TNode* a, TNode* b);
    static std::uint64_t PairKey(const NodePair& p) {
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.first->id)) << 32 |
               static_cast<std::uint32_t>(p.second->id);
    }
    void DeletePair(TNode* a, TNode* b);

    PairMap refMap;
    PartnerMap RefList;
    std::vector<TNode*> scratch;
    // The keys of refMap again, hashed: the link test of every neighbour pair
    // in every step answers from here instead of walking the ordered map.
    std::unordered_set<std::uint64_t> linked;
};

}  // namespace qm
