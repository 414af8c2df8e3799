// The node record: construction, creation from a gene and by division, the
// slot rule, parameter and diffusion operations, body properties and Dump.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/Random.h"
#include "base/RunContext.h"
#include "base/TextLines.h"
#include "gp/Unit.h"
#include "node/TNode.h"
#include "support/GeneSupport.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

using test::GeneNode;

// artanh(k / 9): the smallest x whose slot is k.
double SlotStart(int k) {
    const double t = k / 9.0;
    return 0.5 * std::log((1.0 + t) / (1.0 - t));
}

// ---- The slot rule -----------------------------------------------------------

TEST(SlotRuleTest, ZeroNegativeAndSmallValuesNameSlotZero) {
    EXPECT_EQ(SlotIndex(0.0), 0);
    EXPECT_EQ(SlotIndex(-0.0), 0);
    EXPECT_EQ(SlotIndex(-1.0), 0);
    EXPECT_EQ(SlotIndex(-1e300), 0);
    EXPECT_EQ(SlotIndex(0.1115), 0);
    EXPECT_EQ(SlotIndex(0.1116), 1);
}

TEST(SlotRuleTest, EachSlotStartsAtTheArtanhOfItsNinth) {
    for (int k = 1; k <= 8; ++k) {
        EXPECT_EQ(SlotIndex(SlotStart(k) * (1 - 1e-9)), k - 1) << k;
        EXPECT_EQ(SlotIndex(SlotStart(k) * (1 + 1e-9)), k) << k;
    }
    EXPECT_EQ(SlotIndex(1.0), 6);  // tanh 1 = 0.7616, * 9 = 6.85
}

TEST(SlotRuleTest, SlotNineNeedsTanhToBeExactlyOne) {
    EXPECT_EQ(SlotIndex(18.0), 8);  // tanh 18 = 1 - 4.6e-16
    EXPECT_EQ(SlotIndex(19.5), 9);
    EXPECT_EQ(SlotIndex(1e300), 9);
    EXPECT_EQ(SlotIndex(std::numeric_limits<double>::infinity()), 9);
    EXPECT_EQ(SlotIndex(-std::numeric_limits<double>::infinity()), 0);
}

TEST(SlotRuleTest, NaNNamesSlotZero) {
    EXPECT_EQ(SlotIndex(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(SlotIndex(-std::numeric_limits<double>::quiet_NaN()), 0);
}

// ---- Construction and creation -----------------------------------------------

TEST(TNodeTest, ConstructionValues) {
    TNode node(nullptr, 5);
    EXPECT_EQ(node.GetId(), 5);
    EXPECT_EQ(node.manager, nullptr);
    EXPECT_EQ(node.request, 0);
    EXPECT_EQ(node.edgeLength, 3.0);
    EXPECT_EQ(node.staticFriction0, 1.25f);
    EXPECT_EQ(node.dynFriction, 0.55f);
    EXPECT_FLOAT_EQ(node.frictionDiff, 0.7f);
    EXPECT_FLOAT_EQ(node.GetStaticFriction(), 1.25f);
    EXPECT_EQ(node.material.Diffuse.r, 0.0f);
    EXPECT_EQ(node.material.Diffuse.g, 0.0f);
    EXPECT_EQ(node.material.Diffuse.b, 0.0f);
    EXPECT_EQ(node.material.Diffuse.a, 1.0f);
    EXPECT_EQ(node.material.Ambient.a, 1.0f);
    EXPECT_EQ(node.pos.x, 0.0f);
    EXPECT_EQ(node.vel.y, 0.0f);
    EXPECT_EQ(node.force.z, 0.0f);
    EXPECT_FALSE(node.onGround);
    EXPECT_EQ(node.edgeCount, 0);
    EXPECT_TRUE(node.unit->Code().empty());
    EXPECT_EQ(node.unit->Node(), &node);
}

// A world gives its nodes the ids of its run's counter; the id of a node
// that died is not given again.
TEST(TNodeTest, IdsRiseByOneAndAreNeverReused) {
    RunContext context;
    context.nextNodeId = 40;
    NodeManager world(context);
    Unit gene;
    gene.Parse("0,0,0+");
    const std::int32_t next = context.nextNodeId;
    TNode* a = world.NewNode(&gene);
    const std::int32_t first = a->GetId();
    world.dead(a);
    world.Action();
    ASSERT_EQ(world.GetNodeCount(), 0);
    const std::int32_t second = world.NewNode(&gene)->GetId();
    EXPECT_EQ(first, next);
    EXPECT_EQ(second, next + 1);
    EXPECT_EQ(context.nextNodeId, next + 2);
}

TEST(TNodeTest, TheMotionStateSharesTheFirstCacheLine) {
    TNode node(nullptr, 0);
    const auto* base = reinterpret_cast<const char*>(&node);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(base) % 64, 0u);
    for (const void* field :
         {static_cast<const void*>(&node.pos + 1), static_cast<const void*>(&node.force + 1),
          static_cast<const void*>(&node.vel + 1), static_cast<const void*>(&node.id + 1),
          static_cast<const void*>(&node.edgeCount + 1)}) {
        EXPECT_LE(static_cast<const char*>(field) - base, 64);
    }
    auto heap = std::make_unique<TNode>(nullptr, 1);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(heap.get()) % 64, 0u);
}

// The remembered tanh gives std::tanh's bits, whatever came before: repeats,
// arguments that share a memo slot, signed zeros, infinities and NaN.
TEST(TNodeTest, MemoTanhIsStdTanhBitForBit) {
    std::vector<double> xs{0.0,
                           -0.0,
                           1.0,
                           2.0,
                           3.0,
                           0.1,
                           -0.1,
                           1e-300,
                           19.5,
                           20.0,
                           22.5,
                           -40.0,
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity()};
    for (int i = 0; i < 3000; ++i)
        xs.push_back(std::ldexp(static_cast<double>(i * 7919 % 4001) - 2000.0, -9));
    for (int round = 0; round < 3; ++round) {
        for (double x : xs) {
            const double want = std::tanh(x);
            const double got = MemoTanh(x);
            ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << x;
        }
    }
    EXPECT_TRUE(std::isnan(MemoTanh(std::numeric_limits<double>::quiet_NaN())));
}

TEST(TNodeTest, NewNodeCopiesTheGeneAndClearsTheArrays) {
    Unit gene;
    gene.Parse("2,7+0,0,1+0,0,2+");
    TNode node(nullptr, 0);
    node.unit->Parse("0,2+");
    node.param.fill(5.0);
    node.paramInput.fill(5.0);
    node.paramFlux.fill(5.0);
    node.diffRate.fill(0.5);
    node.NewNode(&gene);
    EXPECT_EQ(node.unit->ToString(), gene.ToString());
    EXPECT_NE(node.unit.get(), &gene);
    for (int i = 0; i < paramCount; ++i) {
        EXPECT_EQ(node.param[i], 0.0);
        EXPECT_EQ(node.paramInput[i], 0.0);
        EXPECT_EQ(node.paramFlux[i], 0.0);
        EXPECT_EQ(node.diffRate[i], 0.0);
    }
}

TEST(TNodeTest, InheritCopiesTheGeneAndRatesAndConsumesTheRequest) {
    GeneNode parent;
    parent.node.unit->Parse("1,6+0,0,0+");
    parent.node.request = 1;
    for (int i = 0; i < paramCount; ++i) {
        parent.node.param[i] = i + 1.0;
        parent.node.diffRate[i] = i / 10.0;
    }
    parent.node.edgeLength = 7.0;
    TNode child(nullptr, 1);
    child.param.fill(3.0);
    child.paramInput.fill(3.0);
    child.paramFlux.fill(3.0);
    child.Inherit(&parent.node);
    EXPECT_EQ(parent.node.request, 0);
    EXPECT_EQ(child.unit->ToString(), parent.node.unit->ToString());
    for (int i = 0; i < paramCount; ++i) {
        EXPECT_EQ(child.param[i], 0.0);
        EXPECT_EQ(child.paramInput[i], 0.0);
        EXPECT_EQ(child.paramFlux[i], 0.0);
        EXPECT_EQ(child.diffRate[i], i / 10.0);
        EXPECT_EQ(parent.node.param[i], i + 1.0);
    }
    EXPECT_EQ(child.edgeLength, 3.0);  // other fields keep their construction values
}

// Children share their parent's code until one of them changes: a mutated
// child gets its own, and the parent's gene and its other children stay as they were.
TEST(TNodeTest, ChildrenShareTheGeneUntilOneIsChanged) {
    GeneNode parent;
    parent.node.unit->Parse("2,16+0,0,0.5+2,3+0,0,1+0,0,-0.25+");
    TNode first(nullptr, 1);
    TNode second(nullptr, 2);
    first.Inherit(&parent.node);
    second.Inherit(&parent.node);
    EXPECT_TRUE(first.unit->SharesCodeWith(*parent.node.unit));
    EXPECT_TRUE(second.unit->SharesCodeWith(*parent.node.unit));
    const std::string before = parent.node.unit->ToString();
    Random random;
    for (int i = 0; i < 40; ++i) first.unit->Mutate(random);
    EXPECT_FALSE(first.unit->SharesCodeWith(*parent.node.unit));
    EXPECT_NE(first.unit->ToString(), before);
    EXPECT_EQ(parent.node.unit->ToString(), before);
    EXPECT_EQ(second.unit->ToString(), before);
    EXPECT_TRUE(second.unit->SharesCodeWith(*parent.node.unit));
    // Reloading the parent's gene leaves the children with the old one.
    parent.node.unit->Parse("0,2+");
    EXPECT_EQ(second.unit->ToString(), before);
    // Each evaluates on its own node: a shared code does not share a node.
    EXPECT_EQ(second.unit->Node(), &second);
}

// ---- Parameters ---------------------------------------------------------------

class NodeParamsTest : public ::testing::Test {
  protected:
    TNode& node() { return gene.node; }
    GeneNode gene;
};

TEST_F(NodeParamsTest, SetpStoresZeroForNegativeValues) {
    node().SetP(1.0, 2.5);
    EXPECT_EQ(node().param[6], 2.5);
    EXPECT_EQ(node().GetP(1.0), 2.5);
    node().SetP(1.0, -0.5);
    EXPECT_EQ(node().param[6], 0.0);
}

TEST_F(NodeParamsTest, AddpNeverLeavesANegativeValue) {
    node().AddP(0.0, 0.5);
    EXPECT_EQ(node().param[0], std::tanh(0.5) * 0.01);
    node().AddP(0.0, -100.0);
    EXPECT_EQ(node().param[0], 0.0);
}

TEST_F(NodeParamsTest, SetdAndAdddStayInTheUnitInterval) {
    node().SetD(0.0, 5.0);
    EXPECT_EQ(node().diffRate[0], 1.0);
    node().SetD(0.0, -1.0);
    EXPECT_EQ(node().diffRate[0], 0.0);
    node().SetD(20.0, 0.25);
    EXPECT_EQ(node().GetD(20.0), 0.25);
    node().AddD(20.0, 1.0);
    EXPECT_EQ(node().diffRate[9], 0.25 + std::tanh(1.0) * 0.01);
    node().AddD(0.0, -1.0);
    EXPECT_EQ(node().diffRate[0], 0.0);
    node().diffRate[6] = 0.999;
    node().AddD(1.0, 3.0);
    EXPECT_EQ(node().diffRate[6], 1.0);
}

TEST_F(NodeParamsTest, InputsMayGoNegativeUntilApplied) {
    node().param[2] = 0.004;
    node().AddInput(2, -0.01);
    EXPECT_EQ(node().paramInput[2], -0.01);
    node().AddInputTanh(0.0, -100.0);
    EXPECT_EQ(node().paramInput[0], -0.01);
    node().param[3] = 1.0;
    node().AddInput(3, 0.5);
    node().ApplyInput();
    EXPECT_EQ(node().param[2], 0.0);
    EXPECT_EQ(node().param[0], 0.0);
    EXPECT_EQ(node().param[3], 1.5);
    for (int i = 0; i < paramCount; ++i) EXPECT_EQ(node().paramInput[i], 0.0);
}

TEST_F(NodeParamsTest, ApplyFluxAddsAndCutsAtZero) {
    node().param[1] = 0.5;
    node().paramFlux[1] = 0.25;
    node().param[2] = 0.1;
    node().paramFlux[2] = -0.3;
    node().ApplyFlux();
    EXPECT_EQ(node().param[1], 0.75);
    EXPECT_EQ(node().param[2], 0.0);
    for (int i = 0; i < paramCount; ++i) EXPECT_EQ(node().paramFlux[i], 0.0);
}

TEST(DiffusionTest, GeometricMeanOfRatesTimesTheDifference) {
    GeneNode a, b;
    a.node.param[0] = 1.0;
    b.node.param[0] = 0.2;
    a.node.diffRate[0] = 0.25;
    b.node.diffRate[0] = 1.0;
    a.node.Diffuse(&b.node);
    // sqrt(0.25 * 1) * (1 - 0.2) * 0.01 = 0.004 leaves a and reaches b.
    EXPECT_NEAR(a.node.paramFlux[0], -0.004, 1e-17);
    EXPECT_EQ(b.node.paramFlux[0], -a.node.paramFlux[0]);
    EXPECT_EQ(a.node.param[0], 1.0);  // nothing moves before ApplyFlux
    a.node.ApplyFlux();
    b.node.ApplyFlux();
    EXPECT_NEAR(a.node.param[0], 0.996, 1e-15);
    EXPECT_NEAR(b.node.param[0], 0.204, 1e-15);
}

TEST(DiffusionTest, ZeroRateNeitherGivesNorTakes) {
    GeneNode a, b;
    a.node.param[3] = 1.0;
    a.node.diffRate[3] = 1.0;
    a.node.Diffuse(&b.node);
    EXPECT_EQ(a.node.paramFlux[3], 0.0);
    EXPECT_EQ(b.node.paramFlux[3], 0.0);
}

TEST(DiffusionTest, PairSumIsConservedAndFluxAccumulates) {
    GeneNode a, b, c;
    for (int i = 0; i < paramCount; ++i) {
        a.node.param[i] = 0.5 * i;
        b.node.param[i] = 1.0;
        c.node.param[i] = 2.0;
        a.node.diffRate[i] = b.node.diffRate[i] = c.node.diffRate[i] = 0.5;
    }
    a.node.Diffuse(&b.node);
    a.node.Diffuse(&c.node);
    for (int i = 0; i < paramCount; ++i) {
        EXPECT_NEAR(a.node.paramFlux[i] + b.node.paramFlux[i] + c.node.paramFlux[i], 0.0, 1e-17);
        EXPECT_DOUBLE_EQ(a.node.paramFlux[i], -0.5 * (0.5 * i - 1.0) * 0.01 - 0.5 * (0.5 * i - 2.0) * 0.01);
    }
}

// ---- Body properties ----------------------------------------------------------

TEST_F(NodeParamsTest, EdgeLengthRunsFromThreeToEight) {
    node().SetEdgeLength(0.0);
    EXPECT_EQ(node().edgeLength, 3.0);
    node().SetEdgeLength(-5.0);
    EXPECT_EQ(node().edgeLength, 3.0);
    node().SetEdgeLength(1.0);
    EXPECT_EQ(node().edgeLength, 3.0 + std::tanh(1.0) * 5.0);
    node().SetEdgeLength(100.0);
    EXPECT_EQ(node().edgeLength, 8.0);
}

TEST_F(NodeParamsTest, FrictionsComeFromTheSelectedParameter) {
    node().param[6] = 0.5;
    node().SetDynFriction(1.0);
    EXPECT_FLOAT_EQ(node().dynFriction, static_cast<float>(0.1 + std::tanh(0.5) * 0.9));
    node().SetFrictionDiff(1.0);
    EXPECT_FLOAT_EQ(node().frictionDiff, static_cast<float>(0.1 + std::tanh(0.5) * 0.9));
    node().SetDynFriction(0.0);
    EXPECT_FLOAT_EQ(node().dynFriction, 0.1f);
}

TEST_F(NodeParamsTest, StaticFrictionIsCappedAtTwo) {
    node().dynFriction = 0.75f;
    node().frictionDiff = 1.0f;
    EXPECT_EQ(node().GetStaticFriction(), 1.75f);
    node().dynFriction = 1.0f;
    node().frictionDiff = 1.5f;
    EXPECT_EQ(node().GetStaticFriction(), 2.0f);
}

TEST_F(NodeParamsTest, ColourIsNotClampedAndAmbientFollows) {
    node().param[0] = 3.0;
    node().param[6] = 0.5;
    node().SetColor(0.0, 1.0, 20.0);
    EXPECT_EQ(node().material.Diffuse.r, 3.0f);
    EXPECT_EQ(node().material.Diffuse.g, 0.5f);
    EXPECT_EQ(node().material.Diffuse.b, 0.0f);
    EXPECT_EQ(node().material.Ambient.r, 3.0f);
    EXPECT_EQ(node().material.Ambient.g, 0.5f);
    EXPECT_EQ(node().material.Ambient.a, 1.0f);
}

TEST_F(NodeParamsTest, RequestsAndRun) {
    node().RequestDivideG();
    EXPECT_EQ(node().GetRequest(), 1);
    node().RequestDivideT();
    EXPECT_EQ(node().GetRequest(), 2);
    node().RequestDie();
    EXPECT_EQ(node().GetRequest(), 3);
    node().request = 0;
    node().unit->Parse(test::CompileSource("PROG2 SETP 1 4 DIE"));
    node().Run();
    EXPECT_EQ(node().param[6], 4.0);
    EXPECT_EQ(node().GetRequest(), 3);
}

// ---- Dump ---------------------------------------------------------------------

std::vector<std::string> DumpLines(const TNode& node) {
    TextLines lines;
    node.Dump(lines);
    return lines.Lines();
}

TEST_F(NodeParamsTest, DumpExample) {
    node().id = 7;
    node().param[0] = 0.5;
    node().param[3] = 1.0;
    node().param[4] = 0.25;
    node().param[8] = 2.0;
    node().diffRate[1] = 0.1;
    EXPECT_EQ(DumpLines(node()),
              (std::vector<std::string>{"Node ID:7", "P0=0.500000, P3=1.000000, P4=0.250000, ",
                                        "P8=2.000000, ", "PD1=0.100000, "}));
}

TEST_F(NodeParamsTest, DumpOfAnEmptyNodeIsThreeLines) {
    node().id = 12;
    EXPECT_EQ(DumpLines(node()), (std::vector<std::string>{"Node ID:12", "", ""}));
}

TEST_F(NodeParamsTest, DumpPutsThreeEntriesOnALine) {
    node().id = 3;
    for (int i = 0; i < 6; ++i) node().param[i] = i + 1.0;
    for (int i = 0; i < paramCount; ++i) node().diffRate[i] = 1.0;
    EXPECT_EQ(
        DumpLines(node()),
        (std::vector<std::string>{
            "Node ID:3", "P0=1.000000, P1=2.000000, P2=3.000000, ", "P3=4.000000, P4=5.000000, P5=6.000000, ",
            "PD0=1.000000, PD1=1.000000, PD2=1.000000, ", "PD3=1.000000, PD4=1.000000, PD5=1.000000, ",
            "PD6=1.000000, PD7=1.000000, PD8=1.000000, ", "PD9=1.000000, "}));
}

TEST_F(NodeParamsTest, DumpAppendsToTheTextLines) {
    TextLines lines;
    lines.Add("before");
    node().id = 1;
    node().Dump(lines);
    ASSERT_EQ(lines.Lines().size(), 4u);
    EXPECT_EQ(lines.Lines()[0], "before");
    EXPECT_EQ(lines.Lines()[1], "Node ID:1");
}

}  // namespace
}  // namespace qm
