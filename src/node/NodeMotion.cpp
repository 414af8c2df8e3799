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

void TNode::Integrate() {
    LimitForce();
    vel += force;
    LimitVel();
    force = {0.0f, 0.0f, 0.0f};
    pos += vel;
}

double TNode::GoalProximity() const { return 1.0 / static_cast<double>(Vec3Length(goal - pos)); }

void TNode::CheckGoal() {
    if (Vec3Length(goal - pos) < Laws().goalRadius) throw ErrorText{"GOAL!\n", true, false, id};
}

}  // namespace qm
