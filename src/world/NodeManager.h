#pragma once
// One simulated world: its nodes, their links and the spatial grid that finds
// near neighbours. Action() advances it by one step.

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "node/RefMapList.h"
#include "node/TNode.h"
#include "platform/D3dxTypes.h"
#include "world/ActionOrder.h"

namespace qm {

class Device;
class Unit;

// Grid of 5-unit cells over the world box.
inline constexpr int kGridX = 200;
inline constexpr int kGridY = 10;
inline constexpr int kGridZ = 200;
inline constexpr int kBoxHalfX = 500;
inline constexpr int kBoxHalfY = 25;
inline constexpr int kBoxHalfZ = 500;
inline constexpr double kCellScale = 0.2;

// Links and forces.
inline constexpr double kSpringStiffness = 0.02;
inline constexpr double kRestLengthFactor = 0.5;
inline constexpr double kRepulsion = 0.05;
inline constexpr float kGravity = 0.01f;
inline constexpr float kDrag = 0.03f;

// Division and walls.
inline constexpr float kMutationThreshold = 11.0f;
inline constexpr float kRestitution = 0.8f;
inline constexpr float kRestThreshold = 3.0f * kGravity;
inline constexpr float kLift = 2.0f;
inline constexpr int kMaxCommonPartnerLinks = 2;

struct GridCell {
    int ix = 0, iy = 0, iz = 0;
    friend constexpr bool operator==(const GridCell&, const GridCell&) = default;
};

class NodeManager {
  public:
    using Cell = std::vector<TNode*>;

    NodeManager();
    ~NodeManager();
    NodeManager(const NodeManager&) = delete;
    NodeManager& operator=(const NodeManager&) = delete;

    // Life of the world.
    void InitWorld(Unit* initGene);
    void initContainer();
    TNode* NewNode(Unit* initGene);
    void Action();
    void NodeAction();
    void PickNode(const Vector3& origin, const Vector3& direction, int key);
    int GetNodeCount() const { return static_cast<int>(nodeMap.size()); }
    const Vector3& GetCentroid() const { return centroid; }
    void ToggleRunning() { running = !running; }
    bool IsRunning() const { return running; }

    // Links (LinksAndForces.cpp).
    void LinkNode(TNode* a, TNode* b);
    void UnLinkNode(TNode* a, TNode* b);
    void UnLinkNode(TNode* a);
    bool isLink(TNode* a, TNode* b);
    void PulseLinked(TNode* a, int index, double amount);
    void ImpulseLinked(TNode* a, double x, double y);

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
    GridCell CellIndex(const TNode* node) const;
    void addToGrid(TNode* node, const GridCell& cell);
    void delFromGrid(TNode* node, const GridCell& cell);
    void delFromGrid(TNode* node);
    int NeighbourCells(const TNode* node);
    const Cell& CellAt(const GridCell& cell) const { return grid[Flat(cell)]; }
    const std::array<Cell*, 27>& NeighbourBuffer() const { return neighbourCells; }

    // Drawing (WorldDrawing.cpp).
    void Render(Device& device);

    // Read access for drivers, tools and tests.
    const std::map<std::int32_t, TNode*>& NodeMap() const { return nodeMap; }
    const RefMapList& Links() const { return links; }
    TNode* SelectedNode() const { return selectedNode; }
    void SelectNode(TNode* node) { selectedNode = node; }
    const Vector3& GoalPos() const { return goalPos; }
    void SetGoalPos(const Vector3& goal) { goalPos = goal; }
    const std::vector<TNode*>& DeadNodes() const { return deadNodes; }
    const std::vector<TNode*>& NewNodes() const { return newNodes; }

  private:
    static std::size_t Flat(const GridCell& c) {
        return (static_cast<std::size_t>(c.ix) * kGridY + static_cast<std::size_t>(c.iy)) * kGridZ +
               static_cast<std::size_t>(c.iz);
    }
    static bool InRange(const GridCell& c) {
        return c.ix >= 0 && c.ix < kGridX && c.iy >= 0 && c.iy < kGridY && c.iz >= 0 && c.iz < kGridZ;
    }
    void BuildActionOrder();
    void ApplyPendingInputs();
    void AdmitNewNodes();
    void RemoveDeadNodes();
    void MoveInGrid(TNode* node, const GridCell& before);
    void ReactToWalls(TNode* node);
    void DivideAmongNeighbours(TNode* parent, TNode* child);
    void DivideAlongLinks(TNode* parent, TNode* child);
    void PlaceBetween(TNode* parent, TNode* child, const TNode* partner);
    void DestroyNodes();

    std::map<std::int32_t, TNode*> nodeMap;
    std::vector<TNode*> newNodes;
    std::vector<TNode*> deadNodes;
    std::vector<TNode*> actionOrder;
    std::vector<Cell> grid;
    std::array<Cell*, 27> neighbourCells{};
    RefMapList links;
    std::array<std::int32_t, 3> gridOrigin{0, 0, 0};
    TNode* selectedNode = nullptr;
    Vector3 centroid;
    Vector3 goalPos{0.0f, -25.0f, 250.0f};
    bool running = true;

    ActionOrderShuffler shuffler;          // scratch of the shuffle, reused every step
    std::vector<TNode*> partnerScratch;    // scratch of division
    std::vector<TNode*> candidateScratch;  // scratch of division
};

}  // namespace qm
