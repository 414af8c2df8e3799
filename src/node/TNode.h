#pragma once
// One node of a creature: a point body with a position, a velocity and a
// pending force; ten parameters that its gene reads and writes and that
// diffuse along links; its body properties; a pending request; its own gene.

#include <array>
#include <cstdint>
#include <memory>

#include "gp/GeneHost.h"
#include "gp/Unit.h"
#include "math/D3dxTypes.h"
#include "node/NodeWorld.h"
#include "node/PartnerList.h"

namespace qm {

class Device;
class NodeDrawing;
class TextLines;

inline constexpr int paramCount = 10;  // parameter slots, and diffusion rates, per node

// std::tanh, remembered for the last arguments seen (bit-identical results).
double MemoTanh(double x);

// The parameter slot a program value names: trunc(clamp(tanh x, 0, 1) * 9).
// NaN selects slot 0.
int SlotIndex(double x);

// The request values a gene writes.
enum Request : std::int32_t { kNoRequest = 0, kDivideG = 1, kDivideT = 2, kDie = 3 };

class alignas(64) TNode : public GeneHost {
  public:
    using Params = std::array<double, paramCount>;

    // The world gives the id (from its run's counter, or the id a saved node had).
    TNode(NodeWorld* manager, std::int32_t id);
    virtual ~TNode() = default;
    TNode(const TNode&) = delete;
    TNode& operator=(const TNode&) = delete;

    // Creation.
    void NewNode(Unit* gene);
    void Inherit(TNode* parent);
    void ResetParams();

    // Parameters, as the gene names them.
    double GetP(double x) const override { return param[SlotIndex(x)]; }
    void SetP(double a, double b) override;
    void AddP(double a, double b) override;
    double GetD(double x) const override { return diffRate[SlotIndex(x)]; }
    void SetD(double a, double b) override;
    void AddD(double a, double b) override;
    void AddInput(int i, double v) { paramInput[i] += v; }
    void AddInputTanh(double a, double b);
    void ApplyInput();
    void ApplyFlux();
    void Diffuse(TNode* other);

    // Body properties.
    void SetEdgeLength(double x) override;
    void SetDynFriction(double x) override;
    void SetFrictionDiff(double x) override;
    float GetStaticFriction() const;
    void SetColor(double x, double y, double z) override;

    // Requests and identity.
    void RequestDivideG() override { request = kDivideG; }
    void RequestDivideT() override { request = kDivideT; }
    void RequestDie() override { request = kDie; }
    std::int32_t GetRequest() const { return request; }
    std::int32_t GetId() const { return id; }
    int GetEdgeCount() const override { return edgeCount; }
    bool IsOnGround() const override { return onGround; }

    // What the node passes on to its gene and its world.
    void Run() { unit->Evaluate(); }
    void Pulse(double x) override;
    void Impulse(double a, double b) override;
    void CutEdges() override;
    // The node's id, parameters and rates as the lines drawn for a selected node.
    void Dump(TextLines& out) const;

    // Motion.
    Vector3& GetPos() { return pos; }
    void SetPos(float x, float y, float z) { pos = {x, y, z}; }
    void Move(float dx, float dy, float dz) { pos += Vector3{dx, dy, dz}; }
    Vector3& GetVel() { return vel; }
    void SetVel(float x, float y, float z) { vel = {x, y, z}; }
    Vector3& GetForce() { return force; }
    void SetForce(float x, float y, float z) { force = {x, y, z}; }
    void AddForce(float x, float y, float z) { force += Vector3{x, y, z}; }
    void AddForce(const Vector3& v) { force += v; }
    void LimitForce();
    void LimitVel();
    // The velocity Integrate will give: the force cut to its limit, added,
    // and the sum cut to the speed limit.
    Vector3 NextVelocity() const;
    void Integrate();
    double GoalProximity() const override;
    virtual void CheckGoal();
    // Its world's, or the defaults for a node outside any world.
    const Physics& Laws() const { return manager ? manager->GetPhysics() : DefaultPhysics(); }

    // Drawing (NodeDrawing.cpp).
    void Render(Device& device, const NodeDrawing& drawing);
    void RenderShadow(Device& device, const NodeDrawing& drawing);

    // Declared hot first. What the neighbour loop of a step touches for every
    // neighbour (position and force, after the vtable pointer) shares the
    // node's first cache line; the rest of the motion state and the link
    // bookkeeping follow; the parameters, the gene and the drawing state
    // come last. Nodes are allocated on cache-line boundaries.
    Vector3 pos;
    Vector3 force;
    Vector3 vel;
    std::int32_t id;
    std::int32_t request = kNoRequest;
    std::int32_t edgeCount = 0;
    bool onGround = false;
    // Set when the world takes the node out (it waits in deadNodes until the
    // end of the node loop); such a node no longer acts, moves or is picked.
    bool dying = false;
    // Set from the world's physics when the node is made.
    double edgeLength;
    float staticFriction0;
    float dynFriction;
    float frictionDiff;
    // Lineage, set once when the node is made: the id of the node that divided
    // into it (-1 for a run's first node) and the step it was made in (-1
    // when unknown: a node restored from a checkpoint that did not keep it).
    // They fill what alignment leaves free, so the node does not grow.
    std::int32_t parent = -1;
    PartnerList partners;  // kept by the world's link registry (RefMapList)
    NodeWorld* manager;
    std::unique_ptr<Unit> unit;
    Params param;
    Params paramInput;
    Params paramFlux;
    Params diffRate;
    Vector3 goal;
    Vector3 rot;
    Material material;
    Matrix drawTransform;   // the world transform of the last draw (the cube, then its shadow)
    std::int32_t born = 0;  // see parent; a step past 2^31 - 1 is kept as 2^31 - 1
};

// Pinned so that a field added in the wrong place shows: the first cache line
// holds the vtable pointer, the motion state and the counters; then 24 bytes
// of body properties, 56 of partners, 336 of parameters and gene, and 156 of
// goal and drawing state: 640 in all (the test of the layout checks the line).
static_assert(sizeof(TNode) == 640, "TNode grew: keep the hot fields first and say why it grew");

}  // namespace qm
