// Links between nodes, what travels along them, one node's turn, and the
// forces of a step: springs, repulsion between unlinked neighbours, gravity and drag.

#include <cmath>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "node/RefMapList.h"
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
    double rest = (a->edgeLength + b->edgeLength) * physics.restLengthFactor;
    Vector3 u = Vec3Normalize(d);
    double s = (length - rest) * physics.springStiffness;
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
    double s = physics.repulsion / length;
    Vector3 f = u * static_cast<float>(s);
    b->AddForce(f);
    a->AddForce(-f);
} catch (...) {
    RethrowReplaced("IntNodeRepForce\n");
}

void NodeManager::nodeInteraction(TNode* node) try {
    if (inNodeLoop) {
        RepelNeighboursBatched(node, CellIndex(node));
    } else {
        RepelNeighboursPlain(node);
    }
} catch (...) {
    RethrowSigned(FormatString("NodeManager::nodeInteraction Node ID: %d\n", node->id));
}

// Every node q of the 27 cells around `node`, in their order, that is not
// `node` and not linked to it: IntNodeRepForce(node, q).
void NodeManager::RepelNeighboursPlain(TNode* node) {
    int count = NeighbourCells(node);
    for (int i = 0; i < count; ++i) {
        for (const GridEntry& e : grid.At(neighbourCells[static_cast<std::size_t>(i)])) {
            TNode* q = e.node;
            if (q->id != node->id && !isLink(node, q)) IntNodeRepForce(node, q);
        }
    }
}

// The same as RepelNeighboursPlain, as the hot loop of a step: on the grid's
// copies of positions and forces (contiguous cell by cell, where the nodes
// themselves lie anywhere in memory). The pair test is the scan of node's own
// few partners, the identity test compares addresses (one node per id). The
// neighbours are gathered in batches: the forces of a batch are computed in
// one loop without branches (each lane the same float and double operations
// as IntNodeRepForce, so the compiler may do several at once), then added in
// the neighbours' order, node's own force summed in a local. Nothing here can
// throw, so the signature wrappers of isLink and IntNodeRepForce have nothing
// to catch. NeighbourLoopTest compares the two.
void NodeManager::RepelNeighboursBatched(TNode* node, const GridCell& c) {
    RepulsionBatch& b = repulsion;
    b.px = node->pos.x;
    b.py = node->pos.y;
    b.pz = node->pos.z;
    b.repulsion = physics.repulsion;
    Vector3 own = node->force;
    int n = 0;
    auto flush = [&] {
        b.Compute(n);
        for (int i = 0; i < n; ++i) {
            if (b.length[i] == 0.0f) continue;  // two nodes at one place push nothing
            GridEntry& q = *b.q[i];
            q.fx += b.fx[i];
            q.fy += b.fy[i];
            q.fz += b.fz[i];
            own += -Vector3{b.fx[i], b.fy[i], b.fz[i]};
        }
        n = 0;
    };
    grid.ForEachNeighbour(c, [&](GridEntry& e) {
        if (e.node == node || RefMapList::Linked(node, e.node)) return;
        b.q[n] = &e;
        b.x[n] = e.x;
        b.y[n] = e.y;
        b.z[n] = e.z;
        if (++n == RepulsionBatch::kSize) flush();
    });
    flush();
    node->force = own;
}

void RepulsionBatch::Compute(int n) {
    for (int i = 0; i < n; ++i) {
        const float dx = x[i] - px;
        const float dy = y[i] - py;
        const float dz = z[i] - pz;
        const float l = std::sqrt(dx * dx + dy * dy + dz * dz);  // Vec3Length
        const float s = static_cast<float>(repulsion / static_cast<double>(l));
        fx[i] = dx / l * s;  // Vec3Normalize, then times s
        fy[i] = dy / l * s;
        fz[i] = dz / l * s;
        length[i] = l;
    }
}

void NodeManager::spaceAffection(TNode* node) try {
    node->AddForce(0.0f, -physics.gravity, 0.0f);
    node->AddForce(-physics.drag * node->vel);
} catch (...) {
    RethrowSigned(FormatString("spaceAffection: Node ID: %d;\n", node->id),
                  FormatString("spaceAffection: Node ID: %d %lf;\n", node->id,
                               static_cast<double>(Vec3Length(node->vel))));
}

}  // namespace qm
