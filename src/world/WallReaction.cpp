// The six walls of the world box: bounces, the floor with its friction, the ceiling.

#include <cmath>

#include "base/Errors.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

// A reversed velocity component, damped; one slower than 3 x gravity
// (world units per step) comes to rest instead.
float Bounce(float v, const Physics& physics) {
    float reversed = -physics.restitution * v;
    return std::fabs(reversed) > 3.0f * physics.gravity ? reversed : 0.0f;
}

// How far past a wall a node may end a step: one grid cell, so that a node
// filed in the edge layer is still found by its neighbours. The wall acts on
// the predicted position and bounces a step late, so a node resting on the
// floor sinks by its weight and a crowd pressed against the ceiling ends a
// step a few units above it; that is how every run at the default physics
// moves, and the slack keeps it so.
constexpr float kWallSlack = static_cast<float>(1.0 / kCellScale);

}  // namespace

void NodeManager::React(TNode* node) try {
    GridCell before = CellIndex(node);
    ReactToWalls(node);
    MoveInGrid(node, before);
} catch (...) {
    RethrowReplaced("React(*)\n");
}

// The walls test where the node would be after this step's integration, but
// move it onto the wall at once; the reversed velocity acts from the next integration.
void NodeManager::ReactToWalls(TNode* node) {
    node->LimitForce();
    node->LimitVel();
    node->onGround = false;
    Vector3& pos = node->pos;
    Vector3& vel = node->vel;
    Vector3& force = node->force;

    const float floorY = static_cast<float>(gridOrigin[1] - kBoxHalfY);
    const float ceilingY = static_cast<float>(gridOrigin[1] + kBoxHalfY - 1);
    Vector3 next = pos + vel + force;
    bool reacted = false;
    if (next.y <= floorY || next.y >= ceilingY) {
        reacted = true;
        vel.y = Bounce(vel.y, physics);
        if (pos.y < static_cast<float>(gridOrigin[1])) {
            node->onGround = true;
            pos.y = floorY;
            const Vector3 f = force;
            const Vector3 normal{0.0f, f.y, 0.0f};
            const Vector3 tangent{f.x, 0.0f, f.z};
            if (-f.y > 0.0f) {
                const Vector3 w{-vel.x, 0.0f, -vel.z};
                if (Vec3Length(w) > 0.0f) {
                    // Sliding: the floor cancels the push and dynamic friction opposes the motion.
                    Vector3 friction = Vec3Normalize(w) * (node->dynFriction * Vec3Length(normal));
                    force += Vector3{0.0f, -f.y, 0.0f};
                    force += friction;
                } else if (node->GetStaticFriction() * Vec3Length(normal) > Vec3Length(tangent)) {
                    // At rest and held by static friction; the push into the floor stays.
                    force += -tangent;
                }
            }
        } else {
            pos.y = ceilingY;
        }
    }

    auto sideWall = [&](float& p, float& v, float& f, int origin, int half) {
        const float low = static_cast<float>(origin - half);
        const float high = static_cast<float>(origin + half - 1);
        float ahead = p + v + f;
        if (ahead <= low || ahead >= high) {
            reacted = true;
            f = 0.0f;
            v = Bounce(v, physics);
            p = p > static_cast<float>(origin) ? high : low;
        }
    };
    sideWall(pos.x, vel.x, force.x, gridOrigin[0], kBoxHalfX);
    sideWall(pos.z, vel.z, force.z, gridOrigin[2], kBoxHalfZ);
    // Away from every wall the step moves the node between here and `next`,
    // both inside the box; only a wall's reaction can leave it outside.
    if (reacted) HoldInBox(node);
}

// The reaction above reverses a wall's velocity component even when it already
// points away from the wall, and keeps a push into the floor; under a strong
// push, no drag and a full bounce that sends a node far out. Where the step
// would end more than the slack past a wall, the wall instead takes the
// velocity into it (bounced) and the force into it. Rejected: changing the
// reaction itself, which alters the runs made at the default physics too.
void NodeManager::HoldInBox(TNode* node) {
    const float low[3] = {static_cast<float>(gridOrigin[0] - kBoxHalfX),
                          static_cast<float>(gridOrigin[1] - kBoxHalfY),
                          static_cast<float>(gridOrigin[2] - kBoxHalfZ)};
    const float high[3] = {static_cast<float>(gridOrigin[0] + kBoxHalfX - 1),
                           static_cast<float>(gridOrigin[1] + kBoxHalfY - 1),
                           static_cast<float>(gridOrigin[2] + kBoxHalfZ - 1)};
    float* vel[3] = {&node->vel.x, &node->vel.y, &node->vel.z};
    float* force[3] = {&node->force.x, &node->force.y, &node->force.z};
    // A held axis moves away from its wall or not at all, and the speed limit
    // only scales the motion, so each pass holds one axis more for good.
    for (int pass = 0; pass < 3; ++pass) {
        const Vector3 end = node->pos + node->NextVelocity();
        const float at[3] = {end.x, end.y, end.z};
        bool held = false;
        for (int axis = 0; axis < 3; ++axis) {
            float& v = *vel[axis];
            float& f = *force[axis];
            if (at[axis] < low[axis] - kWallSlack) {
                if (v < 0.0f) v = Bounce(v, physics);
                if (f < 0.0f) f = 0.0f;
                held = true;
            } else if (at[axis] > high[axis] + kWallSlack) {
                if (v > 0.0f) v = Bounce(v, physics);
                if (f > 0.0f) f = 0.0f;
                held = true;
            }
        }
        if (!held) return;
    }
}

}  // namespace qm
