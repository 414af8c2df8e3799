#include "world/NodeManager.h"

#include <cmath>
#include <memory>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/KeyCodes.h"
#include "base/Random.h"
#include "gp/Unit.h"

namespace qm {

NodeManager::NodeManager() : grid(static_cast<std::size_t>(kGridX) * kGridY * kGridZ) {}

NodeManager::~NodeManager() { DestroyNodes(); }

// Nodes live in nodeMap, or in newNodes while a step that was cut short by an
// error still held them; every one is destroyed exactly once.
void NodeManager::DestroyNodes() {
    for (auto& [id, node] : nodeMap) delete node;
    nodeMap.clear();
    for (TNode* node : newNodes) delete node;
    newNodes.clear();
    deadNodes.clear();
}

void NodeManager::InitWorld(Unit* initGene) try {
    initContainer();
    NewNode(initGene);
} catch (...) {
    RethrowSigned("NodeManager::InitWorld(initGene)\n");
}

void NodeManager::initContainer() try {
    DestroyNodes();
    for (Cell& cell : grid) {
        cell.clear();
        cell.shrink_to_fit();
    }
    links.Clear();
    newNodes.shrink_to_fit();
    deadNodes.shrink_to_fit();
    actionOrder.clear();
    selectedNode = nullptr;
} catch (...) {
    RethrowSigned("NodeManager::initContainer\n");
}

TNode* NodeManager::NewNode(Unit* initGene) try {
    auto node = std::make_unique<TNode>(this);
    node->goal = goalPos;
    node->NewNode(initGene);
    addToGrid(node.get(), CellIndex(node.get()));
    if (nodeMap.count(node->id)) {
        throw ErrorText{FormatString("nodeMapにNodeID: %dはすでに格納されています\n", node->id)};
    }
    TNode* raw = node.release();
    nodeMap[raw->id] = raw;
    return raw;
} catch (...) {
    RethrowSigned("NodeManager::NewNode(initGene);\n");
}

void NodeManager::Action() try {
    if (running) {
        LinkInt();
        NodeAction();
    }
    if (selectedNode) selectedNode->Dump();
} catch (...) {
    RethrowSigned("NodeManager::Action; \n");
}

void NodeManager::BuildActionOrder() {
    actionOrder.clear();
    for (auto& [id, node] : nodeMap) actionOrder.push_back(node);
    shuffler.Shuffle(actionOrder);
}

void NodeManager::NodeAction() try {
    BuildActionOrder();
    Vector3 sum;
    for (TNode* node : actionOrder) {
        // Killed with the mouse since the last step: it waits in deadNodes,
        // out of the grid and unlinked, and takes no turn.
        if (node->dying) continue;
        nodeAction(node);
        std::int32_t request = node->GetRequest();
        if (request == kDie) {
            dead(node);
            continue;
        }
        if (request == kDivideG || request == kDivideT) divide(node);
        nodeInteraction(node);
        spaceAffection(node);
        React(node);
        GridCell before = CellIndex(node);
        node->Integrate();
        MoveInGrid(node, before);
        sum += node->pos;
    }
    // The divisor still counts the nodes that died in this step and not the
    // children born in it. An empty world keeps its last centroid instead of
    // dividing by zero.
    if (!nodeMap.empty()) {
        float count = static_cast<float>(nodeMap.size());
        centroid = {sum.x / count, sum.y / count, sum.z / count};
    }
    AdmitNewNodes();
    RemoveDeadNodes();
    ApplyPendingInputs();
} catch (...) {
    RethrowSigned("NodeManager::NodeAction; \n");
}

void NodeManager::MoveInGrid(TNode* node, const GridCell& before) {
    GridCell after = CellIndex(node);
    if (after == before) return;
    delFromGrid(node, before);
    addToGrid(node, after);
}

void NodeManager::AdmitNewNodes() {
    for (TNode* node : newNodes) {
        if (nodeMap.count(node->id)) {
            throw ErrorText{FormatString("nodeMapにすでにNode ID: %d が格納されています", node->id)};
        }
        nodeMap[node->id] = node;
    }
    newNodes.clear();
}

void NodeManager::RemoveDeadNodes() {
    for (TNode* node : deadNodes) {
        auto it = nodeMap.find(node->id);
        if (it == nodeMap.end()) {
            throw ErrorText{FormatString("nodeMapに 削除するNode ID: %d が見つかりません\n", node->id)};
        }
        nodeMap.erase(it);
        delete node;
    }
    deadNodes.clear();
}

// Every node takes in what its neighbours sent it and its diffusion. The
// order is shuffled like the node loop's, but each node touches only its own
// arrays, so only the n draws of that shuffle matter: they are made, and the
// nodes are visited in id order.
void NodeManager::ApplyPendingInputs() {
    const int n = static_cast<int>(nodeMap.size());
    for (int t = 0; t < n; ++t) RandRound(n - 1);
    for (auto& [id, node] : nodeMap) {
        node->ApplyInput();
        node->ApplyFlux();
    }
}

void NodeManager::PickNode(const Vector3& origin, const Vector3& direction, int key) {
    float best = 1000.0f;
    TNode* picked = nullptr;
    float reach = Vec3Length(direction);
    for (auto& [id, node] : nodeMap) {
        if (node->dying) continue;  // already killed: it must not be killed twice
        Vector3 d = node->pos - origin;
        float t = Vec3Dot(d, direction) / reach;
        if (!(t >= 0.0f)) continue;
        float dist = Vec3Length(d);
        // Rounding can leave dist^2 - t^2 a hair below zero for a node right on the ray.
        float off = std::sqrt(std::fmax(dist * dist - t * t, 0.0f));
        if (off < 0.5f && dist < best) {
            best = dist;
            picked = node;
        }
    }
    if (!picked) {
        selectedNode = nullptr;
    } else if (key == kSelectKey) {
        selectedNode = picked;
    } else if (key == kKillKey) {
        dead(picked);
    }
}

}  // namespace qm
