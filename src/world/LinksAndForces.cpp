// Links between nodes, what travels along them, one node's turn, and the
// forces of a step: springs, repulsion between unlinked neighbours, gravity and drag.

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "node/RefMapList.h"
#include "world/Forces.h"
#include "world/NodeManager.h"

namespace qm {

void NodeManager::LinkNode(TNode* a, TNode* b) try {
    links.Insert(a, b);
    a->edgeCount += 1;
    b->edgeCount += 1;
} catch (...) {
    RethrowSigned("NodeManager::LinkNode; \n");
}

void NodeManager::UnLinkNode(TNode* a, TNode* b) try {
    links.Delete(a, b);
    a->edgeCount -= 1;
    b->edgeCount -= 1;
} catch (...) {
    RethrowSigned("NodeManager::UnLinkNode(*,*); \n");
}

void NodeManager::UnLinkNode(TNode* a) try {
    int n = links.PartnerCount(a);
    for (TNode* p : links.Partners(a)) p->edgeCount -= 1;
    a->edgeCount -= n;
    links.Delete(a);
} catch (...) {
    RethrowSigned("NodeManager::UnLinkNode(*); \n");
}

bool NodeManager::isLink(TNode* a, TNode* b) try { return links.IsRef(a, b); } catch (...) {
    RethrowSigned("NodeManager::isLink; \n");
}

void NodeManager::PulseLinked(TNode* a, int index, double amount) {
    int n = links.PartnerCount(a);
    if (n == 0) return;
    double share = amount / (2 * n);
    for (TNode* p : links.Partners(a)) p->AddInput(index, share);
}

void NodeManager::ImpulseLinked(TNode* a, double x, double y) {
    for (TNode* p : links.Partners(a)) p->AddInputTanh(x, y);
}

void NodeManager::nodeAction(TNode* node) try {
    node->ApplyFlux();
    node->CheckGoal();
    node->Run();
} catch (...) {
    RethrowSigned(FormatString("NodeManager::nodeAction(TNode*): Node ID: %d;\n", node->id),
                  FormatString("NodeManager::nodeAction(TNode*): Node ID %d;\n", node->id));
}

void NodeManager::LinkInt() try {
    for (const auto& [pair, one] : links.Pairs()) {
        pair.first->Diffuse(pair.second);
        IntLinkForce(pair.first, pair.second);
    }
} catch (...) {
    RethrowSigned("NodeManager::LinkInt; \n");
}

void NodeManager::IntLinkForce(TNode* a, TNode* b) try {
    Vector3 d = b->pos - a->pos;
    float length = Vec3Length(d);
    if (length == 0.0f) return;
    double rest = (a->edgeLength + b->edgeLength) * kRestLengthFactor;
    Vector3 u = Vec3Normalize(d);
    double s = (length - rest) * kSpringStiffness;
    Vector3 f = u * static_cast<float>(s);
    a->AddForce(f);
    b->AddForce(-f);
} catch (...) {
    RethrowReplaced("IntLinkForce\n");
}

void NodeManager::IntNodeRepForce(TNode* a, TNode* b) try {
    Vector3 d = b->pos - a->pos;
    float length = Vec3Length(d);
    if (length == 0.0f) return;
    Vector3 u = Vec3Normalize(d);
    double s = kRepulsion / length;
    Vector3 f = u * static_cast<float>(s);
    b->AddForce(f);
    a->AddForce(-f);
} catch (...) {
    RethrowReplaced("IntNodeRepForce\n");
}

void NodeManager::nodeInteraction(TNode* node) try { RepelNeighbours(node); } catch (...) {
    RethrowSigned(FormatString("NodeManager::nodeInteraction Node ID: %d\n", node->id));
}

// For every node q of the 27 cells around `node`, in their order, that is not
// `node` and not linked to it: IntNodeRepForce(node, q). This is the hot loop
// of a step, so the pair test is the scan of node's own few partners, the
// identity test compares addresses (one node per id), and node's force is
// summed in a local in the same order instead of in memory that every q might
// alias. Nothing here can throw, so the signature wrappers of isLink and
// IntNodeRepForce have nothing to catch. The test of this loop compares it
// with the plain calls.
void NodeManager::RepelNeighbours(TNode* node) {
    const GridCell c = CellIndex(node);
    const Vector3 p = node->pos;
    Vector3 own = node->force;
    grid.ForEachNeighbour(c, [&](TNode* q) {
        if (q == node || RefMapList::Linked(node, q)) return;
        const Vector3 d = q->pos - p;
        const float length = Vec3Length(d);
        if (length == 0.0f) return;
        const Vector3 u{d.x / length, d.y / length, d.z / length};  // Vec3Normalize(d)
        const double s = kRepulsion / length;
        const Vector3 f = u * static_cast<float>(s);
        q->force += f;
        own += -f;
    });
    node->force = own;
}

void NodeManager::spaceAffection(TNode* node) try {
    node->AddForce(0.0f, -kGravity, 0.0f);
    node->AddForce(-kDrag * node->vel);
} catch (...) {
    RethrowSigned(FormatString("spaceAffection: Node ID: %d;\n", node->id),
                  FormatString("spaceAffection: Node ID: %d %lf;\n", node->id,
                               static_cast<double>(Vec3Length(node->vel))));
}

}  // namespace qm
