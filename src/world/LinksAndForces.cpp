// Links between nodes, what travels along them, one node's turn, and the
// forces of a step: springs, repulsion between unlinked neighbours, gravity and drag.

#include "base/Diagnostics.h"
#include "base/Errors.h"
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
    auto [first, last] = links.Partners(a);
    for (auto it = first; it != last; ++it) it->second->edgeCount -= 1;
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
    auto [first, last] = links.Partners(a);
    for (auto it = first; it != last; ++it) it->second->AddInput(index, share);
}

void NodeManager::ImpulseLinked(TNode* a, double x, double y) {
    auto [first, last] = links.Partners(a);
    for (auto it = first; it != last; ++it) it->second->AddInputTanh(x, y);
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

void NodeManager::nodeInteraction(TNode* node) try {
    int count = NeighbourCells(node);
    for (int i = 0; i < count; ++i) {
        for (TNode* q : *neighbourCells[static_cast<std::size_t>(i)]) {
            if (q->id != node->id && !isLink(node, q)) IntNodeRepForce(node, q);
        }
    }
} catch (...) {
    RethrowSigned(FormatString("NodeManager::nodeInteraction Node ID: %d\n", node->id));
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
