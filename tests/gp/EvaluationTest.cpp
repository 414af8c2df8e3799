// Evaluating a gene as an expression tree: the structural checks and their
// messages, lazy arguments, and the subtree lengths evaluation relies on.

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Random.h"
#include "gp/GPmanager.h"
#include "gp/SubUnit.h"
#include "gp/Unit.h"
#include "support/GeneSupport.h"

namespace qm {
namespace {

using test::CompileSource;
using test::ErrorTextOf;
using test::GeneNode;

const std::string kBadCall = "SubUnit::Operate(); 不正な関数呼び出しです\n";

class EvaluationTest : public ::testing::Test {
  protected:
    double RunCode(const std::string& code) {
        gene.node.unit->Parse(code);
        return gene.node.unit->Evaluate();
    }
    std::string RunError(const std::string& code) {
        return ErrorTextOf([&] { RunCode(code); });
    }
    double Run(const std::string& source) { return gene.Run(source); }
    TNode& node() { return gene.node; }

    GeneNode gene;
};

TEST_F(EvaluationTest, ConstantAtTheRootIgnoresEverythingAfterIt) {
    EXPECT_EQ(Run("1.0 2.0 MUL"), 1.0);
    EXPECT_EQ(Run("-0.25"), -0.25);
}

TEST_F(EvaluationTest, TerminalAtTheRootHasNoSizeCheck) {
    node().onGround = true;
    EXPECT_EQ(RunCode("0,2+0,0,1+0,0,2+"), 1.0);
    EXPECT_EQ(RunCode("0,4+1,0+"), 0.0);
    EXPECT_EQ(node().request, 3);
}

TEST_F(EvaluationTest, RootWhoseArgumentsEndEarlyFailsWithItsArity) {
    EXPECT_EQ(RunError(CompileSource("MUL 1 2 3 MUL")), "不正な遺伝要素：TwoArg\n");
    EXPECT_EQ(RunError("1,0+0,0,1+0,0,2+"), "不正な遺伝要素：OneArg\n");
    EXPECT_EQ(RunError("3,0+0,0,1+0,0,2+0,0,3+0,0,4+"), "不正な遺伝要素：ThrArg\n");
}

TEST_F(EvaluationTest, UnknownPrimitiveInAnUntakenBranchIsNeverLookedUp) {
    // IFTE(c, <no such one-argument primitive>(1), 5)
    EXPECT_EQ(RunCode("3,0+0,0,0+1,14+0,0,1+0,0,5+"), 5.0);
    EXPECT_EQ(RunError("3,0+0,0,1+1,14+0,0,1+0,0,5+"), kBadCall);
}

TEST_F(EvaluationTest, UnknownPrimitiveOfEveryArity) {
    EXPECT_EQ(RunError("0,6+"), kBadCall);
    EXPECT_EQ(RunError("1,14+0,0,1+"), kBadCall);
    EXPECT_EQ(RunError("2,19+0,0,1+0,0,2+"), kBadCall);
    EXPECT_EQ(RunError("3,3+0,0,1+0,0,2+0,0,3+"), kBadCall);
}

TEST_F(EvaluationTest, StructuralCheckComesBeforeTheLookup) {
    EXPECT_EQ(RunError("2,19+0,0,1+0,0,2+0,0,3+"), "不正な遺伝要素：TwoArg\n");
}

TEST_F(EvaluationTest, ViewPastTheEndIsAnOutOfRangeError) {
    EXPECT_THROW(RunCode(""), std::out_of_range);
    EXPECT_THROW(RunCode("2,9+"), std::out_of_range);
}

TEST_F(EvaluationTest, ElementKindOutsideTheArityClassesIsAClearError) {
    node().unit->Clear();
    node().unit->Append(GeneElement{4, 0, 0.0});
    EXPECT_EQ(ErrorTextOf([&] { node().unit->Evaluate(); }),
              "SubUnit::Operate(); invalid element kind 4 (kinds are 0 to 3)\n");
}

TEST_F(EvaluationTest, EffectsMadeBeforeAnErrorStay) {
    // PROG2(SETP(0, 5), <no such terminal>)
    EXPECT_EQ(RunError("2,16+2,17+0,0,0+0,0,5+0,9+"), kBadCall);
    EXPECT_EQ(node().param[0], 5.0);
}

TEST_F(EvaluationTest, UntakenArgumentsHaveNoSideEffects) {
    Run("IFTE 1 2 DIE");
    Run("IFTE 0 DIE 2");
    Run("IFT 0 DIE");
    Run("IMPULSE 0 DIE");  // parameter 0 is empty: b is not evaluated
    EXPECT_EQ(node().request, 0);

    EXPECT_EQ(Run("DIV SETP 0 5 0"), 0.0);
    EXPECT_EQ(node().param[0], 0.0);
    EXPECT_EQ(node().request, 3);

    Run("DIV IFTE SETP 0 7 1 2 0");
    EXPECT_EQ(node().param[0], 0.0);
    EXPECT_EQ(Run("IFTE 1 GETP 0 SETP 0 9"), 0.0);
    EXPECT_EQ(node().param[0], 0.0);
}

TEST_F(EvaluationTest, EvaluationLeavesTheGeneUnchangedAndRepeats) {
    Run("ADD SMELL MUL 2 ECOUNT");
    const std::string before = node().unit->ToString();
    node().goal = {0.0f, 0.0f, 4.0f};
    EXPECT_EQ(node().unit->Evaluate(), 0.25 + 2.0);
    EXPECT_EQ(node().unit->Evaluate(), 0.25 + 2.0);
    EXPECT_EQ(node().unit->ToString(), before);
}

TEST(SubtreeLengthTest, WalkOnHandWorkedCodes) {
    Unit unit;
    unit.Parse(CompileSource("ADD 0.25 MUL GROUND 0.5"));
    const int expected[] = {5, 1, 3, 1, 1, 0};
    for (int from = 0; from <= 5; ++from) {
        EXPECT_EQ(WalkSubtreeLength(unit.Code(), from), expected[from]) << from;
        EXPECT_EQ(unit.SubtreeLengthAt(from), expected[from]) << from;
        SubUnit view(&unit, 0, 5);
        int count = -1;
        view.SubtreeLength(from, count);
        EXPECT_EQ(count, expected[from]) << from;
    }
    // Incomplete subtrees count up to the end of the code.
    unit.Parse("2,9+1,0+0,0,1+");
    EXPECT_EQ(unit.SubtreeLengthAt(0), 3);
    EXPECT_EQ(unit.SubtreeLengthAt(1), 2);
    EXPECT_EQ(unit.SubtreeLengthAt(2), 1);
}

// The cached lengths must equal the walk for every start position, on trees,
// on sequences that are not trees and on elements of unknown kinds.
void ExpectCacheMatchesWalk(const Unit& unit, const std::string& what) {
    const auto& code = unit.Code();
    for (int from = 0; from <= static_cast<int>(code.size()); ++from) {
        ASSERT_EQ(unit.SubtreeLengthAt(from), WalkSubtreeLength(code, from)) << what << " from " << from;
    }
    for (int i = 0; i < static_cast<int>(code.size()); ++i) {
        ASSERT_EQ(unit.FunctionAt(i), GPmanager::GetInstance()->FindByCode(code[i].kind, code[i].index))
            << what << " at " << i;
    }
}

TEST(SubtreeLengthTest, CachedLengthsMatchTheWalkOnRandomCodes) {
    Random generator;
    std::mt19937 random(12345);
    auto element = [&](bool oddKinds) {
        GeneElement e;
        e.kind = oddKinds ? static_cast<int>(random() % 7) - 1 : static_cast<int>(random() % 4);
        e.index = static_cast<int>(random() % 20);
        return e;
    };
    for (int round = 0; round < 3000; ++round) {
        Unit unit;
        const bool oddKinds = round % 3 == 0;
        // Random elements alone rarely form long subtrees: every other round
        // puts whole random trees, up to 200 elements long, between them.
        const int pieces = 1 + static_cast<int>(random() % 4);
        for (int piece = 0; piece < pieces; ++piece) {
            const int loose = static_cast<int>(random() % 30);
            for (int i = 0; i < loose; ++i) unit.Append(element(oddKinds));
            if (round % 2 == 0) {
                generator.Seed(static_cast<unsigned>(random()));
                std::vector<GeneElement> tree;
                unit.RandomTree(generator, 1 + static_cast<int>(random() % 200), tree);
                for (const GeneElement& e : tree) unit.Append(e);
            }
        }
        ExpectCacheMatchesWalk(unit, "round " + std::to_string(round));
    }
}

TEST(SubtreeLengthTest, CacheFollowsEveryChangeOfTheCode) {
    Random generator;
    Unit unit;
    unit.Parse(CompileSource("IFTE GROUND NEG SMELL PROG3 DIE 2 -3"));
    ExpectCacheMatchesWalk(unit, "parsed");
    unit.Append(GeneElement{2, 9, 0.0});
    ExpectCacheMatchesWalk(unit, "appended");
    Unit copy;
    copy.CopyFrom(unit);
    ExpectCacheMatchesWalk(copy, "copied");
    for (unsigned seed = 1; seed <= 300; ++seed) {
        generator.Seed(seed);
        copy.Mutate(generator);
        ExpectCacheMatchesWalk(copy, "mutated, seed " + std::to_string(seed));
    }
    unit.Parse("1,0+0,0,1+");
    ExpectCacheMatchesWalk(unit, "parsed again");
    unit.Clear();
    ExpectCacheMatchesWalk(unit, "cleared");
}

}  // namespace
}  // namespace qm
