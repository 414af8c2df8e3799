#pragma once
// The live nodes of a world by id, walked in ascending id: a sorted array of
// (id, node) entries. Ids come from one counter that only grows, so a node
// joining a world has the largest id yet and is appended; the dead of a step
// are taken out in one pass. Walking it is a walk over contiguous memory,
// where an ordered map chased a pointer per node.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace qm {

class TNode;

class NodeTable {
  public:
    using Entry = std::pair<std::int32_t, TNode*>;
    using const_iterator = std::vector<Entry>::const_iterator;

    const_iterator begin() const { return entries.begin(); }
    const_iterator end() const { return entries.end(); }
    std::size_t size() const { return entries.size(); }
    bool empty() const { return entries.empty(); }
    const_iterator find(std::int32_t id) const {
        auto at = LowerBound(id);
        return at != entries.end() && at->first == id ? at : entries.end();
    }
    std::size_t count(std::int32_t id) const { return find(id) == end() ? 0 : 1; }

    // False (and nothing changes) when the id is there already.
    bool Insert(std::int32_t id, TNode* node) {
        if (entries.empty() || entries.back().first < id) {
            entries.emplace_back(id, node);
            return true;
        }
        auto at = LowerBound(id);
        if (at != entries.end() && at->first == id) return false;
        entries.insert(at, Entry{id, node});
        return true;
    }

    // Marks the entry of `id` for removal by EraseMarked; false when there is none.
    bool Mark(std::int32_t id) {
        auto at = LowerBound(id);
        if (at == entries.end() || at->first != id) return false;
        entries[static_cast<std::size_t>(at - entries.begin())].second = nullptr;
        return true;
    }
    void EraseMarked() {
        std::erase_if(entries, [](const Entry& e) { return e.second == nullptr; });
    }

    void clear() { entries.clear(); }
    std::size_t Bytes() const { return entries.capacity() * sizeof(Entry); }

  private:
    std::vector<Entry>::const_iterator LowerBound(std::int32_t id) const {
        return std::lower_bound(entries.begin(), entries.end(), id,
                                [](const Entry& e, std::int32_t v) { return e.first < v; });
    }

    std::vector<Entry> entries;
};

}  // namespace qm
