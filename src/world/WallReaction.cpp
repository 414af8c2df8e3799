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
    if (next.y <= floorY || next.y >= ceilingY) {
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
            f = 0.0f;
            v = Bounce(v, physics);
            p = p > static_cast<float>(origin) ? high : low;
        }
    };
    sideWall(pos.x, vel.x, force.x, gridOrigin[0], kBoxHalfX);
    sideWall(pos.z, vel.z, force.z, gridOrigin[2], kBoxHalfZ);
}

}  // namespace qm
