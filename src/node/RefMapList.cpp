#include "node/RefMapList.h"

#include <algorithm>
#include <exception>

#include "base/Errors.h"

namespace qm {

void PartnerList::Grow() {
    const std::uint32_t grown = capacity * 2;
    TNode** heap = new TNode*[grown];
    std::copy(Data(), Data() + size, heap);
    Release();
    store.heap = heap;
    capacity = grown;
}

TNode* RefMapList::NextPartner(const TNode* a, std::int64_t after) {
    TNode* best = nullptr;
    for (TNode* p : a->partners.View()) {
        if (p->id > after && (!best || p->id < best->id)) best = p;
    }
    return best;
}

void RefMapList::PairRange::iterator::Settle() {
    for (; at != end; ++at) {
        if (!at->node) continue;
        if (TNode* partner = NextPartner(at->node, static_cast<std::int64_t>(at->id) - 1)) {
            current.first = {at->node, partner};
            return;
        }
    }
    current.first = {nullptr, nullptr};
}

NodePair RefMapList::Normalise(TNode* a, TNode* b) {
    if (!a || !b) throw ErrorText{"sort err\n"};
    return a->id <= b->id ? NodePair{a, b} : NodePair{b, a};
}

bool RefMapList::IsRef(TNode* a, TNode* b) const try {
    NodePair p = Normalise(a, b);
    // Either list answers; the shorter one sooner.
    return p.first->partners.Size() <= p.second->partners.Size() ? Linked(p.first, p.second)
                                                                 : Linked(p.second, p.first);
} catch (...) {
    RethrowSigned("RefMapList::IsRef; \n");
}

// New nodes have the largest ids yet, so they join at the end; a node that
// lost its links and gets one again finds its old entry or is put in its place.
void RefMapList::Enlist(TNode* node) {
    if (members.empty() || members.back().id < node->id) {
        members.push_back({node->id, node});
        return;
    }
    auto at = std::lower_bound(members.begin(), members.end(), node->id,
                               [](const Member& m, std::int32_t id) { return m.id < id; });
    if (at != members.end() && at->id == node->id) {
        if (!at->node) --emptyMembers;
        at->node = node;
        return;
    }
    members.insert(at, {node->id, node});
}

void RefMapList::Delist(const TNode* node) {
    auto at = std::lower_bound(members.begin(), members.end(), node->id,
                               [](const Member& m, std::int32_t id) { return m.id < id; });
    if (at == members.end() || at->node != node) return;
    at->node = nullptr;
    ++emptyMembers;
    // Dropping the empty entries costs a pass over the list: done once they are half of it.
    if (emptyMembers > 64 && emptyMembers * 2 > members.size()) {
        std::erase_if(members, [](const Member& m) { return m.node == nullptr; });
        emptyMembers = 0;
    }
}

void RefMapList::Insert(TNode* a, TNode* b) try {
    NodePair p = Normalise(a, b);
    if (Linked(p.first, p.second)) throw ErrorText{"もう有る\n"};
    if (p.first->partners.Empty()) Enlist(p.first);
    p.first->partners.Append(p.second);
    if (p.second->partners.Empty()) Enlist(p.second);
    p.second->partners.Append(p.first);
    ++linkCount;
} catch (...) {
    RethrowSigned("RefMapList::Insert; \n");
}

void RefMapList::DeletePair(TNode* a, TNode* b) {
    NodePair p = Normalise(a, b);
    if (!p.first->partners.Remove(p.second)) throw ErrorText{"RefListから消えてない\n"};
    if (!p.second->partners.Remove(p.first)) throw ErrorText{"RefListから消えてない\n"};
    --linkCount;
    if (p.first->partners.Empty()) Delist(p.first);
    if (p.second != p.first && p.second->partners.Empty()) Delist(p.second);
}

void RefMapList::Delete(TNode* a, TNode* b) {
    static const char* kLine = "RefMapList::Delete(TNode*,TNode*); \n";
    try {
        DeletePair(a, b);
    } catch (const ErrorText& e) {
        throw ErrorText{std::string("s::") + kLine + e.text};
    } catch (const std::exception& e) {
        throw ErrorText{std::string("ex::") + kLine + e.what()};
    } catch (...) {
        throw ErrorText{std::string("...:") + kLine};
    }
}

void RefMapList::Delete(TNode* a) try {
    scratch.clear();
    for (TNode* b : a->partners.View()) scratch.push_back(b);
    for (TNode* b : scratch) Delete(a, b);
    scratch.clear();
} catch (...) {
    RethrowSigned("RefMapList::Delete(TNode*); \n");
}

void RefMapList::RestorePartners(TNode* a, std::span<TNode* const> partners) {
    if (partners.empty()) return;
    for (TNode* b : partners) {
        a->partners.Append(b);
        if (a->id < b->id) ++linkCount;  // each link counted once, at its smaller id
    }
    Enlist(a);
}

void RefMapList::Clear() {
    for (const Member& m : members) {
        if (m.node) m.node->partners.Clear();
    }
    members.clear();
    emptyMembers = 0;
    linkCount = 0;
    scratch.clear();
}

}  // namespace qm
