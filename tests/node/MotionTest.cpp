// A node's motion: unit mass and unit time step, so a force is an immediate
// change of velocity; the force and speed limits; the goal test and the smell.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "node/TNode.h"
#include "support/GeneSupport.h"

namespace qm {
namespace {

void ExpectVector(const Vector3& v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

class MotionTest : public ::testing::Test {
  protected:
    TNode node{nullptr, 0};
};

TEST_F(MotionTest, ForceIsAnImmediateChangeOfVelocity) {
    node.SetForce(3.0f, 0.0f, 0.0f);
    node.Integrate();
    ExpectVector(node.GetPos(), 3.0f, 0.0f, 0.0f);
    ExpectVector(node.GetVel(), 3.0f, 0.0f, 0.0f);
    node.Integrate();  // no damping of its own
    ExpectVector(node.GetPos(), 6.0f, 0.0f, 0.0f);
}

TEST_F(MotionTest, ForceIsLimitedToTen) {
    node.SetForce(25.0f, 0.0f, 0.0f);
    node.Integrate();
    ExpectVector(node.GetVel(), 10.0f, 0.0f, 0.0f);
    ExpectVector(node.GetPos(), 10.0f, 0.0f, 0.0f);
}

TEST_F(MotionTest, SpeedIsLimitedToTwenty) {
    node.SetVel(30.0f, 0.0f, 0.0f);
    node.Integrate();
    ExpectVector(node.GetVel(), 20.0f, 0.0f, 0.0f);
    ExpectVector(node.GetPos(), 20.0f, 0.0f, 0.0f);
}

TEST_F(MotionTest, LimitsKeepTheDirection) {
    node.SetForce(12.0f, -16.0f, 0.0f);  // length 20
    node.LimitForce();
    ExpectVector(node.GetForce(), 6.0f, -8.0f, 0.0f);
    node.SetVel(0.0f, 30.0f, 40.0f);  // length 50
    node.LimitVel();
    ExpectVector(node.GetVel(), 0.0f, 12.0f, 16.0f);
}

TEST_F(MotionTest, VectorsAtTheLimitZeroOrNaNAreLeftAlone) {
    node.SetForce(0.0f, 10.0f, 0.0f);
    node.LimitForce();
    EXPECT_EQ(node.GetForce().y, 10.0f);
    node.SetVel(0.0f, 0.0f, -20.0f);
    node.LimitVel();
    EXPECT_EQ(node.GetVel().z, -20.0f);
    node.SetForce(0.0f, 0.0f, 0.0f);
    node.LimitForce();
    EXPECT_EQ(node.GetForce().x, 0.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    node.SetVel(nan, 100.0f, 0.0f);
    node.LimitVel();
    EXPECT_TRUE(std::isnan(node.GetVel().x));
    EXPECT_EQ(node.GetVel().y, 100.0f);
}

TEST_F(MotionTest, ForceIsClearedByEveryStep) {
    node.SetForce(1.0f, 2.0f, 3.0f);
    node.AddForce(1.0f, 1.0f, 1.0f);
    node.AddForce(Vector3{0.5f, 0.5f, 0.5f});
    ExpectVector(node.GetForce(), 2.5f, 3.5f, 4.5f);
    node.Integrate();
    ExpectVector(node.GetForce(), 0.0f, 0.0f, 0.0f);
    ExpectVector(node.GetVel(), 2.5f, 3.5f, 4.5f);
}

TEST_F(MotionTest, StepOrderLimitsForceThenAddsThenLimitsSpeed) {
    // 15 + 10 (limited force) = 25, then limited to 20, then moved.
    node.SetVel(15.0f, 0.0f, 0.0f);
    node.SetForce(40.0f, 0.0f, 0.0f);
    node.SetPos(1.0f, 2.0f, 3.0f);
    node.Integrate();
    ExpectVector(node.GetVel(), 20.0f, 0.0f, 0.0f);
    ExpectVector(node.GetPos(), 21.0f, 2.0f, 3.0f);
}

TEST_F(MotionTest, PositionOperations) {
    node.SetPos(1.0f, 2.0f, 3.0f);
    node.Move(0.5f, -1.0f, 2.0f);
    ExpectVector(node.GetPos(), 1.5f, 1.0f, 5.0f);
    node.GetPos().y = 7.0f;  // the reference is the node's own
    EXPECT_EQ(node.pos.y, 7.0f);
}

TEST_F(MotionTest, GoalTestFiresInsideTwoUnits) {
    node.goal = {10.0f, 0.0f, 0.0f};
    node.SetPos(8.001f, 0.0f, 0.0f);  // 1.999 away
    EXPECT_EQ(test::ErrorTextOf([&] { node.CheckGoal(); }), "GOAL!\n");
    node.SetPos(8.0f, 0.0f, 0.0f);  // exactly 2.0 away
    EXPECT_NO_THROW(node.CheckGoal());
    node.SetPos(10.0f, 0.0f, -1.999f);
    EXPECT_THROW(node.CheckGoal(), ErrorText);
    node.SetPos(10.0f, 3.0f, 0.0f);
    EXPECT_NO_THROW(node.CheckGoal());
}

TEST_F(MotionTest, GoalTestIsTheOneVirtualOperation) {
    struct CountingNode : TNode {
        CountingNode() : TNode(nullptr, 1) {}
        void CheckGoal() override { ++calls; }
        int calls = 0;
    };
    CountingNode counting;
    TNode& base = counting;
    base.CheckGoal();
    EXPECT_EQ(counting.calls, 1);
}

TEST_F(MotionTest, GoalProximityIsTheInverseDistance) {
    node.SetPos(1.0f, 2.0f, 3.0f);
    node.goal = {1.0f, 2.0f, 7.0f};
    EXPECT_EQ(node.GoalProximity(), 0.25);
    node.goal = {1.0f, 2.0f, 5.0f};
    EXPECT_EQ(node.GoalProximity(), 0.5);
}

}  // namespace
}  // namespace qm
