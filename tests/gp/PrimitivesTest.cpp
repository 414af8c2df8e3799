// Every primitive on a real node: its result, its effect on the node and the
// order in which it evaluates its arguments. The primitives that reach linked
// nodes are in WorldPrimitivesTest.cpp.
//
// Slots used below (trunc(tanh x * 9)): x = 0 -> 0, 0.5 -> 4, 1 -> 6, 2 -> 8, 20 -> 9.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "gp/GPmanager.h"
#include "gp/SubUnit.h"
#include "gp/Unit.h"
#include "support/GeneSupport.h"

namespace qm {
namespace {

// A NaN made in gene language: infinity times zero.
const std::string kNaN = "MUL POW4 1e100 0";

class PrimitivesTest : public ::testing::Test {
  protected:
    double Run(const std::string& source) { return gene.Run(source); }
    TNode& node() { return gene.node; }
    test::GeneNode gene;
};

// ---- The registry -------------------------------------------------------------

struct Entry {
    int kind;
    int index;
    const char* name;
};

// In registration order.
const Entry kTable[] = {
    {0, 0, "CONSTV"},  {0, 1, "SMELL"},    {0, 2, "GROUND"},   {0, 3, "ECOUNT"},  {0, 4, "DIE"},
    {0, 5, "CUTEDGE"}, {1, 9, "PULSE"},    {1, 0, "NEG"},      {1, 1, "ABS"},     {1, 2, "NOT"},
    {1, 3, "POW2"},    {1, 4, "POW3"},     {1, 5, "POW4"},     {1, 6, "GDIVIDE"}, {1, 7, "TDIVIDE"},
    {1, 8, "ELENGTH"}, {1, 10, "DYNFRIC"}, {1, 11, "DIFFRIC"}, {1, 12, "GETP"},   {1, 13, "GETD"},
    {2, 0, "AND"},     {2, 1, "OR"},       {2, 2, "IMPULSE"},  {2, 3, "ADDPAR"},  {2, 4, "SUBPAR"},
    {2, 5, "ADDDIF"},  {2, 6, "SUBDIF"},   {2, 7, "ADD"},      {2, 8, "SUB"},     {2, 9, "MUL"},
    {2, 10, "DIV"},    {2, 11, "LT"},      {2, 12, "GT"},      {2, 13, "MIN"},    {2, 14, "MAX"},
    {2, 15, "IFT"},    {2, 16, "PROG2"},   {2, 17, "SETP"},    {2, 18, "SETD"},   {3, 0, "IFTE"},
    {3, 1, "PROG3"},   {3, 2, "SETCOLP"},
};

TEST(RegistryTest, FortyTwoPrimitivesInRegistrationOrderWithTheirCodes) {
    GPmanager* gp = GPmanager::GetInstance();
    const auto& functions = gp->Functions();
    ASSERT_EQ(functions.size(), std::size(kTable));
    for (std::size_t i = 0; i < std::size(kTable); ++i) {
        const Entry& e = kTable[i];
        EXPECT_EQ(functions[i]->Name(), e.name) << "position " << i;
        EXPECT_EQ(functions[i]->kind, e.kind) << e.name;
        EXPECT_EQ(functions[i]->index, e.index) << e.name;
        EXPECT_EQ(gp->FindByName(e.name), functions[i].get()) << e.name;
        EXPECT_EQ(gp->FindByCode(e.kind, e.index), functions[i].get()) << e.name;
    }
}

TEST(RegistryTest, AbsentEntriesAreNull) {
    GPmanager* gp = GPmanager::GetInstance();
    EXPECT_EQ(gp->FindByName("mul"), nullptr);
    EXPECT_EQ(gp->FindByName(""), nullptr);
    EXPECT_EQ(gp->FindByCode(0, 6), nullptr);
    EXPECT_EQ(gp->FindByCode(1, 14), nullptr);
    EXPECT_EQ(gp->FindByCode(2, 19), nullptr);
    EXPECT_EQ(gp->FindByCode(3, 3), nullptr);
    EXPECT_EQ(gp->FindByCode(4, 0), nullptr);
    EXPECT_EQ(gp->FindByCode(-1, 0), nullptr);
}

TEST(RegistryTest, TheOperationsOfOtherAritiesReturnMinusOne) {
    test::GeneNode gene;
    gene.node.unit->Parse("0,0,1+");
    SubUnit view(gene.node.unit.get(), 0, 1);
    for (const auto& f : GPmanager::GetInstance()->Functions()) {
        if (f->kind != 0) {
            EXPECT_EQ(f->Eval0(view), -1.0) << f->Name();
        }
        if (f->kind != 1) {
            EXPECT_EQ(f->Eval1(view), -1.0) << f->Name();
        }
        if (f->kind != 2) {
            EXPECT_EQ(f->Eval2(view, view), -1.0) << f->Name();
        }
        if (f->kind != 3) {
            EXPECT_EQ(f->Eval3(view, view, view), -1.0) << f->Name();
        }
    }
    EXPECT_EQ(GPmanager::GetInstance()->FindByName("CONSTV")->Eval0(view), 0.0);
}

// ---- Terminals ----------------------------------------------------------------

TEST_F(PrimitivesTest, ConstantIsItsValue) { EXPECT_EQ(Run("0.75"), 0.75); }

TEST_F(PrimitivesTest, SmellIsTheInverseDistanceToTheGoal) {
    node().SetPos(1.0f, 2.0f, 3.0f);
    node().goal = {4.0f, 6.0f, 3.0f};  // 3-4-5
    EXPECT_EQ(Run("SMELL"), 0.2);
}

TEST_F(PrimitivesTest, GroundReadsTheFloorContact) {
    EXPECT_EQ(Run("GROUND"), 0.0);
    node().onGround = true;
    EXPECT_EQ(Run("GROUND"), 1.0);
}

TEST_F(PrimitivesTest, EcountIsOneOverLinksPlusOne) {
    EXPECT_EQ(Run("ECOUNT"), 1.0);
    node().edgeCount = 3;
    EXPECT_EQ(Run("ECOUNT"), 0.25);
}

TEST_F(PrimitivesTest, DieRequestsDeath) {
    EXPECT_EQ(Run("DIE"), 0.0);
    EXPECT_EQ(node().request, 3);
}

TEST_F(PrimitivesTest, CutedgeWithoutLinksDoesNothing) {
    EXPECT_EQ(Run("CUTEDGE"), 0.0);
    EXPECT_EQ(node().edgeCount, 0);
}

// ---- Arithmetic and logic -----------------------------------------------------

TEST_F(PrimitivesTest, OneArgumentArithmetic) {
    EXPECT_EQ(Run("NEG 2.5"), -2.5);
    EXPECT_TRUE(std::signbit(Run("NEG 0")));
    EXPECT_EQ(Run("ABS -3"), 3.0);
    EXPECT_EQ(Run("ABS 3"), 3.0);
    EXPECT_EQ(Run("POW2 -3"), 9.0);
    EXPECT_EQ(Run("POW3 -2"), -8.0);
    EXPECT_EQ(Run("POW4 1.5"), 5.0625);
    EXPECT_EQ(Run("POW3 0.1"), 0.1 * 0.1 * 0.1);
    EXPECT_EQ(Run("POW4 0.1"), 0.1 * 0.1 * 0.1 * 0.1);
}

TEST_F(PrimitivesTest, NotTreatsOnlyZeroAsFalse) {
    EXPECT_EQ(Run("NOT 0"), 1.0);
    EXPECT_EQ(Run("NOT -0"), 1.0);
    EXPECT_EQ(Run("NOT 2"), 0.0);
    EXPECT_EQ(Run("NOT " + kNaN), 0.0);
}

TEST_F(PrimitivesTest, TwoArgumentArithmetic) {
    EXPECT_EQ(Run("ADD 1.5 2.25"), 3.75);
    EXPECT_EQ(Run("SUB 1.5 2.25"), -0.75);
    EXPECT_EQ(Run("MUL 1.5 -4"), -6.0);
    EXPECT_EQ(Run("DIV 6 -4"), -1.5);
    EXPECT_EQ(node().request, 0);
}

TEST_F(PrimitivesTest, DivisionByZeroKillsAndSkipsTheNumerator) {
    EXPECT_EQ(Run("DIV 1 0"), 0.0);
    EXPECT_EQ(node().request, 3);
    node().request = 0;
    EXPECT_EQ(Run("DIV 1 -0"), 0.0);
    EXPECT_EQ(node().request, 3);
    node().request = 0;
    EXPECT_TRUE(std::isnan(Run("DIV 1 " + kNaN)));
    EXPECT_EQ(node().request, 0);
}

TEST_F(PrimitivesTest, Comparisons) {
    EXPECT_EQ(Run("LT 1 2"), 1.0);
    EXPECT_EQ(Run("LT 2 1"), 0.0);
    EXPECT_EQ(Run("LT 2 2"), 0.0);
    EXPECT_EQ(Run("GT 2 1"), 1.0);
    EXPECT_EQ(Run("GT 1 2"), 0.0);
    EXPECT_EQ(Run("GT 2 2"), 0.0);
    EXPECT_EQ(Run("MIN 1 2"), 1.0);
    EXPECT_EQ(Run("MIN 2 1"), 1.0);
    EXPECT_EQ(Run("MAX 1 2"), 2.0);
    EXPECT_EQ(Run("MAX 2 1"), 2.0);
}

TEST_F(PrimitivesTest, MinAndMaxReturnTheSecondArgumentOnTies) {
    EXPECT_TRUE(std::signbit(Run("MIN 0 -0")));
    EXPECT_FALSE(std::signbit(Run("MIN -0 0")));
    EXPECT_TRUE(std::signbit(Run("MAX 0 -0")));
    EXPECT_FALSE(std::signbit(Run("MAX -0 0")));
    // With NaN no comparison holds, so the second argument comes back.
    EXPECT_EQ(Run("MIN " + kNaN + " 1"), 1.0);
    EXPECT_TRUE(std::isnan(Run("MAX 1 " + kNaN)));
}

TEST_F(PrimitivesTest, AndReturnsTheSecondValueWhenBothAreTrue) {
    EXPECT_EQ(Run("AND 2 3"), 3.0);
    EXPECT_EQ(Run("AND 0 3"), 0.0);
    EXPECT_EQ(Run("AND 2 0"), 0.0);
    EXPECT_EQ(Run("AND " + kNaN + " 4"), 4.0);
}

TEST_F(PrimitivesTest, OrReturnsTheFirstTrueValue) {
    EXPECT_EQ(Run("OR 2 3"), 2.0);
    EXPECT_EQ(Run("OR 0 3"), 3.0);
    EXPECT_EQ(Run("OR 0 0"), 0.0);
    const double zero = Run("OR 0 -0");
    EXPECT_EQ(zero, 0.0);
    EXPECT_FALSE(std::signbit(zero));
    EXPECT_TRUE(std::isnan(Run("OR " + kNaN + " 4")));
}

TEST_F(PrimitivesTest, ConditionalsAndSequences) {
    EXPECT_EQ(Run("IFT 2 3"), 3.0);
    EXPECT_EQ(Run("IFT 0 3"), 0.0);
    EXPECT_EQ(Run("IFT " + kNaN + " 3"), 3.0);
    EXPECT_EQ(Run("IFTE 1 2 3"), 2.0);
    EXPECT_EQ(Run("IFTE 0 2 3"), 3.0);
    EXPECT_EQ(Run("IFTE " + kNaN + " 2 3"), 2.0);
    EXPECT_EQ(Run("PROG2 1 2"), 2.0);
    EXPECT_EQ(Run("PROG3 1 2 3"), 3.0);
}

TEST_F(PrimitivesTest, SequencesEvaluateTheDiscardedArgumentsInOrder) {
    EXPECT_EQ(Run("PROG2 SETP 0 4 GETP 0"), 4.0);
    EXPECT_EQ(Run("PROG3 SETP 0 1 SETP 0 2 GETP 0"), 2.0);
    EXPECT_EQ(node().param[0], 2.0);
}

// Each two-argument primitive below evaluates a, then b, once each. Probe:
// a = PROG2(SETP(0, 4), c) writes P0 = 4 and yields c; b = GETP(0) reads P0.
// Had b been evaluated first it would have read 0.
struct OrderCase {
    const char* name;
    const char* c;
    double expected;
};

TEST_F(PrimitivesTest, TwoArgumentPrimitivesEvaluateFirstToLast) {
    const OrderCase cases[] = {
        {"AND", "1", 4.0}, {"OR", "0", 4.0},  {"ADD", "1", 5.0},   {"SUB", "1", -3.0},
        {"MUL", "1", 4.0}, {"LT", "1", 1.0},  {"GT", "1", 0.0},    {"MIN", "1", 1.0},
        {"MAX", "1", 4.0}, {"IFT", "1", 4.0}, {"PROG2", "1", 4.0},
    };
    for (const OrderCase& c : cases) {
        node().ResetParams();
        EXPECT_EQ(Run(std::string(c.name) + " PROG2 SETP 0 4 " + c.c + " GETP 0"), c.expected) << c.name;
    }
}

TEST_F(PrimitivesTest, EachArgumentIsEvaluatedOnce) {
    // Each argument adds tanh(100) * 0.01 = 0.01 to its own slot when evaluated.
    const char* names[] = {"AND", "OR", "ADD", "SUB", "MUL", "DIV", "LT", "GT", "MIN", "MAX", "PROG2"};
    for (const char* name : names) {
        node().ResetParams();
        Run(std::string(name) + " PROG2 ADDPAR 0 100 1 PROG2 ADDPAR 1 100 2");
        EXPECT_EQ(node().param[0], 0.01) << name;
        EXPECT_EQ(node().param[6], 0.01) << name;
    }
    node().ResetParams();
    Run("PROG3 ADDPAR 0 100 ADDPAR 1 100 ADDPAR 20 100");
    EXPECT_EQ(node().param[0], 0.01);
    EXPECT_EQ(node().param[6], 0.01);
    EXPECT_EQ(node().param[9], 0.01);
}

TEST_F(PrimitivesTest, DivEvaluatesTheDivisorFirst) { EXPECT_EQ(Run("DIV GETP 0 PROG2 SETP 0 4 2"), 2.0); }

// ---- Parameters and diffusion rates ------------------------------------------

TEST_F(PrimitivesTest, SetpWritesTheSelectedSlotAndReturnsItsFirstArgument) {
    EXPECT_EQ(Run("SETP 1 5"), 1.0);
    EXPECT_EQ(node().param[6], 5.0);
    EXPECT_EQ(Run("SETP 0.5 -1"), 0.5);
    EXPECT_EQ(node().param[4], 0.0);
    EXPECT_EQ(Run("SETP -3 2"), -3.0);
    EXPECT_EQ(node().param[0], 2.0);
}

TEST_F(PrimitivesTest, GetpAndGetdReadTheSelectedSlot) {
    node().param[6] = 0.3;
    node().diffRate[8] = 0.4;
    EXPECT_EQ(Run("GETP 1"), 0.3);
    EXPECT_EQ(Run("GETD 2"), 0.4);
    EXPECT_EQ(Run("GETP 2"), 0.0);
}

TEST_F(PrimitivesTest, AddparAndSubparMoveByOnePercentOfTanh) {
    EXPECT_EQ(Run("ADDPAR 1 1"), 1.0);
    EXPECT_EQ(node().param[6], std::tanh(1.0) * 0.01);
    node().param[0] = 0.5;
    EXPECT_EQ(Run("SUBPAR 0 2"), 0.0);
    EXPECT_EQ(node().param[0], 0.5 - std::tanh(2.0) * 0.01);
    node().param[8] = 0.001;
    EXPECT_EQ(Run("SUBPAR 2 100"), 2.0);
    EXPECT_EQ(node().param[8], 0.0);  // never below 0
}

TEST_F(PrimitivesTest, SetdClampsToTheUnitInterval) {
    EXPECT_EQ(Run("SETD 1 5"), 1.0);
    EXPECT_EQ(node().diffRate[6], 1.0);
    EXPECT_EQ(Run("SETD 1 -1"), 1.0);
    EXPECT_EQ(node().diffRate[6], 0.0);
    EXPECT_EQ(Run("SETD 0.5 0.3"), 0.5);
    EXPECT_EQ(node().diffRate[4], 0.3);
}

TEST_F(PrimitivesTest, AdddifAndSubdifMoveByOnePercentOfTanhWithinTheUnitInterval) {
    EXPECT_EQ(Run("ADDDIF 0 0.5"), 0.0);
    EXPECT_EQ(node().diffRate[0], std::tanh(0.5) * 0.01);
    node().diffRate[6] = 0.995;
    EXPECT_EQ(Run("ADDDIF 1 100"), 1.0);
    EXPECT_EQ(node().diffRate[6], 1.0);
    node().diffRate[8] = 0.5;
    EXPECT_EQ(Run("SUBDIF 2 1"), 2.0);
    EXPECT_EQ(node().diffRate[8], 0.5 - std::tanh(1.0) * 0.01);
    EXPECT_EQ(Run("SUBDIF 20 1"), 20.0);
    EXPECT_EQ(node().diffRate[9], 0.0);
}

// ---- Thresholds ---------------------------------------------------------------

TEST_F(PrimitivesTest, DivisionRequestsFireOnTheSelectedParameterAndConsumeIt) {
    node().param[0] = 0.99;
    EXPECT_EQ(Run("GDIVIDE 0"), 0.0);
    EXPECT_EQ(node().request, 0);
    EXPECT_EQ(node().param[0], 0.99);

    node().param[0] = 1.0;
    EXPECT_EQ(Run("GDIVIDE 0"), 0.0);
    EXPECT_EQ(node().request, 1);
    EXPECT_EQ(node().param[0], 0.0);

    node().request = 0;
    node().param[6] = 1.5;
    EXPECT_EQ(Run("TDIVIDE 1"), 1.0);
    EXPECT_EQ(node().request, 2);
    EXPECT_EQ(node().param[6], 0.0);

    // The value itself is not the test: 5 selects slot 8, which is empty.
    node().request = 0;
    EXPECT_EQ(Run("TDIVIDE 5"), 5.0);
    EXPECT_EQ(node().request, 0);
}

TEST_F(PrimitivesTest, ThresholdIsFalseForNaN) {
    node().param[0] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Run("GDIVIDE 0"), 0.0);
    EXPECT_EQ(Run("TDIVIDE 0"), 0.0);
    EXPECT_EQ(node().request, 0);
    EXPECT_TRUE(std::isnan(node().param[0]));
}

TEST_F(PrimitivesTest, NaNArgumentNamesSlotZero) {
    node().param[0] = 2.0;
    EXPECT_TRUE(std::isnan(Run("GDIVIDE " + kNaN)));
    EXPECT_EQ(node().request, 1);
    EXPECT_EQ(node().param[0], 0.0);
}

// ---- Body properties ----------------------------------------------------------

TEST_F(PrimitivesTest, ElengthUsesTheSelectedParameter) {
    node().param[0] = 0.5;
    EXPECT_EQ(Run("ELENGTH 0"), 0.0);
    EXPECT_EQ(node().edgeLength, 3.0 + std::tanh(0.5) * 5.0);
    // 5 selects the empty slot 8: weight tanh(0) = 0.
    EXPECT_EQ(Run("ELENGTH 5"), 5.0);
    EXPECT_EQ(node().edgeLength, 3.0);
    node().param[6] = 100.0;
    EXPECT_EQ(Run("ELENGTH 1"), 1.0);
    EXPECT_EQ(node().edgeLength, 8.0);
}

TEST_F(PrimitivesTest, FrictionSettersUseTheSelectedParameter) {
    node().param[6] = 1.0;
    EXPECT_EQ(Run("DYNFRIC 1"), 1.0);
    EXPECT_FLOAT_EQ(node().dynFriction, static_cast<float>(0.1 + std::tanh(1.0) * 0.9));
    EXPECT_EQ(Run("DIFFRIC 0"), 0.0);
    EXPECT_FLOAT_EQ(node().frictionDiff, 0.1f);
    node().param[9] = 50.0;
    EXPECT_EQ(Run("DIFFRIC 20"), 20.0);
    EXPECT_FLOAT_EQ(node().frictionDiff, 1.0f);
}

TEST_F(PrimitivesTest, SetcolpColoursFromTheThreeSelectedParameters) {
    node().param[0] = 0.1;
    node().param[6] = 0.2;
    node().param[9] = 2.5;  // not clamped
    EXPECT_EQ(Run("SETCOLP 0 1 20"), 0.0);
    EXPECT_EQ(node().material.Diffuse.r, 0.1f);
    EXPECT_EQ(node().material.Diffuse.g, 0.2f);
    EXPECT_EQ(node().material.Diffuse.b, 2.5f);
    EXPECT_EQ(node().material.Diffuse.a, 1.0f);
    EXPECT_EQ(node().material.Ambient.r, 0.1f);
    EXPECT_EQ(node().material.Ambient.g, 0.2f);
    EXPECT_EQ(node().material.Ambient.b, 2.5f);
    EXPECT_EQ(node().material.Ambient.a, 1.0f);
}

TEST_F(PrimitivesTest, SetcolpEvaluatesLastToFirst) {
    // Each argument writes P0 and names slot 0: the first argument writes last.
    EXPECT_EQ(Run("SETCOLP PROG2 SETP 0 0.25 0 PROG2 SETP 0 0.5 0 PROG2 SETP 0 0.75 0"), 0.0);
    EXPECT_EQ(node().param[0], 0.25);
    EXPECT_EQ(node().material.Diffuse.r, 0.25f);
    // The first argument sees the third's write: P0 = 20 names slot 9.
    node().ResetParams();
    node().param[9] = 0.5;
    EXPECT_EQ(Run("SETCOLP GETP 0 0 PROG2 SETP 0 20 0"), 0.0);
    EXPECT_EQ(node().material.Diffuse.r, 0.5f);
}

TEST_F(PrimitivesTest, WritersReturnTheirFirstArgument) {
    const char* sources[] = {"ADDPAR 0.5 1", "SUBPAR 0.5 1", "ADDDIF 0.5 1", "SUBDIF 0.5 1", "SETP 0.5 1",
                             "SETD 0.5 1",   "ELENGTH 0.5",  "DYNFRIC 0.5",  "DIFFRIC 0.5"};
    for (const char* source : sources) EXPECT_EQ(Run(source), 0.5) << source;
}

}  // namespace
}  // namespace qm
