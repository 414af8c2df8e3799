// The walls of the world box: bounces with restitution 0.8, the rest
// threshold 0.03, the floor with sliding and static friction, the ceiling, the
// side walls; and a node carried past the floor or the ceiling, which is filed
// in the bottom or top layer and brought back by the walls on its next turn.

#include <gtest/gtest.h>

#include <cmath>

#include "base/RunContext.h"
#include "support/WorldFixture.h"

namespace qm::test {
namespace {

class WallReactionTest : public WorldFixture {
  protected:
    TNode* At(float x, float y, float z, Vector3 vel, Vector3 force) {
        TNode* node = Place(x, y, z);
        node->vel = vel;
        node->force = force;
        return node;
    }
};

TEST_F(WallReactionTest, ASlowFallOntoTheFloorComesToRestOnIt) {
    TNode* node = At(0.0f, -24.99f, 0.0f, {0.0f, -0.02f, 0.0f}, {});
    world.React(node);
    EXPECT_EQ(node->vel.y, 0.0f);  // 0.8 * 0.02 = 0.016 is below 0.03
    EXPECT_EQ(node->pos.y, -25.0f);
    EXPECT_TRUE(node->onGround);
}

TEST_F(WallReactionTest, AFastFallOntoTheFloorBouncesWithFourFifthsOfItsSpeed) {
    TNode* node = At(0.0f, -24.5f, 0.0f, {0.0f, -1.0f, 0.0f}, {});
    world.React(node);
    EXPECT_FLOAT_EQ(node->vel.y, 0.8f);
    EXPECT_EQ(node->pos.y, -25.0f);
    EXPECT_TRUE(node->onGround);
}

TEST_F(WallReactionTest, TheRestThresholdSeparatesABounceFromRest) {
    TNode* slow = At(0.0f, -24.99f, 0.0f, {0.0f, -0.036f, 0.0f}, {});
    world.React(slow);
    EXPECT_EQ(slow->vel.y, 0.0f);  // 0.0288
    TNode* quick = At(10.0f, -24.99f, 0.0f, {0.0f, -0.04f, 0.0f}, {});
    world.React(quick);
    EXPECT_FLOAT_EQ(quick->vel.y, 0.032f);
}

TEST_F(WallReactionTest, TheCeilingReversesTheClimbAndLeavesTheForceAlone) {
    TNode* node = At(0.0f, 23.5f, 0.0f, {0.0f, 1.0f, 0.0f}, {0.1f, 0.2f, 0.3f});
    world.React(node);
    EXPECT_FLOAT_EQ(node->vel.y, -0.8f);
    EXPECT_EQ(node->pos.y, 24.0f);
    EXPECT_FALSE(node->onGround);
    EXPECT_EQ(node->force, Vector3(0.1f, 0.2f, 0.3f));
}

TEST_F(WallReactionTest, ANodeInTheOpenIsLeftAloneAndOffTheGround) {
    TNode* node = At(3.0f, 0.0f, -7.0f, {1.0f, 1.0f, 1.0f}, {0.5f, -0.5f, 0.25f});
    node->onGround = true;
    world.React(node);
    EXPECT_EQ(node->pos, Vector3(3.0f, 0.0f, -7.0f));
    EXPECT_EQ(node->vel, Vector3(1.0f, 1.0f, 1.0f));
    EXPECT_EQ(node->force, Vector3(0.5f, -0.5f, 0.25f));
    EXPECT_FALSE(node->onGround);
}

TEST_F(WallReactionTest, ReactLimitsForceAndSpeedFirst) {
    TNode* node = At(0.0f, 0.0f, 0.0f, {30.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 25.0f});
    world.React(node);
    EXPECT_EQ(node->vel, Vector3(20.0f, 0.0f, 0.0f));
    EXPECT_EQ(node->force, Vector3(0.0f, 0.0f, 10.0f));
}

TEST_F(WallReactionTest, TheSideWallsStopThePushBounceAndPutTheNodeOnTheWall) {
    TNode* east = At(498.5f, 0.0f, 0.0f, {1.0f, 0.0f, 0.0f}, {0.3f, 0.2f, 0.0f});
    world.React(east);
    EXPECT_EQ(east->pos.x, 499.0f);
    EXPECT_FLOAT_EQ(east->vel.x, -0.8f);
    EXPECT_EQ(east->force, Vector3(0.0f, 0.2f, 0.0f));

    TNode* west = At(-499.5f, 0.0f, 0.0f, {-1.0f, 0.0f, 0.0f}, {});
    world.React(west);
    EXPECT_EQ(west->pos.x, -500.0f);
    EXPECT_FLOAT_EQ(west->vel.x, 0.8f);

    TNode* north = At(0.0f, 0.0f, 498.5f, {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.5f});
    world.React(north);
    EXPECT_EQ(north->pos.z, 499.0f);
    EXPECT_FLOAT_EQ(north->vel.z, -0.8f);
    EXPECT_EQ(north->force.z, 0.0f);

    TNode* south = At(0.0f, 0.0f, -499.98f, {0.0f, 0.0f, -0.03f}, {});
    world.React(south);
    EXPECT_EQ(south->pos.z, -500.0f);
    EXPECT_EQ(south->vel.z, 0.0f);  // 0.024 is below the rest threshold
}

TEST_F(WallReactionTest, AWallThatMovesTheNodeAcrossACellRefilesIt) {
    TNode* node = At(490.0f, 0.0f, 0.0f, {10.0f, 0.0f, 0.0f}, {});
    ASSERT_EQ(world.CellIndex(node).ix, 198);
    world.React(node);
    EXPECT_EQ(node->pos.x, 499.0f);
    EXPECT_EQ(world.CellIndex(node).ix, 199);
    EXPECT_TRUE(FiledWhereItIs(node));
}

TEST_F(WallReactionTest, SlidingOnTheFloorCancelsThePushAndAddsDynamicFrictionAgainstTheMotion) {
    TNode* node = At(0.0f, -25.0f, 0.0f, {0.5f, 0.0f, 0.0f}, {0.0f, -0.2f, 0.0f});
    world.React(node);
    // 0.55 * 0.2 against the motion; the floor takes the push.
    EXPECT_NEAR(node->force.x, -0.11, 1e-7);
    EXPECT_EQ(node->force.y, 0.0f);
    EXPECT_EQ(node->force.z, 0.0f);
    EXPECT_TRUE(node->onGround);

    TNode* diagonal = At(20.0f, -25.0f, 0.0f, {0.3f, 0.0f, -0.4f}, {0.05f, -0.2f, 0.0f});
    world.React(diagonal);
    EXPECT_NEAR(diagonal->force.x, 0.05 - 0.11 * 0.6, 1e-7);
    EXPECT_EQ(diagonal->force.y, 0.0f);
    EXPECT_NEAR(diagonal->force.z, 0.11 * 0.8, 1e-7);
}

TEST_F(WallReactionTest, StaticFrictionHoldsANodeAtRestWhenItIsStrictlyStronger) {
    // 1.25 * 0.5 = 0.625 holds against a sideways push of 0.5; the push into the floor stays.
    TNode* held = At(0.0f, -25.0f, 0.0f, {}, {0.3f, -0.5f, 0.4f});
    world.React(held);
    EXPECT_NEAR(held->force.x, 0.0, 1e-7);
    EXPECT_EQ(held->force.y, -0.5f);
    EXPECT_NEAR(held->force.z, 0.0, 1e-7);
    EXPECT_TRUE(held->onGround);

    TNode* pushed = At(10.0f, -25.0f, 0.0f, {}, {0.7f, -0.5f, 0.0f});
    world.React(pushed);
    EXPECT_EQ(pushed->force, Vector3(0.7f, -0.5f, 0.0f));

    // Equal is not enough: static friction 0.5 + 0.5 times 0.5 against 0.5.
    TNode* balanced = At(20.0f, -25.0f, 0.0f, {}, {0.5f, -0.5f, 0.0f});
    balanced->dynFriction = 0.5f;
    balanced->frictionDiff = 0.5f;
    world.React(balanced);
    EXPECT_EQ(balanced->force, Vector3(0.5f, -0.5f, 0.0f));
}

TEST_F(WallReactionTest, StaticFrictionIsCappedAtTwo) {
    // 1.0 + 1.5 would hold against 2.2; capped at 2.0 it does not, but it holds against 1.9.
    TNode* slips = At(0.0f, -25.0f, 0.0f, {}, {2.2f, -1.0f, 0.0f});
    slips->dynFriction = 1.0f;
    slips->frictionDiff = 1.5f;
    world.React(slips);
    EXPECT_EQ(slips->force, Vector3(2.2f, -1.0f, 0.0f));

    TNode* holds = At(10.0f, -25.0f, 0.0f, {}, {1.9f, -1.0f, 0.0f});
    holds->dynFriction = 1.0f;
    holds->frictionDiff = 1.5f;
    world.React(holds);
    EXPECT_EQ(holds->force, Vector3(0.0f, -1.0f, 0.0f));
}

TEST_F(WallReactionTest, NoFrictionWhenTheForceDoesNotPressIntoTheFloor) {
    TNode* node = At(0.0f, -25.0f, 0.0f, {0.5f, -0.5f, 0.0f}, {0.1f, 0.1f, 0.0f});
    world.React(node);
    EXPECT_EQ(node->force, Vector3(0.1f, 0.1f, 0.0f));
    EXPECT_FLOAT_EQ(node->vel.y, 0.4f);
    EXPECT_TRUE(node->onGround);
}

TEST_F(WallReactionTest, ANodeRestingOnTheFloorPushedSidewaysLessThanStaticFrictionDoesNotSlide) {
    TNode* node = At(0.0f, -25.0f, 0.0f, {}, {0.2f, -0.5f, 0.0f});
    context.random.Seed(1);
    world.Action();
    // Gravity makes the push into the floor 0.51; 1.25 * 0.51 holds against 0.2.
    EXPECT_EQ(node->pos.x, 0.0f);
    EXPECT_EQ(node->vel.x, 0.0f);
    EXPECT_TRUE(node->onGround);
}

TEST_F(WallReactionTest, ABounceThroughAWholeStep) {
    // Gravity and drag give 0.02 up; the floor reverses -1 to 0.8; the node ends at -25 + 0.82.
    TNode* node = At(0.0f, -24.5f, 0.0f, {0.0f, -1.0f, 0.0f}, {});
    context.random.Seed(1);
    world.Action();
    EXPECT_NEAR(node->vel.y, 0.82, 1e-6);
    EXPECT_NEAR(node->pos.y, -24.18, 1e-5);
    EXPECT_TRUE(node->onGround);
}

// The layer a position gets without the rule for nodes past the floor or the ceiling.
int LiteralLayer(float y) { return static_cast<int>((y + 25.0) * 0.2); }

TEST_F(WallReactionTest, ANodePushedIntoTheFloorIsFiledInTheBottomLayerAndComesBack) {
    TNode* node = At(0.0f, -25.0f, 0.0f, {}, {0.0f, -30.0f, 0.0f});
    context.random.Seed(1);
    ASSERT_NO_THROW(world.Action());
    // Limited to 10, the push is not cancelled at rest: one step of -10 from the floor.
    EXPECT_FLOAT_EQ(node->pos.y, -35.0f);
    EXPECT_FLOAT_EQ(node->vel.y, -10.0f);
    EXPECT_EQ(LiteralLayer(node->pos.y), -2);
    EXPECT_EQ(world.CellIndex(node).iy, 0);
    EXPECT_TRUE(FiledWhereItIs(node));

    // Next turn: drag 0.3 and gravity give 0.29 up, the floor puts it back and
    // reverses -10 to 8, and it leaves the floor at 8.29.
    ASSERT_NO_THROW(world.Action());
    EXPECT_GE(node->pos.y, -25.0f);
    EXPECT_NEAR(node->pos.y, -25.0 + 8.29, 1e-5);
    EXPECT_TRUE(FiledWhereItIs(node));
    for (int i = 0; i < 50; ++i) ASSERT_NO_THROW(world.Action());
}

TEST_F(WallReactionTest, ANodePressedAgainstTheCeilingIsFiledInTheTopLayerAndComesBack) {
    TNode* node = At(0.0f, 24.0f, 0.0f, {}, {0.0f, 5.0f, 0.0f});
    context.random.Seed(1);
    ASSERT_NO_THROW(world.Action());
    EXPECT_NEAR(node->pos.y, 24.0 + 4.99, 1e-5);
    EXPECT_EQ(LiteralLayer(node->pos.y), 10);
    EXPECT_EQ(world.CellIndex(node).iy, 9);
    EXPECT_TRUE(FiledWhereItIs(node));

    // Next turn: the ceiling puts it back at 24 and reverses 4.99 to -3.992;
    // with gravity and drag (-0.01 - 0.03 * 4.99) it ends at 24 - 4.1517.
    ASSERT_NO_THROW(world.Action());
    EXPECT_NEAR(node->pos.y, 24.0 - 4.1517, 1e-5);
    EXPECT_TRUE(FiledWhereItIs(node));
    for (int i = 0; i < 50; ++i) ASSERT_NO_THROW(world.Action());
}

// A node moving in from near the side wall with a strong push outward: the
// wall cancels the push and reverses the motion, and the bounce itself carries
// the node past the wall in its move. It is filed in the outermost column and
// the wall brings it back on its next turn, as the floor and the ceiling do.
TEST_F(WallReactionTest, ANodeCarriedPastASideWallIsFiledAtTheEdgeAndComesBack) {
    // With drag 0.03 x 5 the push is 6.5: 498 - 5 + 6.5 reaches the wall at
    // 499, and -499 + 5 - 6.5 the one at -500.
    TNode* node = At(498.0f, 0.0f, -499.0f, {-5.0f, 0.0f, 5.0f}, {6.35f, 0.0f, -6.35f});
    context.random.Seed(1);
    ASSERT_NO_THROW(world.Action());
    EXPECT_NEAR(node->pos.x, 499.0 + 4.0, 1e-4);
    EXPECT_NEAR(node->pos.z, -500.0 - 4.0, 1e-4);
    EXPECT_EQ(world.CellIndex(node).ix, kGridX - 1);
    EXPECT_EQ(world.CellIndex(node).iz, 0);
    EXPECT_TRUE(FiledWhereItIs(node));

    // Next turn: drag takes 0.12, the wall puts it back on 499 (-500) and
    // reverses 4 to -3.2 (3.2).
    ASSERT_NO_THROW(world.Action());
    EXPECT_NEAR(node->pos.x, 499.0 - 3.2, 1e-4);
    EXPECT_NEAR(node->pos.z, -500.0 + 3.2, 1e-4);
    EXPECT_TRUE(FiledWhereItIs(node));
    for (int i = 0; i < 50; ++i) ASSERT_NO_THROW(world.Action());
}

TEST_F(WallReactionTest, NeighboursFindANodeAboveTheCeilingInTheTopLayer) {
    TNode* high = At(0.0f, 26.0f, 0.0f, {}, {});
    ASSERT_EQ(world.CellIndex(high).iy, 9);
    TNode* below = At(0.0f, 22.0f, 0.0f, {}, {});
    world.nodeInteraction(below);
    EXPECT_NEAR(high->force.y, 0.05 / 4.0, 1e-7);
    // Removing it uses the same layer.
    world.dead(high);
    EXPECT_EQ(CountInGrid(high), 0);
}

}  // namespace
}  // namespace qm::test
