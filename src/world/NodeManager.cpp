#include "world/NodeManager.h"

#include <cmath>
#include <iterator>
#include <memory>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/KeyCodes.h"
#include "base/RunContext.h"
#include "gp/Unit.h"

namespace qm {

const char* StepPhaseName(StepPhase phase) {
    static constexpr const char* kNames[] = {"links",     "order",  "genes",     "population",
                                             "repulsion", "motion", "admission", "inputs"};
    static_assert(std::size(kNames) == kStepPhaseCount, "a name for every phase of the step");
    return kNames[static_cast<int>(phase)];
}

NodeManager::NodeManager(RunContext& context) : context(context) {}

NodeManager::~NodeManager() { DestroyNodes(); }

// Nodes live in nodeMap, or in newNodes while a step that was cut short by an
// error still held them; every one is destroyed exactly once.
void NodeManager::DestroyNodes() {
    links.Clear();  // it reaches into the nodes, so before they go
    for (const auto& [id, node] : nodeMap) delete node;
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
    grid.Clear();
    newNodes.shrink_to_fit();
    deadNodes.shrink_to_fit();
    actionOrder.clear();
    selectedNode = nullptr;
} catch (...) {
    RethrowSigned("NodeManager::initContainer\n");
}

TNode* NodeManager::NewNode(Unit* initGene) try {
    auto node = std::make_unique<TNode>(this, TakeNodeId());
    node->goal = goalPos;
    node->born = BirthStep();
    node->NewNode(initGene);
    addToGrid(node.get(), CellIndex(node.get()));
    if (nodeMap.count(node->id)) {
        throw ErrorText{FormatString("nodeMapにNodeID: %dはすでに格納されています\n", node->id)};
    }
    TNode* raw = node.release();
    nodeMap.Insert(raw->id, raw);
    return raw;
} catch (...) {
    RethrowSigned("NodeManager::NewNode(initGene);\n");
}

void NodeManager::Action() try {
    if (running) {
        std::int64_t since = profile.Start();
        LinkInt();
        profile.Lap(StepPhase::Links, since);
        NodeAction();
        if (profile.enabled) ++profile.steps;
    }
    if (selectedNode) selectedNode->Dump(context.textLines);
} catch (...) {
    RethrowSigned("NodeManager::Action; \n");
}

void NodeManager::BuildActionOrder() {
    actionOrder.clear();
    for (const auto& [id, node] : nodeMap) actionOrder.push_back(node);
    shuffler.Shuffle(actionOrder, context.random);
}

// The phases of the loop are timed per node only when profiling is on.
void NodeManager::NodeAction() try {
    std::int64_t since = profile.Start();
    BuildActionOrder();
    profile.Lap(StepPhase::Order, since);
    Vector3 sum;
    EnterNodeLoop();
    const std::size_t turns = actionOrder.size();
    for (std::size_t turn = 0; turn < turns; ++turn) {
        TNode* node = actionOrder[turn];
        // The order is known ahead and random in memory: ask for the node two
        // turns on and for the cells around the next one while this one runs.
        if (turn + 2 < turns) PrefetchNode(actionOrder[turn + 2]);
        if (turn + 1 < turns) PrefetchCells(actionOrder[turn + 1]);
        if (interruptCheck && turn % kTurnsBetweenInterruptChecks == kTurnsBetweenInterruptChecks - 1 &&
            interruptCheck()) {
            ErrorText stop{"the step was interrupted: the program is quitting\n"};
            stop.interrupted = true;
            throw stop;
        }
        // Killed with the mouse since the last step: it waits in deadNodes,
        // out of the grid and unlinked, and takes no turn.
        if (node->dying) continue;
        ReclaimForce(node);
        nodeAction(node);
        profile.Lap(StepPhase::Genes, since);
        std::int32_t request = node->GetRequest();
        if (request == kDie) {
            dead(node);
            profile.Lap(StepPhase::Population, since);
            continue;
        }
        if (request == kDivideG || request == kDivideT) {
            divide(node);
            profile.Lap(StepPhase::Population, since);
        }
        nodeInteraction(node);
        profile.Lap(StepPhase::Repulsion, since);
        spaceAffection(node);
        React(node);
        GridCell before = CellIndex(node);
        node->Integrate();
        MoveInGrid(node, before);
        sum += node->pos;
        profile.Lap(StepPhase::Motion, since);
    }
    LeaveNodeLoop();
    // The divisor still counts the nodes that died in this step and not the
    // children born in it. An empty world keeps its last centroid instead of
    // dividing by zero.
    if (!nodeMap.empty()) {
        float count = static_cast<float>(nodeMap.size());
        centroid = {sum.x / count, sum.y / count, sum.z / count};
    }
    AdmitNewNodes();
    RemoveDeadNodes();
    profile.Lap(StepPhase::Admission, since);
    ApplyPendingInputs();
    profile.Lap(StepPhase::Inputs, since);
} catch (...) {
    LeaveNodeLoop();
    RethrowSigned("NodeManager::NodeAction; \n");
}

// During the node loop the grid's copies of the forces are the ones that
// count: the neighbour loop adds to them. A node's own force comes back to it
// when its turn starts, and its copies are brought up to date whenever it
// moves (MoveInGrid) and when the loop ends. Between steps the nodes' own
// fields count; the loop starts by copying them into the grid.
void NodeManager::EnterNodeLoop() {
    turnNode = nullptr;
    if (neighbourLoop != NeighbourLoop::Batched) return;
    grid.ForEachEntry([](GridEntry& e) { e = EntryOf(e.node); });
    inNodeLoop = true;
}

void NodeManager::ReclaimForce(TNode* node) {
    turnNode = node;
    if (!inNodeLoop) return;
    // A position that is not finite has no cell; the error comes where the
    // step first files or searches by it, as it always did.
    if (!IsFinite(node->pos)) return;
    const GridCell c =
        CellOf(node->pos.x, node->pos.y, node->pos.z, gridOrigin[0], gridOrigin[1], gridOrigin[2]);
    if (!InRange(c)) return;
    if (const GridEntry* e = grid.Find(c, node)) node->force = {e->fx, e->fy, e->fz};
}

void NodeManager::PrefetchNode(const TNode* node) {
    const char* bytes = reinterpret_cast<const char*>(node);
    // The lines a turn reads: motion state, partners, parameters, the gene pointer.
    const char* end = reinterpret_cast<const char*>(&node->goal);
    for (const char* line = bytes; line < end; line += 64) __builtin_prefetch(line);
}

void NodeManager::PrefetchCells(const TNode* node) {
    if (!inNodeLoop || !IsFinite(node->pos)) return;
    const GridCell c =
        CellOf(node->pos.x, node->pos.y, node->pos.z, gridOrigin[0], gridOrigin[1], gridOrigin[2]);
    grid.Prefetch(c);
}

void NodeManager::LeaveNodeLoop() {
    if (!inNodeLoop) return;
    inNodeLoop = false;
    // The node whose turn an error cut short holds its own force.
    TNode* keep = turnNode;
    grid.ForEachEntry([keep](const GridEntry& e) {
        if (e.node != keep) e.node->force = {e.fx, e.fy, e.fz};
    });
}

void NodeManager::MoveInGrid(TNode* node, const GridCell& before) {
    GridCell after = CellIndex(node);
    if (after == before) {
        if (inNodeLoop && InRange(after)) {
            if (GridEntry* e = grid.Find(after, node)) *e = EntryOf(node);
        }
        return;
    }
    delFromGrid(node, before);
    addToGrid(node, after);
}

void NodeManager::AdmitNewNodes() {
    for (TNode* node : newNodes) {
        if (!nodeMap.Insert(node->id, node)) {
            throw ErrorText{FormatString("nodeMapにすでにNode ID: %d が格納されています", node->id)};
        }
    }
    newNodes.clear();
}

void NodeManager::RemoveDeadNodes() {
    if (deadNodes.empty()) return;
    for (TNode* node : deadNodes) {
        if (!nodeMap.Mark(node->id)) {
            nodeMap.EraseMarked();  // those before it are gone
            throw ErrorText{FormatString("nodeMapに 削除するNode ID: %d が見つかりません\n", node->id)};
        }
        delete node;
    }
    nodeMap.EraseMarked();
    deadNodes.clear();
}

// Every node takes in what its neighbours sent it and its diffusion. The
// order is shuffled like the node loop's, but each node touches only its own
// arrays, so only the n draws of that shuffle matter: they are made, and the
// nodes are visited in id order.
void NodeManager::ApplyPendingInputs() {
    const int n = static_cast<int>(nodeMap.size());
    for (int t = 0; t < n; ++t) context.random.RandRound(n - 1);
    for (const auto& [id, node] : nodeMap) {
        node->ApplyInput();
        node->ApplyFlux();
    }
}

void NodeManager::PickNode(const Vector3& origin, const Vector3& direction, int key) {
    float best = 1000.0f;
    TNode* picked = nullptr;
    float reach = Vec3Length(direction);
    for (const auto& [id, node] : nodeMap) {
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

std::int32_t NodeManager::TakeNodeId() { return context.nextNodeId++; }

std::int32_t NodeManager::BirthStep() const {
    return static_cast<std::int32_t>(
        std::min<long long>(context.step, std::numeric_limits<std::int32_t>::max()));
}

TNode* NodeManager::RestoreNode(std::int32_t id) {
    auto node = std::make_unique<TNode>(this, id);
    node->goal = goalPos;
    if (!nodeMap.Insert(id, node.get())) {
        throw ErrorText{FormatString("nodeMapにNodeID: %dはすでに格納されています\n", id)};
    }
    return node.release();
}

void NodeManager::RestoreCell(const GridCell& cell, std::span<TNode* const> nodes) {
    for (TNode* node : nodes) addToGrid(node, cell);
}

void NodeManager::RestoreDying(TNode* node) {
    node->dying = true;
    deadNodes.push_back(node);
}

std::vector<TNode*> NodeManager::CellAt(const GridCell& cell) const {
    std::vector<TNode*> nodes;
    for (const GridEntry& e : grid.At(cell)) nodes.push_back(e.node);
    return nodes;
}

std::size_t NodeManager::ContainerBytes() const {
    const std::size_t pointers = newNodes.capacity() + deadNodes.capacity() + actionOrder.capacity() +
                                 partnerScratch.capacity() + candidateScratch.capacity();
    return sizeof(*this) + nodeMap.Bytes() + grid.Bytes() + links.Bytes() + shuffler.Bytes() +
           pointers * sizeof(std::uintptr_t);  // each a node pointer
}

}  // namespace qm
