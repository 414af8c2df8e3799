// Links between nodes, what travels along them, one node's turn, and the
// forces of a step: springs, repulsion between unlinked neighbours, gravity and drag.

#include "shell/Diagnostics.h"
#include "shell/Errors.h"
#include "world/NodeManager.h"

namespace qm {

void NodeManager::LinkNode(TNode* a, TNode* b) {
    Signed("NodeManager::LinkNode; \n", [&] {
        links.Insert(a, b);
        a->edgeCount += 1;
        b->edgeCount += 1;
    });
}

void NodeManager::UnLinkNode(TNode* a, TNode* b) {
    Signed("NodeManager::UnLinkNode(*,*); \n", [&] {
        links.Delete(a, b);
        a->edgeCount -= 1;
        b->edgeCount -= 1;
    });
}

void NodeManager::UnLinkNode(TNode* a) {
    Signed("NodeManager::UnLinkNode(*); \n", [&] {
        int n = links.PartnerCount(a);
        auto [first, last] = links.Partners(a);
        for (auto it = first; it != last; ++it) it->second->edgeCount -= 1;
        a->edgeCount -= n;
        links.Delete(a);
    });
}

bool NodeManager::isLink(TNode* a, TNode* b) {
    return Signed("NodeManager::isLink; \n", [&] { return links.IsRef(a, b); });
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

void NodeManager::nodeAction(TNode* node) {
    Signed([&] { return FormatString("NodeManager::nodeAction(TNode*): Node ID: %d;\n", node->id); },
           [&] { return FormatString("NodeManager::nodeAction(TNode*): Node ID %d;\n", node->id); },
           [&] {
               node->ApplyFlux();
               node->CheckGoal();
               node->Run();
           });
}

void NodeManager::LinkInt() {
    Signed("NodeManager::LinkInt; \n", [&] {
        for (const auto& [pair, one] : links.Pairs()) {
            pair.first->Diffuse(pair.second);
            IntLinkForce(pair.first, pair.second);
        }
    });
}

void NodeManager::IntLinkForce(TNode* a, TNode* b) {
    Replaced("IntLinkForce\n", [&] {
        Vector3 d = b->pos - a->pos;
        float length = Vec3Length(d);
        if (length == 0.0f) return;
        double rest = (a->edgeLength + b->edgeLength) * kRestLengthFactor;
        Vector3 u = Vec3Normalize(d);
        double s = (length - rest) * kSpringStiffness;
        Vector3 f = u * static_cast<float>(s);
        a->AddForce(f);
        b->AddForce(-f);
    });
}

void NodeManager::IntNodeRepForce(TNode* a, TNode* b) {
    Replaced("IntNodeRepForce\n", [&] {
        Vector3 d = b->pos - a->pos;
        float length = Vec3Length(d);
        if (length == 0.0f) return;
        Vector3 u = Vec3Normalize(d);
        double s = kRepulsion / length;
        Vector3 f = u * static_cast<float>(s);
        b->AddForce(f);
        a->AddForce(-f);
    });
}

void NodeManager::nodeInteraction(TNode* node) {
    Signed([&] { return FormatString("NodeManager::nodeInteraction Node ID: %d\n", node->id); },
           [&] {
               int count = NeighbourCells(node);
               for (int i = 0; i < count; ++i) {
                   for (TNode* q : *neighbourCells[static_cast<std::size_t>(i)]) {
                       if (q->id != node->id && !isLink(node, q)) IntNodeRepForce(node, q);
                   }
               }
           });
}

void NodeManager::spaceAffection(TNode* node) {
    Signed([&] { return FormatString("spaceAffection: Node ID: %d;\n", node->id); },
           [&] {
               return FormatString("spaceAffection: Node ID: %d %lf;\n", node->id,
                                   static_cast<double>(Vec3Length(node->vel)));
           },
           [&] {
               node->AddForce(0.0f, -kGravity, 0.0f);
               node->AddForce(-kDrag * node->vel);
           });
}

}  // namespace qm
