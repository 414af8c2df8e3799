// One world step, phase by phase: the turn order and its draws, births that
// join after the loop, deaths that leave the grid at once and the map after
// the loop, the centroid, a node killed between steps, pausing, the dump of
// the selected node, and the parameters taking in what reached them.

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/RunContext.h"
#include "base/TextLines.h"
#include "support/ErrorOf.h"
#include "support/ExpectedDraws.h"
#include "support/WorldFixture.h"

namespace qm::test {
namespace {

// Divides at every turn; slot 8 (named by 2) records that the program ran.
constexpr const char* kDivider = "PROG3 ( SETP ( 2 3 ) SETP ( 0 1 ) GDIVIDE ( 0 ) )";

class StepTest : public WorldFixture {};

TEST_F(StepTest, TurnsFollowTheShuffleAndEachDivisionDrawsMutationThenZYX) {
    auto divider = CompileGene(kDivider);
    constexpr int kParents = 6;
    std::vector<TNode*> parents;
    std::vector<Vector3> start;
    for (int i = 0; i < kParents; ++i) {
        // 40 units apart: no node is in another's 27 cells, so nothing pushes anything.
        Vector3 p{-200.0f + 40.0f * i, 0.0f, 10.0f * i};
        parents.push_back(Place(p.x, p.y, p.z, *divider));
        start.push_back(p);
    }
    const int firstChild = context.nextNodeId;

    constexpr unsigned kSeed = 12345;
    context.random.Seed(kSeed);
    world.Action();

    ExpectedDraws lcg(kSeed);
    std::vector<int> order(kParents);
    std::iota(order.begin(), order.end(), 0);
    lcg.Shuffle(order);
    ASSERT_NE(order, std::vector<int>({0, 1, 2, 3, 4, 5}));  // the seed must really reorder

    Vector3 sum;
    for (int k = 0; k < kParents; ++k) {
        const int p = order[static_cast<std::size_t>(k)];
        lcg.Next();  // the mutation test
        double dz = lcg.Symmetric2();
        double dy = lcg.Symmetric2();
        double dx = lcg.Symmetric2();
        TNode* child = Find(firstChild + k);
        ASSERT_NE(child, nullptr) << "child " << k;
        // The k-th child made belongs to the k-th parent in turn order.
        auto partners = world.Links().Partners(child);
        ASSERT_EQ(partners.size(), 1u) << "child " << k;
        EXPECT_EQ(partners[0], parents[static_cast<std::size_t>(p)]) << "child " << k;
        const Vector3& s = start[static_cast<std::size_t>(p)];
        EXPECT_NEAR(child->pos.x, s.x + dx, 1e-4);
        EXPECT_NEAR(child->pos.y, s.y + dy + 2.0, 1e-4);
        EXPECT_NEAR(child->pos.z, s.z + dz, 1e-4);
        // Born in this step: it has neither acted nor moved.
        EXPECT_EQ(child->param[8], 0.0);
        EXPECT_EQ(child->vel, Vector3(0.0f, 0.0f, 0.0f));
        EXPECT_TRUE(FiledWhereItIs(child));
        sum += parents[static_cast<std::size_t>(p)]->pos;
    }
    // After the loop every node of the map, children included, is shuffled again.
    lcg.Skip(2 * kParents);
    EXPECT_EQ(context.random.Rand(), lcg.Next());

    EXPECT_EQ(world.GetNodeCount(), 2 * kParents);
    EXPECT_TRUE(world.NewNodes().empty());
    for (int i = 0; i < kParents; ++i) {
        TNode* parent = parents[static_cast<std::size_t>(i)];
        EXPECT_EQ(parent->param[8], 3.0);
        EXPECT_EQ(parent->request, 0);
        EXPECT_EQ(parent->edgeCount, 1);
        // Gravity alone: from rest the velocity becomes -0.01 and the node falls by as much.
        EXPECT_EQ(parent->vel, Vector3(0.0f, -0.01f, 0.0f));
        EXPECT_EQ(parent->pos.y, -0.01f);
    }
    // The centroid counts the parents (summed in turn order) and not the children.
    EXPECT_FLOAT_EQ(world.GetCentroid().x, sum.x / kParents);
    EXPECT_FLOAT_EQ(world.GetCentroid().y, -0.01f);
    EXPECT_FLOAT_EQ(world.GetCentroid().z, sum.z / kParents);
}

TEST_F(StepTest, AChildIsPushedInItsFirstStepOnlyByNodesThatActAfterItsParent) {
    auto divider = CompileGene(kDivider);
    for (bool parentFirst : {true, false}) {
        world.initContainer();
        Place(0.0f, 0.0f, 0.0f, *divider);
        TNode* other = Place(3.0f, 0.0f, 0.0f);
        const Vector3 otherStart = other->pos;
        const int childId = context.nextNodeId;
        context.random.Seed(SeedForOrder(parentFirst ? std::vector<int>{0, 1} : std::vector<int>{1, 0}));
        world.Action();
        TNode* child = Find(childId);
        ASSERT_NE(child, nullptr);
        if (parentFirst) {
            // The other node found the child in the grid at its turn and pushed it away.
            double dx = child->pos.x - otherStart.x;
            double dy = child->pos.y - otherStart.y;
            double dz = child->pos.z - otherStart.z;
            double length = std::sqrt(dx * dx + dy * dy + dz * dz);
            double s = 0.05 / length / length;
            EXPECT_NEAR(child->force.x, s * dx, 1e-7);
            EXPECT_NEAR(child->force.y, s * dy, 1e-7);
            EXPECT_NEAR(child->force.z, s * dz, 1e-7);
            EXPECT_GT(std::fabs(child->force.x) + std::fabs(child->force.y), 1e-4);
        } else {
            EXPECT_EQ(child->force, Vector3(0.0f, 0.0f, 0.0f));
        }
        EXPECT_EQ(child->vel, Vector3(0.0f, 0.0f, 0.0f));
    }
}

TEST_F(StepTest, ADyingNodeLeavesTheGridAtOnceButCountsInTheCentroid) {
    auto dier = CompileGene("DIE");
    for (bool dierFirst : {true, false}) {
        world.initContainer();
        TNode* dying = Place(0.0f, 0.0f, 0.0f, *dier);
        TNode* other = Place(2.0f, 0.0f, 0.0f);
        const int dyingId = dying->id;
        const unsigned seed = SeedForOrder(dierFirst ? std::vector<int>{0, 1} : std::vector<int>{1, 0});
        context.random.Seed(seed);
        world.Action();
        if (dierFirst) {
            // Out of the grid before the other node's turn: nothing pushed it.
            EXPECT_EQ(other->vel, Vector3(0.0f, -0.01f, 0.0f));
        } else {
            // Pushed away along +x by 0.05 / 2 before the dying node's turn.
            EXPECT_FLOAT_EQ(other->vel.x, 0.025f);
            EXPECT_EQ(other->vel.y, -0.01f);
        }
        EXPECT_EQ(Find(dyingId), nullptr);
        EXPECT_EQ(world.GetNodeCount(), 1);
        EXPECT_TRUE(world.DeadNodes().empty());
        // The divisor still counts the node that died in the step.
        EXPECT_FLOAT_EQ(world.GetCentroid().x, other->pos.x / 2.0f);
        EXPECT_FLOAT_EQ(world.GetCentroid().y, other->pos.y / 2.0f);
        // Two draws for the turn order, one for the order after the loop (one node left).
        ExpectedDraws lcg(seed);
        lcg.Skip(3);
        EXPECT_EQ(context.random.Rand(), lcg.Next());
    }
}

TEST_F(StepTest, AWorldWhoseNodesAllDieEndsTheStepEmptyAndLaterStepsRunNothing) {
    auto dier = CompileGene("DIE");
    Place(10.0f, 0.0f, 0.0f, *dier);
    Place(-30.0f, 5.0f, 0.0f, *dier);
    context.random.Seed(3);
    world.Action();
    EXPECT_EQ(world.GetNodeCount(), 0);
    // No survivor adds to the sum, which is divided by the two nodes of the map.
    EXPECT_EQ(world.GetCentroid(), Vector3(0.0f, 0.0f, 0.0f));
    world.Action();
    world.Action();
    EXPECT_EQ(world.GetNodeCount(), 0);
    ExpectedDraws lcg(3);
    lcg.Skip(2);  // only the first step's turn order drew anything
    EXPECT_EQ(context.random.Rand(), lcg.Next());
}

TEST_F(StepTest, ANodeKilledBetweenStepsNeitherActsNorStaysAndIsRemovedOnce) {
    auto divider = CompileGene(kDivider);
    TNode* victim = Place(0.0f, 0.0f, 0.0f, *divider);
    TNode* partner = Place(4.0f, 0.0f, 0.0f);
    TNode* far = Place(60.0f, 0.0f, 0.0f);
    world.LinkNode(victim, partner);
    const int victimId = victim->id;
    const Vector3 origin{0.0f, 0.0f, -10.0f};
    const Vector3 ahead{0.0f, 0.0f, 1.0f};

    world.PickNode(origin, ahead, 83);  // 'S'
    ASSERT_EQ(world.SelectedNode(), victim);
    world.PickNode(origin, ahead, 75);  // 'K'
    EXPECT_EQ(world.SelectedNode(), nullptr);
    ASSERT_EQ(world.DeadNodes().size(), 1u);
    EXPECT_EQ(world.DeadNodes()[0], victim);
    EXPECT_EQ(CountInGrid(victim), 0);
    EXPECT_EQ(victim->edgeCount, 0);
    EXPECT_EQ(partner->edgeCount, 0);
    EXPECT_EQ(world.Links().Size(), 0u);
    EXPECT_EQ(world.GetNodeCount(), 3);  // it leaves the map at the end of the next node loop

    // The same click again must not kill it a second time.
    world.PickNode(origin, ahead, 75);
    EXPECT_EQ(world.DeadNodes().size(), 1u);

    const int nextId = context.nextNodeId;
    context.random.Seed(77);
    EXPECT_NO_THROW(world.Action());
    EXPECT_EQ(Find(victimId), nullptr);
    EXPECT_EQ(world.GetNodeCount(), 2);
    EXPECT_TRUE(world.DeadNodes().empty());
    EXPECT_EQ(context.nextNodeId, nextId);  // it did not divide
    // Its old neighbour felt nothing from it: gravity alone.
    EXPECT_EQ(partner->vel, Vector3(0.0f, -0.01f, 0.0f));
    EXPECT_EQ(far->vel, Vector3(0.0f, -0.01f, 0.0f));
    // It was still in the map when the turn order was drawn (3 draws), made no
    // division draws, and two nodes were shuffled after the loop.
    ExpectedDraws lcg(77);
    lcg.Skip(3 + 2);
    EXPECT_EQ(context.random.Rand(), lcg.Next());
    EXPECT_NO_THROW(world.Action());
    EXPECT_EQ(world.GetNodeCount(), 2);
}

TEST_F(StepTest, PickingMissesNodesBehindTheRayOrOffIt) {
    TNode* node = Place(0.0f, 0.0f, 0.0f);
    world.SelectNode(node);
    world.PickNode({0.0f, 0.0f, 10.0f}, {0.0f, 0.0f, 1.0f}, 83);  // the node is behind
    EXPECT_EQ(world.SelectedNode(), nullptr);
    world.SelectNode(node);
    world.PickNode({0.6f, 0.0f, -10.0f}, {0.0f, 0.0f, 1.0f}, 83);  // 0.6 off the ray
    EXPECT_EQ(world.SelectedNode(), nullptr);
    world.PickNode({0.4f, 0.0f, -10.0f}, {0.0f, 0.0f, 1.0f}, 83);  // 0.4 off the ray
    EXPECT_EQ(world.SelectedNode(), node);
    world.PickNode({0.4f, 0.0f, -10.0f}, {0.0f, 0.0f, 1.0f}, 70);  // another key changes nothing
    EXPECT_EQ(world.SelectedNode(), node);
    EXPECT_TRUE(world.DeadNodes().empty());
}

TEST_F(StepTest, PickingTakesTheNearestNodeOnTheRay) {
    Place(0.0f, 0.0f, 0.0f);
    TNode* nearer = Place(0.0f, 0.0f, -4.0f);
    world.PickNode({0.0f, 0.0f, -10.0f}, {0.0f, 0.0f, 3.0f}, 83);
    EXPECT_EQ(world.SelectedNode(), nearer);
}

TEST_F(StepTest, APausedWorldStillDumpsItsSelectedNodeButNothingActsOrDraws) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    TNode* b = Place(10.0f, 0.0f, 0.0f);
    world.LinkNode(a, b);  // a stretched spring that would pull at once
    a->param[0] = 0.5;
    a->param[3] = 1.0;
    a->param[4] = 0.25;
    a->param[8] = 2.0;
    a->diffRate[1] = 0.1;
    world.SelectNode(a);
    world.ToggleRunning();
    EXPECT_FALSE(world.IsRunning());

    context.textLines.Clear();
    context.random.Seed(9);
    world.Action();
    const std::vector<std::string> expected{
        "Node ID:" + std::to_string(a->id),
        "P0=0.500000, P3=1.000000, P4=0.250000, ",
        "P8=2.000000, ",
        "PD1=0.100000, ",
    };
    EXPECT_EQ(context.textLines.Lines(), expected);
    EXPECT_EQ(a->pos, Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(b->pos, Vector3(10.0f, 0.0f, 0.0f));
    EXPECT_EQ(a->force, Vector3(0.0f, 0.0f, 0.0f));
    ExpectedDraws lcg(9);
    EXPECT_EQ(context.random.Rand(), lcg.Next());

    world.ToggleRunning();
    context.textLines.Clear();
    world.Action();
    EXPECT_NE(a->pos, Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(context.textLines.Lines().size(), 4u);
}

TEST_F(StepTest, TheDumpOfANodeWithNothingSetIsItsIdAndTwoEmptyLines) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    world.SelectNode(a);
    context.textLines.Clear();
    world.Action();
    EXPECT_EQ(context.textLines.Lines(),
              (std::vector<std::string>{"Node ID:" + std::to_string(a->id), "", ""}));
}

TEST_F(StepTest, PulsesAndDiffusionReachTheParametersWithinTheStep) {
    // The sender fills slot 0 and pulses it to its two partners: each receives
    // 1 / (2 * 2), added when the step ends.
    auto pulser = CompileGene("PROG2 ( SETP ( 0 1 ) PULSE ( 0 ) )");
    TNode* sender = Place(0.0f, 0.0f, 0.0f, *pulser);
    TNode* left = Place(-4.0f, 0.0f, 0.0f);
    TNode* right = Place(4.0f, 0.0f, 0.0f);
    world.LinkNode(sender, left);
    world.LinkNode(sender, right);
    // Diffusion along the left link in slot 5: rate sqrt(0.5 * 0.5), difference 1.
    left->param[5] = 1.0;
    left->diffRate[5] = 0.5;
    sender->diffRate[5] = 0.5;
    context.random.Seed(4);
    world.Action();
    EXPECT_EQ(left->param[0], 0.25);
    EXPECT_EQ(right->param[0], 0.25);
    EXPECT_EQ(sender->param[0], 0.0);  // consumed by the pulse
    EXPECT_DOUBLE_EQ(left->param[5], 1.0 - 0.005);
    EXPECT_DOUBLE_EQ(sender->param[5], 0.005);
    EXPECT_EQ(right->param[5], 0.0);
    for (TNode* n : {sender, left, right}) {
        for (int i = 0; i < paramCount; ++i) {
            EXPECT_EQ(n->paramInput[static_cast<std::size_t>(i)], 0.0);
            EXPECT_EQ(n->paramFlux[static_cast<std::size_t>(i)], 0.0);
        }
    }
}

TEST_F(StepTest, ReachingTheGoalEndsTheStepWithTheChainOfSignatureLines) {
    world.SetGoalPos({0.0f, 0.0f, 0.0f});
    Place(0.0f, 0.0f, 2.0f);  // exactly at the radius: not reached
    context.random.Seed(1);
    EXPECT_NO_THROW(world.Action());
    world.initContainer();
    TNode* inside = Place(0.0f, 0.0f, 1.999f);
    EXPECT_EQ(ErrorOf([&] { world.Action(); }),
              "NodeManager::Action; \nNodeManager::NodeAction; \nNodeManager::nodeAction(TNode*): Node ID: " +
                  std::to_string(inside->id) + ";\nGOAL!\n");
}

TEST_F(StepTest, AProgramFailingWithoutATextIsReportedByTheNodeLineWithoutColon) {
    Unit empty;  // evaluating no element at all fails with a standard error, not a text
    TNode* node = Place(0.0f, 0.0f, 0.0f, empty);
    EXPECT_EQ(ErrorOf([&] { world.Action(); }),
              "NodeManager::Action; \nNodeManager::NodeAction; \nNodeManager::nodeAction(TNode*): Node ID " +
                  std::to_string(node->id) + ";\n");
}

TEST_F(StepTest, InitWorldLeavesOneNodeAtTheOriginAndIdsKeepRising) {
    TNode* a = Place(5.0f, 0.0f, 0.0f);
    TNode* b = Place(9.0f, 0.0f, 0.0f);
    world.LinkNode(a, b);
    world.SelectNode(a);
    const int next = context.nextNodeId;
    world.InitWorld(idle.get());
    ASSERT_EQ(world.GetNodeCount(), 1);
    TNode* seed = world.NodeMap().begin()->second;
    EXPECT_EQ(seed->id, next);
    EXPECT_EQ(seed->pos, Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(seed->goal, world.GoalPos());
    EXPECT_EQ(world.Links().Size(), 0u);
    EXPECT_EQ(world.SelectedNode(), nullptr);
    EXPECT_TRUE(FiledWhereItIs(seed));
    EXPECT_TRUE(world.IsRunning());
}

}  // namespace
}  // namespace qm::test
