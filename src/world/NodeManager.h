#pragma once
// One simulated world: its nodes, their links and the spatial grid that finds
// near neighbours. Action() advances it by one step.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <vector>

#include "math/D3dxTypes.h"
#include "node/NodeWorld.h"
#include "node/RefMapList.h"
#include "node/TNode.h"
#include "world/ActionOrder.h"
#include "world/NodeTable.h"
#include "world/SpatialGrid.h"
#include "world/StepProfile.h"

namespace qm {

class Device;
struct RunContext;
class Unit;

// Scratch of the neighbour loop: one batch of neighbours with their
// positions, and the forces computed for them (RepelNeighbours).
struct RepulsionBatch {
    static constexpr int kSize = 64;
    void Compute(int n);
    float px = 0.0f, py = 0.0f, pz = 0.0f;
    double repulsion = 0.0;  // the world's, set before each use
    alignas(64) float x[kSize], y[kSize], z[kSize];
    alignas(64) float fx[kSize], fy[kSize], fz[kSize], length[kSize];
    GridEntry* q[kSize];
};

class NodeManager final : public NodeWorld {
  public:
    using Cell = std::vector<TNode*>;

    // Where the goal is unless a driver puts it elsewhere: on the floor, 250 units ahead.
    static constexpr Vector3 kDefaultGoal{0.0f, -25.0f, 250.0f};

    // How the node loop finds each node's unlinked neighbours: Batched is the
    // step's own loop over the grid's copies of positions and forces; Plain
    // calls NeighbourCells, isLink and IntNodeRepForce for every pair, as
    // written. Both give the same bits; tests compare them.
    enum class NeighbourLoop { Batched, Plain };
    void SetNeighbourLoop(NeighbourLoop loop) { neighbourLoop = loop; }

    // The world draws from its run's generator and takes node ids from its
    // run's counter; the context outlives the world.
    explicit NodeManager(RunContext& context);
    ~NodeManager();
    NodeManager(const NodeManager&) = delete;
    NodeManager& operator=(const NodeManager&) = delete;

    // Life of the world.
    void InitWorld(Unit* initGene);
    void initContainer();
    TNode* NewNode(Unit* initGene);
    // Action is one world step (the link pass, then NodeAction); NodeAction is
    // its loop over the nodes; nodeAction (LinksAndForces.cpp) is one node's
    // own part of its turn: diffusion in, goal test, gene.
    void Action();
    void NodeAction();
    void PickNode(const Vector3& origin, const Vector3& direction, int key);
    int GetNodeCount() const { return static_cast<int>(nodeMap.size()); }
    const Vector3& GetCentroid() const { return centroid; }
    void ToggleRunning() { running = !running; }
    bool IsRunning() const { return running; }
    // Asked every kTurnsBetweenInterruptChecks turns of a step: when it says
    // yes the step is cut short with an interrupted error (the user is
    // quitting and need not wait for the rest of a long step).
    static constexpr std::size_t kTurnsBetweenInterruptChecks = 4096;
    void SetInterruptCheck(std::function<bool()> check) { interruptCheck = std::move(check); }
    // The most nodes the world may hold: a division beyond it is an error.
    void SetNodeLimit(int limit) { nodeLimit = limit; }
    int NodeLimit() const { return nodeLimit; }

    // Links (LinksAndForces.cpp).
    void LinkNode(TNode* a, TNode* b);
    void UnLinkNode(TNode* a, TNode* b);
    void UnLinkNode(TNode* a) override;
    bool isLink(TNode* a, TNode* b);
    void PulseLinked(TNode* a, int index, double amount) override;
    void ImpulseLinked(TNode* a, double x, double y) override;

    // One node's turn and the forces (LinksAndForces.cpp).
    void nodeAction(TNode* node);
    void LinkInt();
    void IntLinkForce(TNode* a, TNode* b);
    void IntNodeRepForce(TNode* a, TNode* b);
    void nodeInteraction(TNode* node);
    void spaceAffection(TNode* node);

    // Population and walls (Division.cpp, WallReaction.cpp).
    void divide(TNode* parent);
    void dead(TNode* node);
    void React(TNode* node);

    // Spatial grid (SpatialGrid.cpp).
    // The cell of the node's position (see CellOf); a position that is not
    // finite has none and is an error.
    GridCell CellIndex(const TNode* node) const {
        const Vector3& p = node->pos;
        if (!IsFinite(p)) ThrowNotFinite(node);
        return CellOf(p.x, p.y, p.z, gridOrigin[0], gridOrigin[1], gridOrigin[2]);
    }
    void addToGrid(TNode* node, const GridCell& cell);
    void delFromGrid(TNode* node, const GridCell& cell);
    void delFromGrid(TNode* node);
    int NeighbourCells(const TNode* node);
    // The nodes filed in a cell, in their order.
    Cell CellAt(const GridCell& cell) const;
    // The cells NeighbourCells found, in the order the neighbour loop visits them.
    const std::array<GridCell, 27>& NeighbourBuffer() const { return neighbourCells; }

    // Drawing (WorldDrawing.cpp).
    void Render(Device& device, NodeDrawing& drawing);

    RunContext& Context() const { return context; }

    // Read access for drivers, tools and tests.
    // Every live node, in ascending id; each entry destructures as [id, node].
    const NodeTable& NodeMap() const { return nodeMap; }
    const RefMapList& Links() const { return links; }
    TNode* SelectedNode() const { return selectedNode; }
    void SelectNode(TNode* node) { selectedNode = node; }
    const Vector3& GoalPos() const { return goalPos; }
    void SetGoalPos(const Vector3& goal) { goalPos = goal; }
    // Before the world's first node is made: a node takes its first link
    // length and frictions from it.
    void SetPhysics(const Physics& laws) { physics = laws; }
    const std::vector<TNode*>& DeadNodes() const { return deadNodes; }
    const std::vector<TNode*>& NewNodes() const { return newNodes; }

    // Every cell that holds a node, with its nodes in their order:
    // visit(const GridCell&, std::span<const GridEntry>), by x, then y, then z.
    template <class Visit>
    void ForEachCell(Visit&& visit) const {
        grid.ForEachCell(visit);
    }

    // Bringing back a saved world between steps (record/RunState.cpp). On a
    // world emptied by initContainer: RestoreNode for every node in ascending
    // id, then its fields, cells, links and the rest in any order. These set
    // what they are given and check nothing: the caller has checked it.
    // The node takes `id`, joins nodeMap and is filed in no cell and linked to nothing.
    TNode* RestoreNode(std::int32_t id);
    // Files the nodes in the cell, in this order, after any already there.
    void RestoreCell(const GridCell& cell, std::span<TNode* const> nodes);
    void RestorePartners(TNode* node, std::span<TNode* const> partners) {
        links.RestorePartners(node, partners);
    }
    // A node killed with the mouse since the last step: it waits in deadNodes.
    void RestoreDying(TNode* node);
    void RestoreCentroid(const Vector3& c) { centroid = c; }
    void SetRunning(bool on) { running = on; }

    // Time spent in each phase of the steps so far, when profiling is on.
    void EnableProfile(bool on) { profile.enabled = on; }
    const StepProfile& Profile() const { return profile; }

    // Bytes the world holds for its containers (not the nodes themselves).
    std::size_t ContainerBytes() const;

  private:
    static bool InRange(const GridCell& c) { return SpatialGrid::InRange(c); }
    [[noreturn]] static void ThrowNotFinite(const TNode* node);
    void RepelNeighboursBatched(TNode* node, const GridCell& c);
    void RepelNeighboursPlain(TNode* node);
    void EnterNodeLoop();
    // The node whose turn starts takes back its force from the grid's copy,
    // where the turns before it added theirs.
    void ReclaimForce(TNode* node);
    void LeaveNodeLoop();
    static void PrefetchNode(const TNode* node);
    void PrefetchCells(const TNode* node);
    static GridEntry EntryOf(TNode* node) {
        return {node, node->pos.x, node->pos.y, node->pos.z, node->force.x, node->force.y, node->force.z};
    }
    void BuildActionOrder();
    void ApplyPendingInputs();
    void AdmitNewNodes();
    void RemoveDeadNodes();
    void MoveInGrid(TNode* node, const GridCell& before);
    void ReactToWalls(TNode* node);
    void HoldInBox(TNode* node);
    void DivideAmongNeighbours(TNode* parent, TNode* child);
    void DivideAlongLinks(TNode* parent, TNode* child);
    void PlaceBetween(TNode* parent, TNode* child, const TNode* partner);
    void DestroyNodes();

    std::int32_t TakeNodeId();
    // The step a node made now records as its birth (the run's step, saturated).
    std::int32_t BirthStep() const;

    RunContext& context;
    NodeTable nodeMap;
    std::vector<TNode*> newNodes;
    std::vector<TNode*> deadNodes;
    std::vector<TNode*> actionOrder;
    SpatialGrid grid;
    std::array<GridCell, 27> neighbourCells{};
    RefMapList links;
    std::array<std::int32_t, 3> gridOrigin{0, 0, 0};
    TNode* selectedNode = nullptr;
    Vector3 centroid;
    Vector3 goalPos = kDefaultGoal;
    bool running = true;
    int nodeLimit = std::numeric_limits<int>::max();
    std::function<bool()> interruptCheck;

    ActionOrderShuffler shuffler;          // scratch of the shuffle, reused every step
    std::vector<TNode*> partnerScratch;    // scratch of division
    std::vector<TNode*> candidateScratch;  // scratch of division
    StepProfile profile;
    RepulsionBatch repulsion;
    NeighbourLoop neighbourLoop = NeighbourLoop::Batched;
    bool inNodeLoop = false;    // the grid's copies of the forces count (see EnterNodeLoop)
    TNode* turnNode = nullptr;  // whose turn it is in the node loop
};

}  // namespace qm
