#include "node/RefMapList.h"

#include <exception>

#include "base/Errors.h"

namespace qm {

NodePair RefMapList::Normalise(TNode* a, TNode* b) {
    if (!a || !b) throw ErrorText{"sort err\n"};
    return a->id <= b->id ? NodePair{a, b} : NodePair{b, a};
}

bool RefMapList::IsRef(TNode* a, TNode* b) const try {
    return linked.count(PairKey(Normalise(a, b))) != 0;
} catch (...) {
    RethrowSigned("RefMapList::IsRef; \n");
}

void RefMapList::Insert(TNode* a, TNode* b) try {
    NodePair p = Normalise(a, b);
    if (refMap.find(p) != refMap.end()) throw ErrorText{"もう有る\n"};
    refMap[p] = 1;
    linked.insert(PairKey(p));
    // A multimap keeps equal keys in insertion order: partners stay oldest first.
    RefList.insert({p.first, p.second});
    RefList.insert({p.second, p.first});
} catch (...) {
    RethrowSigned("RefMapList::Insert; \n");
}

void RefMapList::DeletePair(TNode* a, TNode* b) {
    NodePair p = Normalise(a, b);
    refMap.erase(p);
    linked.erase(PairKey(p));
    if (refMap.find(p) != refMap.end()) throw ErrorText{"refMapから消えてない\n"};
    auto eraseEntry = [this](TNode* key, TNode* value) {
        auto [first, last] = RefList.equal_range(key);
        for (auto it = first; it != last; ++it) {
            if (it->second == value) {
                RefList.erase(it);
                return;
            }
        }
        throw ErrorText{"RefListから消えてない\n"};
    };
    eraseEntry(p.first, p.second);
    eraseEntry(p.second, p.first);
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
    auto [first, last] = RefList.equal_range(a);
    for (auto it = first; it != last; ++it) scratch.push_back(it->second);
    for (TNode* b : scratch) Delete(a, b);
    scratch.clear();
} catch (...) {
    RethrowSigned("RefMapList::Delete(TNode*); \n");
}

void RefMapList::Clear() {
    refMap.clear();
    linked.clear();
    RefList.clear();
    scratch.clear();
}

}  // namespace qm
