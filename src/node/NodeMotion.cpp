// Motion and the goal test of a node: unit mass, one step per time unit, so a
// force is an instantaneous change of velocity.

#include <cmath>

#include "base/Errors.h"
#include "node/TNode.h"

namespace qm {

void TNode::LimitForce() {
    const float most = Laws().maxForce;
    if (Vec3Length(force) > most) force = Vec3Normalize(force) * most;
}

void TNode::LimitVel() {
    const float most = Laws().maxVelocity;
    if (Vec3Length(vel) > most) vel = Vec3Normalize(vel) * most;
}

Vector3 TNode::NextVelocity() const {
    const Physics& laws = Laws();
    Vector3 f = force;
    if (Vec3Length(f) > laws.maxForce) f = Vec3Normalize(f) * laws.maxForce;
    Vector3 v = vel + f;
    if (Vec3Length(v) > laws.maxVelocity) v = Vec3Normalize(v) * laws.maxVelocity;
    return v;
}

void TNode::Integrate() {
    vel = NextVelocity();
    force = {0.0f, 0.0f, 0.0f};
    pos += vel;
}

double TNode::GoalProximity() const { return 1.0 / static_cast<double>(Vec3Length(goal - pos)); }

void TNode::CheckGoal() {
    if (Vec3Length(goal - pos) < Laws().goalRadius) throw ErrorText{"GOAL!\n", true, false, id};
}

}  // namespace qm
