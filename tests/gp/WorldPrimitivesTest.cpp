// The primitives that reach a node's linked neighbours through its world:
// CUTEDGE, PULSE and IMPULSE, and ECOUNT over real links.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/RunContext.h"
#include "gp/Unit.h"
#include "support/GeneSupport.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

class WorldPrimitivesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gene.Parse("0,0,0+");
        a = world.NewNode(&gene);
        b = world.NewNode(&gene);
        c = world.NewNode(&gene);
        lone = world.NewNode(&gene);
        world.LinkNode(a, b);
        world.LinkNode(a, c);
    }
    double Run(TNode* node, const std::string& source) {
        node->unit->Parse(test::CompileSource(source));
        return node->unit->Evaluate();
    }

    RunContext context;
    NodeManager world{context};
    Unit gene;
    TNode* a = nullptr;
    TNode* b = nullptr;
    TNode* c = nullptr;
    TNode* lone = nullptr;
};

TEST_F(WorldPrimitivesTest, EcountCountsRealLinks) {
    world.LinkNode(a, lone);
    EXPECT_EQ(Run(a, "ECOUNT"), 0.25);
    EXPECT_EQ(Run(b, "ECOUNT"), 0.5);
}

TEST_F(WorldPrimitivesTest, CutedgeRemovesEveryLinkOfTheNode) {
    EXPECT_EQ(Run(a, "CUTEDGE"), 1.0);
    EXPECT_EQ(a->edgeCount, 0);
    EXPECT_EQ(b->edgeCount, 0);
    EXPECT_EQ(c->edgeCount, 0);
    EXPECT_FALSE(world.isLink(a, b));
    EXPECT_FALSE(world.isLink(a, c));
    EXPECT_EQ(world.Links().Size(), 0u);
    EXPECT_EQ(Run(a, "CUTEDGE"), 0.0);
}

TEST_F(WorldPrimitivesTest, CutedgeLeavesOtherLinksAlone) {
    world.LinkNode(b, lone);
    EXPECT_EQ(Run(a, "CUTEDGE"), 1.0);
    EXPECT_TRUE(world.isLink(b, lone));
    EXPECT_EQ(b->edgeCount, 1);
    EXPECT_EQ(lone->edgeCount, 1);
}

TEST_F(WorldPrimitivesTest, PulseSplitsTheParameterAmongTheLinkedNodes) {
    a->param[6] = 3.0;
    EXPECT_EQ(Run(a, "PULSE 1"), 1.0);
    // amount / (2 * links) = 3 / 4 into the pending input of the same slot.
    EXPECT_EQ(b->paramInput[6], 0.75);
    EXPECT_EQ(c->paramInput[6], 0.75);
    EXPECT_EQ(lone->paramInput[6], 0.0);
    EXPECT_EQ(a->param[6], 0.0);
    EXPECT_EQ(b->param[6], 0.0);  // not before the end of the step
    b->ApplyInput();
    EXPECT_EQ(b->param[6], 0.75);
    EXPECT_EQ(b->paramInput[6], 0.0);
}

TEST_F(WorldPrimitivesTest, PulseBelowTheThresholdDoesNothing) {
    a->param[0] = 0.99;
    EXPECT_EQ(Run(a, "PULSE 0"), 0.0);
    EXPECT_EQ(a->param[0], 0.99);
    EXPECT_EQ(b->paramInput[0], 0.0);
}

TEST_F(WorldPrimitivesTest, PulseWithoutLinksConsumesTheParameterAndSendsNothing) {
    lone->param[0] = 2.0;
    EXPECT_EQ(Run(lone, "PULSE 0"), 0.0);
    EXPECT_EQ(lone->param[0], 0.0);
    for (TNode* n : {a, b, c, lone}) EXPECT_EQ(n->paramInput[0], 0.0);
}

TEST_F(WorldPrimitivesTest, ImpulseSendsTanhOfItsSecondArgumentWhenFiring) {
    a->param[6] = 1.0;
    EXPECT_EQ(Run(a, "IMPULSE 1 PROG2 SETP 2 7 2"), 1.0);
    EXPECT_EQ(b->paramInput[6], std::tanh(2.0) * 0.01);
    EXPECT_EQ(c->paramInput[6], std::tanh(2.0) * 0.01);
    EXPECT_EQ(a->param[6], 0.0);
    EXPECT_EQ(a->param[8], 7.0);  // b was evaluated

    // Negative amounts stay pending until the end of the step, then cut at 0.
    b->param[6] = 0.001;
    a->param[6] = 4.0;
    EXPECT_EQ(Run(a, "IMPULSE 1 -100"), 1.0);
    EXPECT_EQ(b->paramInput[6], std::tanh(2.0) * 0.01 - 0.01);
    b->paramInput[6] = -0.01;
    b->ApplyInput();
    EXPECT_EQ(b->param[6], 0.0);
}

TEST_F(WorldPrimitivesTest, ImpulseBelowTheThresholdSkipsItsSecondArgument) {
    a->param[6] = 0.5;
    EXPECT_EQ(Run(a, "IMPULSE 1 PROG2 SETP 2 7 2"), 1.0);
    EXPECT_EQ(a->param[8], 0.0);
    EXPECT_EQ(a->param[6], 0.5);
    EXPECT_EQ(b->paramInput[6], 0.0);
}

TEST_F(WorldPrimitivesTest, ImpulseWithoutLinksStillConsumes) {
    lone->param[0] = 1.0;
    EXPECT_EQ(Run(lone, "IMPULSE 0 1"), 0.0);
    EXPECT_EQ(lone->param[0], 0.0);
}

}  // namespace
}  // namespace qm
