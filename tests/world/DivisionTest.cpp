// Division in both wiring variants, placement and its draws, the choice of M
// and of the common partners, the cut parent–M link, a child at a wall, and death.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/RunContext.h"
#include "support/ExpectedDraws.h"
#include "support/WorldFixture.h"

namespace qm::test {
namespace {

class DivisionTest : public WorldFixture {
  protected:
    std::vector<TNode*> PartnersOf(TNode* node) const {
        auto partners = world.Links().Partners(node);
        return {partners.begin(), partners.end()};
    }
    // Divides `parent` with the given request, the generator seeded with `seed`.
    TNode* Divide(TNode* parent, int request, unsigned seed) {
        parent->request = request;
        context.random.Seed(seed);
        world.divide(parent);
        return world.NewNodes().back();
    }
};

TEST_F(DivisionTest, ALoneParentGetsALinkedChildOffsetByDrawsInTheOrderZYXAndLifted) {
    auto gene = CompileGene("ADD ( 0.375 SMELL )");
    TNode* parent = Place(10.0f, 0.0f, -20.0f, *gene);
    parent->param[2] = 1.0;
    parent->diffRate[2] = 0.25;
    parent->diffRate[7] = 0.5;
    const int childId = context.nextNodeId;
    TNode* child = Divide(parent, 1, 555);

    ExpectedDraws lcg(555);
    lcg.Next();  // the mutation test comes first
    double dz = lcg.Symmetric2();
    double dy = lcg.Symmetric2();
    double dx = lcg.Symmetric2();
    EXPECT_EQ(child->id, childId);
    EXPECT_NEAR(child->pos.x, 10.0 + dx, 1e-5);
    EXPECT_NEAR(child->pos.y, 0.0 + dy + 2.0, 1e-5);
    EXPECT_NEAR(child->pos.z, -20.0 + dz, 1e-5);
    // Exactly four draws: the mutation test and three offsets.
    EXPECT_EQ(context.random.Rand(), lcg.Next());

    EXPECT_EQ(PartnersOf(child), std::vector<TNode*>{parent});
    EXPECT_EQ(PartnersOf(parent), std::vector<TNode*>{child});
    EXPECT_EQ(child->edgeCount, 1);
    EXPECT_EQ(parent->edgeCount, 1);
    EXPECT_EQ(parent->request, 0);
    EXPECT_EQ(child->request, 0);
    EXPECT_EQ(child->goal, world.GoalPos());
    EXPECT_EQ(child->vel, Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(child->diffRate, parent->diffRate);
    // A threshold of 11 is never reached: the gene is copied unchanged.
    const std::vector<GeneElement>& copied = child->unit->Code();
    ASSERT_EQ(copied.size(), 3u);
    EXPECT_EQ(copied[0].kind, 2);
    EXPECT_EQ(copied[0].index, 7);
    EXPECT_TRUE(copied[1].IsConstant());
    EXPECT_EQ(copied[1].value, 0.375);
    EXPECT_EQ(copied[2].kind, 0);
    EXPECT_EQ(copied[2].index, 1);
    EXPECT_EQ(debug.Text().find("m\n"), std::string::npos);
    // The new link's diffusion is taken in by the child at once:
    // sqrt(0.25 * 0.25) * (0 - 1) * 0.01 leaves the parent, pending until its turn.
    EXPECT_DOUBLE_EQ(child->param[2], 0.0025);
    EXPECT_DOUBLE_EQ(child->paramFlux[2], 0.0);
    EXPECT_DOUBLE_EQ(parent->paramFlux[2], -0.0025);
    EXPECT_EQ(parent->param[2], 1.0);
    // Waiting for the end of the step: in the grid and in newNodes, not yet in the map.
    EXPECT_TRUE(FiledWhereItIs(child));
    EXPECT_EQ(Find(child->id), nullptr);
    EXPECT_EQ(world.NewNodes().size(), 1u);
}

TEST_F(DivisionTest, AmongNeighboursWithOnePartnerMakesATriangleAndKeepsTheParentsLink) {
    TNode* parent = Place(0.0f, 0.0f, 0.0f);
    TNode* m = Place(4.0f, 2.0f, -2.0f);
    world.LinkNode(parent, m);
    TNode* child = Divide(parent, 1, 31);

    ExpectedDraws lcg(31);
    lcg.Next();
    double jz = lcg.Symmetric1();
    double jy = lcg.Symmetric1();
    double jx = lcg.Symmetric1();
    EXPECT_NEAR(child->pos.x, 2.0 + jx, 1e-5);
    EXPECT_NEAR(child->pos.y, 1.0 + jy + 2.0, 1e-5);
    EXPECT_NEAR(child->pos.z, -1.0 + jz, 1e-5);
    EXPECT_EQ(context.random.Rand(), lcg.Next());

    EXPECT_EQ(PartnersOf(child), (std::vector<TNode*>{parent, m}));
    EXPECT_TRUE(world.isLink(parent, m));
    EXPECT_EQ(parent->edgeCount, 2);
    EXPECT_EQ(m->edgeCount, 2);
    EXPECT_EQ(child->edgeCount, 2);
}

TEST_F(DivisionTest, AmongNeighboursMIsThePartnerWithMostLinksAndTheFirstMetOnATie) {
    TNode* parent = Place(0.0f, 0.0f, 0.0f);
    TNode* a = Place(3.0f, 0.0f, 0.0f);
    TNode* b = Place(-3.0f, 0.0f, 0.0f);
    world.LinkNode(parent, a);
    world.LinkNode(parent, b);
    TNode* child = Divide(parent, 1, 8);
    EXPECT_EQ(PartnersOf(child), (std::vector<TNode*>{parent, a}));  // tie: a was linked first

    world.initContainer();
    parent = Place(0.0f, 0.0f, 0.0f);
    a = Place(3.0f, 0.0f, 0.0f);
    b = Place(-3.0f, 0.0f, 0.0f);
    TNode* extra = Place(-3.0f, 0.0f, 4.0f);
    world.LinkNode(parent, a);
    world.LinkNode(parent, b);
    world.LinkNode(b, extra);  // b now has the most links
    child = Divide(parent, 1, 8);
    EXPECT_EQ(PartnersOf(child), (std::vector<TNode*>{parent, b}));
}

TEST_F(DivisionTest, AmongNeighboursWithOneCommonPartnerLinksItAndKeepsTheParentsLink) {
    TNode* parent = Place(0.0f, 0.0f, 0.0f);
    TNode* q = Place(0.0f, 0.0f, 4.0f);
    TNode* m = Place(4.0f, 0.0f, 0.0f);
    TNode* x = Place(8.0f, 0.0f, 0.0f);
    world.LinkNode(parent, q);
    world.LinkNode(parent, m);
    world.LinkNode(m, q);
    world.LinkNode(m, x);  // m: 3 links, q: 2
    TNode* child = Divide(parent, 1, 99);
    EXPECT_EQ(PartnersOf(child), (std::vector<TNode*>{parent, m, q}));
    EXPECT_TRUE(world.isLink(parent, m));
    EXPECT_EQ(parent->edgeCount, 3);
    EXPECT_EQ(m->edgeCount, 4);
    EXPECT_EQ(q->edgeCount, 3);
}

// Common partners of parent and M, fewest links first, equals in the order
// the parent's links were made; the first two are linked and parent–M is cut.
TEST_F(DivisionTest, AmongNeighboursWithSeveralCommonPartnersLinksTheTwoLeastLinkedAndCutsParentM) {
    TNode* parent = Place(0.0f, 0.0f, 0.0f);
    TNode* m = Place(4.0f, 0.0f, 0.0f);
    TNode* q = Place(0.0f, 0.0f, 4.0f);
    TNode* r = Place(0.0f, 0.0f, -4.0f);
    TNode* s = Place(0.0f, 4.0f, 0.0f);
    TNode* x = Place(-10.0f, 0.0f, 0.0f);
    TNode* y = Place(-20.0f, 0.0f, 0.0f);
    // The parent links r before q, so registry order is not id order.
    world.LinkNode(parent, m);
    world.LinkNode(parent, r);
    world.LinkNode(parent, q);
    world.LinkNode(parent, s);
    world.LinkNode(m, q);
    world.LinkNode(m, r);
    world.LinkNode(m, s);
    world.LinkNode(q, x);
    world.LinkNode(r, y);
    // Links: parent 4, m 4, q 3, r 3, s 2.
    TNode* child = Divide(parent, 1, 4242);

    EXPECT_EQ(PartnersOf(child), (std::vector<TNode*>{parent, m, s, r}));
    EXPECT_FALSE(world.isLink(parent, m));
    EXPECT_FALSE(world.isLink(child, q));
    EXPECT_EQ(parent->edgeCount, 4);  // + child − m
    EXPECT_EQ(m->edgeCount, 4);       // + child − parent
    EXPECT_EQ(child->edgeCount, 4);
    EXPECT_EQ(s->edgeCount, 3);
    EXPECT_EQ(r->edgeCount, 4);
    EXPECT_EQ(q->edgeCount, 3);
    // Placement still goes halfway towards M, then the lift.
    ExpectedDraws lcg(4242);
    lcg.Next();
    double jz = lcg.Symmetric1();
    double jy = lcg.Symmetric1();
    double jx = lcg.Symmetric1();
    EXPECT_NEAR(child->pos.x, 2.0 + jx, 1e-5);
    EXPECT_NEAR(child->pos.y, jy + 2.0, 1e-5);
    EXPECT_NEAR(child->pos.z, jz, 1e-5);
    EXPECT_EQ(context.random.Rand(), lcg.Next());
}

TEST_F(DivisionTest, AlongLinksJoinsTheChildToTheParentAndItsFirstTwoPartnersOnly) {
    TNode* parent = Place(0.0f, 0.0f, 0.0f);
    TNode* a = Place(4.0f, 0.0f, 0.0f);
    TNode* b = Place(0.0f, 4.0f, 2.0f);
    TNode* c = Place(-4.0f, 0.0f, 0.0f);
    world.LinkNode(parent, a);
    world.LinkNode(parent, b);
    world.LinkNode(parent, c);
    parent->param[0] = 1.0;
    parent->diffRate[0] = 0.25;
    a->param[0] = 0.5;
    a->diffRate[0] = 1.0;
    TNode* child = Divide(parent, 2, 2718);

    EXPECT_EQ(PartnersOf(child), (std::vector<TNode*>{parent, a, b}));
    EXPECT_EQ(PartnersOf(parent), (std::vector<TNode*>{a, b, c, child}));  // the parent keeps its links
    EXPECT_EQ(c->edgeCount, 1);
    // Halfway towards the last partner linked (b), jitter z, y, x, then the lift.
    ExpectedDraws lcg(2718);
    lcg.Next();
    double jz = lcg.Symmetric1();
    double jy = lcg.Symmetric1();
    double jx = lcg.Symmetric1();
    EXPECT_NEAR(child->pos.x, 0.0 + jx, 1e-5);
    EXPECT_NEAR(child->pos.y, 2.0 + jy + 2.0, 1e-5);
    EXPECT_NEAR(child->pos.z, 1.0 + jz, 1e-5);
    EXPECT_EQ(context.random.Rand(), lcg.Next());
    // Diffusion with a (rate sqrt(0.25 * 1), difference -0.5), b (rate 0) and the
    // parent (rate 0.25, difference -1): 0.0025 + 0 + 0.0025 in, taken in at once.
    EXPECT_DOUBLE_EQ(child->param[0], 0.005);
    EXPECT_DOUBLE_EQ(a->paramFlux[0], -0.0025);
    EXPECT_DOUBLE_EQ(parent->paramFlux[0], -0.0025);
}

TEST_F(DivisionTest, AlongLinksWithOnePartnerGoesHalfwayTowardsIt) {
    TNode* parent = Place(0.0f, 0.0f, 0.0f);
    TNode* a = Place(6.0f, 0.0f, 0.0f);
    world.LinkNode(parent, a);
    TNode* child = Divide(parent, 2, 11);
    EXPECT_EQ(PartnersOf(child), (std::vector<TNode*>{parent, a}));
    ExpectedDraws lcg(11);
    lcg.Next();
    lcg.Next();
    lcg.Next();
    double jx = lcg.Symmetric1();
    EXPECT_NEAR(child->pos.x, 3.0 + jx, 1e-5);
}

// The first seed whose division draws give a child offset past `limit` on x (and on z if asked).
unsigned SeedPushingPast(double limit, bool alsoZ) {
    for (unsigned seed = 1;; ++seed) {
        ExpectedDraws lcg(seed);
        lcg.Next();
        double dz = lcg.Symmetric2();
        lcg.Next();
        double dx = lcg.Symmetric2();
        bool x = limit > 0 ? dx > limit : dx < limit;
        bool z = !alsoZ || (limit > 0 ? dz > limit : dz < limit);
        if (x && z) return seed;
    }
}

TEST_F(DivisionTest, AChildPlacedBeyondAWallIsPutOnItAndFiledInTheGrid) {
    // Parent on the upper x wall and under the ceiling: the child lands beyond
    // both (x past 500 would be outside the grid) and is put back first.
    TNode* parent = Place(499.0f, 24.0f, 0.0f);
    TNode* child = Divide(parent, 1, SeedPushingPast(1.2, false));
    EXPECT_EQ(child->pos.x, 499.0f);
    EXPECT_EQ(child->pos.y, 24.0f);
    EXPECT_TRUE(FiledWhereItIs(child));
    EXPECT_EQ(world.CellIndex(child).ix, 199);
    EXPECT_EQ(world.CellIndex(child).iy, 9);
    EXPECT_NO_THROW(world.Action());
    EXPECT_EQ(world.GetNodeCount(), 2);

    world.initContainer();
    parent = Place(-500.0f, 0.0f, -500.0f);
    child = Divide(parent, 1, SeedPushingPast(-0.5, true));
    EXPECT_EQ(child->pos.x, -500.0f);
    EXPECT_EQ(child->pos.z, -500.0f);
    EXPECT_TRUE(FiledWhereItIs(child));
    EXPECT_NO_THROW(world.Action());
}

TEST_F(DivisionTest, DeathUnselectsUnlinksAndUnfilesTheNodeAtOnce) {
    TNode* node = Place(0.0f, 0.0f, 0.0f);
    TNode* a = Place(3.0f, 0.0f, 0.0f);
    TNode* b = Place(-3.0f, 0.0f, 0.0f);
    world.LinkNode(node, a);
    world.LinkNode(node, b);
    world.LinkNode(a, b);
    world.SelectNode(node);
    world.dead(node);
    EXPECT_EQ(world.SelectedNode(), nullptr);
    EXPECT_EQ(world.DeadNodes(), std::vector<TNode*>{node});
    EXPECT_EQ(node->edgeCount, 0);
    EXPECT_EQ(a->edgeCount, 1);
    EXPECT_EQ(b->edgeCount, 1);
    EXPECT_EQ(PartnersOf(a), std::vector<TNode*>{b});
    EXPECT_EQ(CountInGrid(node), 0);
    EXPECT_NE(Find(node->id), nullptr);  // the map lets go of it after the node loop
}

// A checkpoint can hand the world an id counter with no id left (found by
// fuzzing): the division is refused through the error path instead of
// wrapping the counter.
TEST_F(DivisionTest, WithNoNodeIdLeftADivisionIsAnErrorAndMakesNoChild) {
    auto gene = CompileGene("ADD ( 0.375 SMELL )");
    TNode* parent = Place(0.0f, 0.0f, 0.0f, *gene);
    context.nextNodeId = std::numeric_limits<std::int32_t>::max();
    std::string text;
    try {
        Divide(parent, 1, 7);
    } catch (const ErrorText& e) {
        text = e.text;
    }
    EXPECT_NE(text.find("cannot divide: every node id has been given out"), std::string::npos) << text;
    EXPECT_TRUE(world.NewNodes().empty());
}

}  // namespace
}  // namespace qm::test
