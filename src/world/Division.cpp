// Division and death: a child is made next to a node that asked to divide and
// wired into its links; a node that asked to die leaves the world.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/RunContext.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

// A child's mutation draw would have to reach this; RandUniform stays in [0, 1].
constexpr float kMutationThreshold = 11.0f;
// A child starts this many units above where division places it.
constexpr float kLift = 2.0f;
// Among neighbours, a child links to at most this many partners of the parent
// that close a triangle with it.
constexpr int kMaxCommonPartnerLinks = 2;

// Three draws, in the order z, y, x, each from `draw`.
template <class Draw>
void OffsetBy(Vector3& p, Draw draw) {
    double z = draw();
    double y = draw();
    double x = draw();
    p = {static_cast<float>(p.x + x), static_cast<float>(p.y + y), static_cast<float>(p.z + z)};
}

// Both wirings place the child towards a partner of the parent: a parent that
// counts links must have one, or the registry and the counts disagree.
ErrorText NoPartner(const TNode& parent) {
    return ErrorText{
        FormatString("Node ID: %d counts %d links but has no partner\n", parent.id, parent.edgeCount)};
}

}  // namespace

void NodeManager::divide(TNode* parent) try {
    // Dead nodes of this step still wait in nodeMap; the children in newNodes.
    const std::size_t count = nodeMap.size() - deadNodes.size() + newNodes.size();
    if (count >= static_cast<std::size_t>(nodeLimit)) {
        throw ErrorText{FormatString(
            "Node ID: %d cannot divide: the world holds %zu nodes, the limit set by --max-nodes is %d\n",
            parent->id, count, nodeLimit)};
    }
    // Ids are never given twice; a run resumed from a checkpoint may have
    // none left, and the counter must not wrap.
    if (context.nextNodeId == std::numeric_limits<std::int32_t>::max()) {
        throw ErrorText{
            FormatString("Node ID: %d cannot divide: every node id has been given out\n", parent->id)};
    }
    // The child belongs to the world from here on (it is destroyed with it
    // should the step end in an error); it joins nodeMap after the node loop.
    newNodes.push_back(new TNode(this, TakeNodeId()));
    TNode* child = newNodes.back();
    child->goal = goalPos;
    child->parent = parent->id;
    child->born = BirthStep();
    std::int32_t q = parent->request;
    child->Inherit(parent);

    // A draw in [0, 1] never reaches the threshold, so children are never
    // mutated; the draw is still made because every later draw of the run
    // depends on how many came before it.
    double m = context.random.RandUniform();
    if (m >= kMutationThreshold) {
        context.diagnostics.DebugPrint("m\n");
        child->unit->Mutate(context.random);
        context.diagnostics.DebugPrint("me\n");
    }

    if (parent->edgeCount > 0) {
        if (q == kDivideG) DivideAmongNeighbours(parent, child);
        if (q == kDivideT) DivideAlongLinks(parent, child);
    } else {
        child->pos = parent->pos;
        OffsetBy(child->pos, [this] { return context.random.RandSymmetric2(); });
        LinkNode(parent, child);
        child->Diffuse(parent);
    }
    child->pos.y += kLift;
    // The child is not in the grid yet, so only the walls act here; it is
    // filed in its cell once they have put it inside the box.
    try {
        ReactToWalls(child);
    } catch (...) {
        RethrowReplaced("React(*)\n");
    }
    addToGrid(child, CellIndex(child));
    child->ApplyFlux();
} catch (...) {
    RethrowSigned("NodeManager::divide; \n");
}

// Halfway towards `partner`, with a jitter of up to one unit per axis.
void NodeManager::PlaceBetween(TNode* parent, TNode* child, const TNode* partner) {
    Vector3 h = (partner->pos - parent->pos) * 0.5f;
    child->pos = parent->pos + h;
    OffsetBy(child->pos, [this] { return context.random.RandSymmetric1(); });
}

void NodeManager::DivideAmongNeighbours(TNode* parent, TNode* child) {
    TNode* m = nullptr;
    for (TNode* p : links.Partners(parent)) {
        if (!m || p->edgeCount > m->edgeCount) m = p;
    }
    if (!m) throw NoPartner(*parent);
    LinkNode(parent, child);
    child->Diffuse(parent);
    LinkNode(child, m);
    child->Diffuse(m);
    PlaceBetween(parent, child, m);

    // The partners that close a triangle with parent and M.
    candidateScratch.clear();
    for (TNode* v : links.Partners(parent)) {
        if (isLink(v, m) && !isLink(v, child) && v->id != child->id) candidateScratch.push_back(v);
    }
    std::stable_sort(candidateScratch.begin(), candidateScratch.end(),
                     [](const TNode* a, const TNode* b) { return a->edgeCount < b->edgeCount; });
    std::size_t linked = std::min<std::size_t>(candidateScratch.size(), kMaxCommonPartnerLinks);
    for (std::size_t i = 0; i < linked; ++i) {
        LinkNode(child, candidateScratch[i]);
        child->Diffuse(candidateScratch[i]);
    }
    // With two common partners the child now stands between parent and M.
    if (candidateScratch.size() >= 2) UnLinkNode(parent, m);
}

void NodeManager::DivideAlongLinks(TNode* parent, TNode* child) {
    partnerScratch.clear();
    for (TNode* p : links.Partners(parent)) partnerScratch.push_back(p);
    if (partnerScratch.empty()) throw NoPartner(*parent);
    LinkNode(parent, child);
    TNode* lastLinked = nullptr;
    std::size_t count = std::min<std::size_t>(partnerScratch.size(), 2);
    for (std::size_t i = 0; i < count; ++i) {
        LinkNode(child, partnerScratch[i]);
        child->Diffuse(partnerScratch[i]);
        lastLinked = partnerScratch[i];
    }
    PlaceBetween(parent, child, lastLinked);
    child->Diffuse(parent);
}

void NodeManager::dead(TNode* node) try {
    if (selectedNode == node) selectedNode = nullptr;
    deadNodes.push_back(node);
    node->dying = true;
    UnLinkNode(node);
    delFromGrid(node);
} catch (...) {
    RethrowSigned("NodeManager::dead; \n");
}

}  // namespace qm
