// Links and what travels along them, and the forces of a step, each checked
// against the value worked out by hand: a spring pulls with (L - rest) * 0.02,
// unlinked neighbours push with 0.05 / L, gravity is 0.01 and drag 0.03 * v.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/RunContext.h"
#include "support/ErrorOf.h"
#include "support/ExpectedDraws.h"
#include "support/WorldFixture.h"

namespace qm::test {
namespace {

void ExpectForce(const TNode* node, double x, double y, double z) {
    EXPECT_NEAR(node->force.x, x, 1e-7) << "node " << node->id;
    EXPECT_NEAR(node->force.y, y, 1e-7) << "node " << node->id;
    EXPECT_NEAR(node->force.z, z, 1e-7) << "node " << node->id;
}

class SpringTest : public WorldFixture {};

TEST_F(SpringTest, AStretchedLinkPullsBothEndsTogether) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    TNode* b = Place(5.0f, 0.0f, 0.0f);
    world.IntLinkForce(a, b);
    // Rest length (3 + 3) / 2 = 3, stretched by 2: (5 - 3) * 0.02 = 0.04.
    ExpectForce(a, 0.04, 0.0, 0.0);
    ExpectForce(b, -0.04, 0.0, 0.0);
}

TEST_F(SpringTest, ACompressedLinkPushesApartAlongTheLink) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    TNode* b = Place(0.0f, 3.0f, 4.0f);
    b->edgeLength = 8.0;  // rest (3 + 8) / 2 = 5.5, length 5: (5 - 5.5) * 0.02 = -0.01
    world.IntLinkForce(a, b);
    ExpectForce(a, 0.0, -0.006, -0.008);
    ExpectForce(b, 0.0, 0.006, 0.008);
}

TEST_F(SpringTest, ALinkAtItsRestLengthOrOfZeroLengthExertsNoForce) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    TNode* b = Place(0.0f, 0.0f, 3.0f);
    world.IntLinkForce(a, b);
    EXPECT_EQ(a->force, Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(b->force, Vector3(0.0f, 0.0f, 0.0f));
    TNode* c = Place(0.0f, 0.0f, 0.0f);
    world.IntLinkForce(a, c);
    EXPECT_EQ(a->force, Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(c->force, Vector3(0.0f, 0.0f, 0.0f));
}

TEST_F(SpringTest, EverySpringActsBeforeAnyNodeMoves) {
    // A chain a - b - c with rest length 8, each link stretched to 12: a and c
    // are pulled inwards by (12 - 8) * 0.02 = 0.08 and b both ways equally,
    // whatever the turn order. The nodes are two cells apart: nothing pushes.
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        world.initContainer();
        TNode* a = Place(0.0f, 0.0f, 0.0f);
        TNode* b = Place(12.0f, 0.0f, 0.0f);
        TNode* c = Place(24.0f, 0.0f, 0.0f);
        for (TNode* n : {a, b, c}) n->edgeLength = 8.0;
        world.LinkNode(a, b);
        world.LinkNode(b, c);
        context.random.Seed(seed);
        world.Action();
        EXPECT_NEAR(a->vel.x, 0.08, 1e-7);
        EXPECT_EQ(b->vel.x, 0.0f);
        EXPECT_NEAR(c->vel.x, -0.08, 1e-7);
        for (TNode* n : {a, b, c}) EXPECT_EQ(n->vel.y, -0.01f);
    }
}

class RepulsionTest : public WorldFixture {};

TEST_F(RepulsionTest, TwoUnlinkedNodesArePushedApartWithFiveHundredthsOverTheDistance) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    TNode* b = Place(2.0f, 0.0f, 0.0f);
    world.IntNodeRepForce(a, b);
    ExpectForce(a, -0.025, 0.0, 0.0);
    ExpectForce(b, 0.025, 0.0, 0.0);
}

TEST_F(RepulsionTest, ANodeTurnPushesEveryUnlinkedNeighbourAndItselfAway) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    TNode* b = Place(0.0f, 0.0f, 2.0f);
    TNode* c = Place(0.0f, -4.0f, 0.0f);
    world.nodeInteraction(a);
    ExpectForce(b, 0.0, 0.0, 0.025);
    ExpectForce(c, 0.0, -0.0125, 0.0);
    ExpectForce(a, 0.0, 0.0125, -0.025);
}

TEST_F(RepulsionTest, LinkedNodesNeverPushEachOtherHoweverClose) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    TNode* b = Place(0.05f, 0.0f, 0.0f);
    world.LinkNode(a, b);
    world.nodeInteraction(a);
    world.nodeInteraction(b);
    EXPECT_EQ(a->force, Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(b->force, Vector3(0.0f, 0.0f, 0.0f));
}

TEST_F(RepulsionTest, TwoNodesAtTheSamePlaceExertNoForce) {
    TNode* a = Place(1.0f, 1.0f, 1.0f);
    TNode* b = Place(1.0f, 1.0f, 1.0f);
    world.nodeInteraction(a);
    EXPECT_EQ(a->force, Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(b->force, Vector3(0.0f, 0.0f, 0.0f));
}

TEST_F(RepulsionTest, ReachIsTheBlockOfCellsAroundTheNodeWithoutADistanceCut) {
    // x = 0.1 is in cell 100, x = 9.9 in cell 101, x = 10.1 in cell 102.
    TNode* a = Place(0.1f, 0.0f, 0.0f);
    TNode* near = Place(9.9f, 0.0f, 0.0f);
    world.nodeInteraction(a);
    EXPECT_NEAR(near->force.x, 0.05 / 9.8, 1e-7);
    world.initContainer();
    a = Place(0.1f, 0.0f, 0.0f);
    TNode* beyond = Place(10.1f, 0.0f, 0.0f);
    world.nodeInteraction(a);
    EXPECT_EQ(beyond->force, Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(a->force, Vector3(0.0f, 0.0f, 0.0f));
}

TEST_F(RepulsionTest, EachUnlinkedPairIsPushedOnceAtEachOfTheTwoTurns) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    TNode* b = Place(2.0f, 0.0f, 0.0f);
    context.random.Seed(SeedForOrder({0, 1}));  // a takes its turn first
    world.Action();
    // a's turn: 0.025 each way; a moves to (-0.025, -0.01, 0). b's turn: pushed
    // again from a's new place, and the same push waits on a for the next step.
    double dx = 2.0 - (-0.025);
    double dy = 0.0 - (-0.01);
    double length = std::sqrt(dx * dx + dy * dy);
    double s = 0.05 / length;
    EXPECT_NEAR(a->vel.x, -0.025, 1e-7);
    EXPECT_NEAR(b->vel.x, 0.025 + s * dx / length, 1e-7);
    EXPECT_NEAR(b->vel.y, -0.01 + s * dy / length, 1e-7);
    EXPECT_NEAR(a->force.x, -s * dx / length, 1e-7);
    EXPECT_NEAR(a->force.y, -s * dy / length, 1e-7);
    EXPECT_EQ(b->force, Vector3(0.0f, 0.0f, 0.0f));
}

class GravityAndDragTest : public WorldFixture {};

TEST_F(GravityAndDragTest, GravityPullsDownAndDragOpposesTheVelocity) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    a->SetVel(1.0f, -2.0f, 0.5f);
    world.spaceAffection(a);
    ExpectForce(a, -0.03, -0.01 + 0.06, -0.015);
}

TEST_F(GravityAndDragTest, AFallFromRestFollowsTheClosedForm) {
    // v(n+1) = v(n) - 0.01 - 0.03 v(n) = 0.97 v(n) - 0.01, so from rest
    // v(n) = -(1 - 0.97^n) / 3 and the drop after n steps is the sum of v(1)..v(n).
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    context.random.Seed(1);
    world.Action();
    EXPECT_EQ(a->vel.y, -0.01f);
    EXPECT_EQ(a->pos.y, -0.01f);
    for (int n = 2; n <= 60; ++n) {
        world.Action();
        double v = -(1.0 - std::pow(0.97, n)) / 3.0;
        double drop = -(n - 0.97 * (1.0 - std::pow(0.97, n)) / 0.03) / 3.0;
        ASSERT_NEAR(a->vel.y, v, 2e-6) << "step " << n;
        ASSERT_NEAR(a->pos.y, drop, 2e-4) << "step " << n;
        ASSERT_EQ(a->vel.x, 0.0f);
        ASSERT_EQ(a->vel.z, 0.0f);
    }
    EXPECT_LT(a->pos.y, -5.0f);  // it really fell, and is still above the floor
    EXPECT_GT(a->pos.y, -25.0f);
}

class LinkOperationsTest : public WorldFixture {};

TEST_F(LinkOperationsTest, LinkingCountsBothEndsAndLinkingTwiceFailsThroughBothLines) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    TNode* b = Place(3.0f, 0.0f, 0.0f);
    world.LinkNode(a, b);
    EXPECT_TRUE(world.isLink(b, a));
    EXPECT_EQ(a->edgeCount, 1);
    EXPECT_EQ(b->edgeCount, 1);
    EXPECT_EQ(ErrorOf([&] { world.LinkNode(b, a); }),
              "NodeManager::LinkNode; \nRefMapList::Insert; \nもう有る\n");
    EXPECT_EQ(a->edgeCount, 1);
    EXPECT_EQ(b->edgeCount, 1);
}

TEST_F(LinkOperationsTest, UnlinkingAPairThatIsNotLinkedFailsThroughBothLines) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    TNode* b = Place(3.0f, 0.0f, 0.0f);
    EXPECT_EQ(
        ErrorOf([&] { world.UnLinkNode(a, b); }),
        "NodeManager::UnLinkNode(*,*); \ns::RefMapList::Delete(TNode*,TNode*); \nRefListから消えてない\n");
    EXPECT_EQ(a->edgeCount, 0);
    world.LinkNode(a, b);
    world.UnLinkNode(b, a);
    EXPECT_FALSE(world.isLink(a, b));
    EXPECT_EQ(a->edgeCount, 0);
    EXPECT_EQ(b->edgeCount, 0);
}

TEST_F(LinkOperationsTest, UnlinkingANodeTakesOneLinkFromEachPartner) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    TNode* b = Place(3.0f, 0.0f, 0.0f);
    TNode* c = Place(-3.0f, 0.0f, 0.0f);
    TNode* d = Place(0.0f, 3.0f, 0.0f);
    world.LinkNode(a, b);
    world.LinkNode(c, a);
    world.LinkNode(a, d);
    world.LinkNode(b, c);
    world.UnLinkNode(a);
    EXPECT_EQ(a->edgeCount, 0);
    EXPECT_EQ(b->edgeCount, 1);
    EXPECT_EQ(c->edgeCount, 1);
    EXPECT_EQ(d->edgeCount, 0);
    EXPECT_EQ(world.Links().Size(), 1u);
}

TEST_F(LinkOperationsTest, APulseHandsOutHalfItsAmountSharedAmongThePartners) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    std::vector<TNode*> partners;
    for (int i = 0; i < 4; ++i) {
        partners.push_back(Place(4.0f * (i + 1), 0.0f, 0.0f));
        world.LinkNode(a, partners.back());
    }
    world.PulseLinked(a, 3, 1.0);
    for (TNode* p : partners) EXPECT_EQ(p->paramInput[3], 0.125);
    EXPECT_EQ(a->paramInput[3], 0.0);

    TNode* lonely = Place(0.0f, 20.0f, 0.0f);
    EXPECT_NO_THROW(world.PulseLinked(lonely, 0, 1.0));
}

TEST_F(LinkOperationsTest, AnImpulseGivesEveryPartnerAHundredthOfTanhInTheNamedSlot) {
    TNode* a = Place(0.0f, 0.0f, 0.0f);
    TNode* b = Place(4.0f, 0.0f, 0.0f);
    TNode* c = Place(-4.0f, 0.0f, 0.0f);
    world.LinkNode(a, b);
    world.LinkNode(a, c);
    world.ImpulseLinked(a, 1.0, 2.0);  // slot trunc(tanh(1) * 9) = 6
    EXPECT_DOUBLE_EQ(b->paramInput[6], std::tanh(2.0) * 0.01);
    EXPECT_DOUBLE_EQ(c->paramInput[6], std::tanh(2.0) * 0.01);
    world.ImpulseLinked(a, 1.0, -30.0);  // inputs may go negative until they are applied
    EXPECT_NEAR(b->paramInput[6], (std::tanh(2.0) - 1.0) * 0.01, 1e-15);
}

TEST_F(LinkOperationsTest, AProgramThatCutsItsLinksLeavesItsPartnersWithoutThem) {
    auto cutter = CompileGene("CUTEDGE");
    TNode* a = Place(0.0f, 0.0f, 0.0f, *cutter);
    TNode* b = Place(4.0f, 0.0f, 0.0f);
    TNode* c = Place(-4.0f, 0.0f, 0.0f);
    world.LinkNode(a, b);
    world.LinkNode(a, c);
    context.random.Seed(1);
    world.Action();
    EXPECT_EQ(world.Links().Size(), 0u);
    EXPECT_EQ(a->edgeCount, 0);
    EXPECT_EQ(b->edgeCount, 0);
    EXPECT_EQ(c->edgeCount, 0);
}

}  // namespace
}  // namespace qm::test
