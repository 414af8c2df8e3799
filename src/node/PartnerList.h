#pragma once
// The partners of one node, oldest link first. Most nodes have a handful of
// links, so the first six live inside the node and the list reaches the heap
// only beyond that; the pair test is a scan of these few pointers, which beats
// any hashed or ordered set at this size (a hashed pair set cost a cache miss
// per neighbour and a third of a step).

#include <cstdint>
#include <span>

namespace qm {

class TNode;

class PartnerList {
  public:
    static constexpr std::uint32_t kInline = 6;

    PartnerList() = default;
    ~PartnerList() { Release(); }
    PartnerList(const PartnerList&) = delete;
    PartnerList& operator=(const PartnerList&) = delete;

    std::span<TNode* const> View() const { return {Data(), size}; }
    int Size() const { return static_cast<int>(size); }
    bool Empty() const { return size == 0; }

    bool Contains(const TNode* p) const {
        TNode* const* d = Data();
        for (std::uint32_t i = 0; i < size; ++i) {
            if (d[i] == p) return true;
        }
        return false;
    }

    void Append(TNode* p) {
        if (size == capacity) Grow();
        Data()[size++] = p;
    }

    // Takes out the first entry `p`, keeping the others in their order; false if there is none.
    bool Remove(const TNode* p) {
        TNode** d = Data();
        for (std::uint32_t i = 0; i < size; ++i) {
            if (d[i] != p) continue;
            for (std::uint32_t k = i + 1; k < size; ++k) d[k - 1] = d[k];
            --size;
            return true;
        }
        return false;
    }

    void Clear() {
        Release();
        size = 0;
        capacity = kInline;
    }

  private:
    TNode** Data() { return capacity > kInline ? store.heap : store.local; }
    TNode* const* Data() const { return capacity > kInline ? store.heap : store.local; }
    void Grow();
    void Release() {
        if (capacity > kInline) delete[] store.heap;
    }

    std::uint32_t size = 0;
    std::uint32_t capacity = kInline;
    union Store {
        TNode* local[kInline];
        TNode** heap;
    } store{};
};

static_assert(sizeof(PartnerList) == 56, "six inline partners and two counts");

}  // namespace qm
