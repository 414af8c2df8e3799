// The walls of the world box: bounces with restitution 0.8, the rest
// threshold 0.03, the floor with sliding and static friction, the ceiling, the
// side walls; and a step that would end more than a unit past a wall.

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

// The wall as written acts on the predicted position, bounces a step late and
// keeps a push into the floor; where that would end a step more than a grid
// cell (5 units) past a wall, the wall takes the velocity into it (bounced)
// and the push into it. Closer than that the written reaction stands.
TEST_F(WallReactionTest, AStepEndsAtMostACellPastAWall) {
    struct Case {
        const char* what;
        Vector3 pos, vel, force;
        Vector3 endPos, endVel;
    };
    const Case cases[] = {
        // Gravity 0.01 on a node at rest, held by static friction: it sinks 0.01.
        {"resting on the floor", {0.0f, -25.0f, 0.0f}, {}, {}, {0.0f, -25.01f, 0.0f}, {0.0f, -0.01f, 0.0f}},
        // A push of 30 limited to 10 would take it to -35: the push goes, it stays on the floor.
        {"pushed into the floor",
         {100.0f, -25.0f, 0.0f},
         {},
         {0.0f, -30.0f, 0.0f},
         {100.0f, -25.0f, 0.0f},
         {}},
        // Leaving the floor at 0.5 under a push of 8.025 down: the written bounce
        // makes -0.4 and -33.425 would follow; the wall bounces that -0.4 to 0.32.
        {"leaving the floor, pushed back",
         {200.0f, -25.0f, 0.0f},
         {0.0f, 0.5f, 0.0f},
         {0.0f, -8.0f, 0.0f},
         {200.0f, -24.68f, 0.0f},
         {0.0f, 0.32f, 0.0f}},
        // 3.99 up from the ceiling, as a crowd pushes: within the slack.
        {"pressed against the ceiling",
         {300.0f, 24.0f, 0.0f},
         {},
         {0.0f, 4.0f, 0.0f},
         {300.0f, 27.99f, 0.0f},
         {0.0f, 3.99f, 0.0f}},
        // 9.99 up would end at 33.99: the push goes.
        {"pushed through the ceiling",
         {400.0f, 24.0f, 0.0f},
         {},
         {0.0f, 10.0f, 0.0f},
         {400.0f, 24.0f, 0.0f},
         {}},
        // With drag the push is 9.94 outward: the wall cancels it and bounces
        // -8 to 6.4, which would carry the node 6.4 past; bounced again it
        // moves 5.12 back in. The same on the other side wall.
        {"carried past a side wall",
         {498.5f, 0.0f, 0.0f},
         {-8.0f, 0.0f, 0.0f},
         {9.7f, 0.0f, 0.0f},
         {493.88f, -0.01f, 0.0f},
         {-5.12f, -0.01f, 0.0f}},
        {"carried past the far side wall",
         {0.0f, 0.0f, -498.5f},
         {0.0f, 0.0f, 8.0f},
         {0.0f, 0.0f, -9.7f},
         {0.0f, -0.01f, -494.88f},
         {0.0f, -0.01f, 5.12f}},
    };
    // Each node is far from the others and is checked after its first step.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TNode* node = At(c.pos.x, c.pos.y, c.pos.z, c.vel, c.force);
        context.random.Seed(1);
        ASSERT_NO_THROW(world.Action());
        EXPECT_NEAR(node->pos.x, c.endPos.x, 1e-4);
        EXPECT_NEAR(node->pos.y, c.endPos.y, 1e-4);
        EXPECT_NEAR(node->pos.z, c.endPos.z, 1e-4);
        EXPECT_NEAR(node->vel.x, c.endVel.x, 1e-4);
        EXPECT_NEAR(node->vel.y, c.endVel.y, 1e-4);
        EXPECT_NEAR(node->vel.z, c.endVel.z, 1e-4);
        EXPECT_TRUE(FiledWhereItIs(node));
    }
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
