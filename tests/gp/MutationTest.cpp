// Random gene elements, random subtrees and mutation: which draws they take,
// in which order, and the shape of what they leave behind.
//
// The draws are predicted with test::ExpectedDraws, the generator's recurrence kept apart
// from the engine; test::SeedForDraw picks a seed whose first draw is given.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Random.h"
#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "support/ExpectedDraws.h"
#include "support/GeneSupport.h"

namespace qm {
namespace {

using test::ExpectedDraws;
using test::IndexDraw;
using test::IsOneTree;
using test::RoundDraw;
using test::SymmetricDraw;

// The operator a first draw selects: weights 1.0, 0.7, 0.1 over r * 1.8/32767.
int OperatorOf(int r) {
    double x = r * static_cast<double>(test::kScale1p8);
    return x <= 1.0 ? 0 : (x <= 1.7 ? 1 : 2);
}

// How many draws `random` made since it was seeded with seed: where its next
// three draws sit in the recurrence (three, so that a chance match of one
// 15-bit value cannot mislead).
int DrawsTaken(Random& random, std::uint32_t seed) {
    const int next[3] = {random.Rand(), random.Rand(), random.Rand()};
    std::vector<int> sequence;
    ExpectedDraws lcg(seed);
    for (int i = 0; i < 1003; ++i) sequence.push_back(lcg.Next());
    for (int n = 0; n < 1000; ++n) {
        if (sequence[n] == next[0] && sequence[n + 1] == next[1] && sequence[n + 2] == next[2]) return n;
    }
    return -1;
}

// The tree RandomTree(budget) builds after `skip` draws from seed.
std::vector<GeneElement> TreeAfter(std::uint32_t seed, int skip, int budget) {
    Random random(seed);
    for (int i = 0; i < skip; ++i) random.Rand();
    std::vector<GeneElement> tree;
    Unit().RandomTree(random, budget, tree);
    return tree;
}

void ExpectSameElements(const std::vector<GeneElement>& actual, const std::vector<GeneElement>& expected,
                        const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        ASSERT_EQ(actual[i].kind, expected[i].kind) << what << " at " << i;
        ASSERT_EQ(actual[i].index, expected[i].index) << what << " at " << i;
        if (actual[i].IsConstant()) {
            ASSERT_EQ(actual[i].value, expected[i].value) << what << " at " << i;
        }
    }
}

// The first seed from `from` on whose draws satisfy pick.
template <class Pick>
std::uint32_t FindSeed(Pick pick, std::uint32_t from = 1) {
    for (std::uint32_t seed = from; seed < from + 2000000; ++seed) {
        ExpectedDraws lcg(seed);
        std::vector<int> d(12);
        for (int& r : d) r = lcg.Next();
        if (pick(d)) return seed;
    }
    ADD_FAILURE() << "no seed found";
    return from;
}

std::vector<GeneElement> CodeOf(const std::string& code) {
    Unit unit;
    unit.Parse(code);
    return unit.Code();
}

void ExpectRegisteredTree(const std::vector<GeneElement>& code, const std::string& what) {
    ASSERT_TRUE(IsOneTree(code)) << what;
    for (const GeneElement& e : code) {
        ASSERT_NE(GPmanager::GetInstance()->FindByCode(e.kind, e.index), nullptr) << what;
        if (e.IsConstant()) {
            ASSERT_GE(e.value, -1.0) << what;
            ASSERT_LE(e.value, 1.0) << what;
        }
    }
}

// ---- RandomElement and RandomTree ---------------------------------------------

TEST(RandomElementTest, DrawsKindThenIndexThenValue) {
    Random random;
    Unit unit;
    const std::uint32_t seed = FindSeed(
        [](const std::vector<int>& d) { return RoundDraw(d[0], 3) == 0 && IndexDraw(d[1], 0) == 0; });
    ExpectedDraws lcg(seed);
    const int kindDraw = lcg.Next(), indexDraw = lcg.Next(), valueDraw = lcg.Next();
    random.Seed(seed);
    GeneElement e = unit.RandomElement(random, 3);
    EXPECT_EQ(e.kind, RoundDraw(kindDraw, 3));
    EXPECT_EQ(e.index, IndexDraw(indexDraw, 0));
    EXPECT_EQ(e.value, SymmetricDraw(valueDraw));
    EXPECT_EQ(DrawsTaken(random, seed), 3);
}

TEST(RandomElementTest, NonConstantsTakeTwoDraws) {
    Random random;
    Unit unit;
    for (std::uint32_t seed = 1; seed <= 500; ++seed) {
        ExpectedDraws lcg(seed);
        const int kindDraw = lcg.Next(), indexDraw = lcg.Next();
        const int kind = RoundDraw(kindDraw, 3);
        const int index = IndexDraw(indexDraw, kind);
        random.Seed(seed);
        GeneElement e = unit.RandomElement(random, 3);
        ASSERT_EQ(e.kind, kind);
        ASSERT_EQ(e.index, index);
        ASSERT_EQ(DrawsTaken(random, seed), kind == 0 && index == 0 ? 3 : 2) << seed;
    }
}

TEST(RandomElementTest, KindRangeFollowsMaxKind) {
    Random random;
    Unit unit;
    int kindCount[3][4] = {};
    for (int r = 0; r <= 32767; r += 7) {
        for (int maxKind : {0, 1, 3}) {
            random.Seed(test::SeedForDraw(r));
            GeneElement e = unit.RandomElement(random, maxKind);
            ASSERT_EQ(e.kind, RoundDraw(r, maxKind));
            kindCount[maxKind == 3 ? 2 : maxKind][e.kind] += 1;
        }
    }
    EXPECT_GT(kindCount[1][1], 0);
    EXPECT_EQ(kindCount[0][1] + kindCount[0][2] + kindCount[0][3], 0);
    EXPECT_EQ(kindCount[1][2] + kindCount[1][3], 0);
    EXPECT_GT(kindCount[2][3], 0);
}

TEST(RandomElementTest, EveryPrimitiveCanBeDrawn) {
    Random random;
    Unit unit;
    std::vector<std::vector<bool>> seen = {std::vector<bool>(6), std::vector<bool>(14), std::vector<bool>(19),
                                           std::vector<bool>(3)};
    for (std::uint32_t seed = 1; seed <= 20000; ++seed) {
        random.Seed(seed);
        GeneElement e = unit.RandomElement(random, 3);
        seen[static_cast<std::size_t>(e.kind)][static_cast<std::size_t>(e.index)] = true;
    }
    for (std::size_t kind = 0; kind < seen.size(); ++kind) {
        for (std::size_t index = 0; index < seen[kind].size(); ++index) {
            EXPECT_TRUE(seen[kind][index]) << kind << "," << index;
        }
    }
}

TEST(RandomTreeTest, BudgetOneAlwaysGivesOneTerminal) {
    Random random;
    Unit unit;
    for (std::uint32_t seed = 1; seed <= 2000; ++seed) {
        ExpectedDraws lcg(seed);
        const int kindDraw = lcg.Next(), indexDraw = lcg.Next(), valueDraw = lcg.Next();
        random.Seed(seed);
        std::vector<GeneElement> out(3);  // old contents are discarded
        unit.RandomTree(random, 1, out);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(RoundDraw(kindDraw, 0), 0);
        ASSERT_EQ(out[0].kind, 0);
        ASSERT_EQ(out[0].index, IndexDraw(indexDraw, 0));
        if (out[0].IsConstant()) {
            ASSERT_EQ(out[0].value, SymmetricDraw(valueDraw));
        }
    }
}

TEST(RandomTreeTest, BudgetTwoGivesATerminalOrAOneArgumentCall) {
    Random random;
    Unit unit;
    for (std::uint32_t seed = 1; seed <= 2000; ++seed) {
        ExpectedDraws lcg(seed);
        random.Seed(seed);
        std::vector<GeneElement> out;
        unit.RandomTree(random, 2, out);
        // First element: kind 0 or 1 (two elements left, one slot open).
        const int kind = RoundDraw(lcg.Next(), 1);
        const int index = IndexDraw(lcg.Next(), kind);
        ASSERT_EQ(out[0].kind, kind);
        ASSERT_EQ(out[0].index, index);
        if (kind == 0) {
            ASSERT_EQ(out.size(), 1u);
            continue;
        }
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(RoundDraw(lcg.Next(), 0), 0);
        ASSERT_EQ(out[1].kind, 0);
        ASSERT_EQ(out[1].index, IndexDraw(lcg.Next(), 0));
    }
}

TEST(RandomTreeTest, AnAttemptThatRunsOutOfBudgetStartsAgain) {
    // Budget 3: a first element of kind 3 opens three slots with two elements
    // left, so that attempt fails and a new one begins with the next draws.
    Random random;
    const std::uint32_t seed = FindSeed([](const std::vector<int>& d) {
        return RoundDraw(d[0], 3) == 3 && IndexDraw(d[3], 0) != 0 && IndexDraw(d[5], 0) != 0 &&
               RoundDraw(d[6], 3) == 0 && IndexDraw(d[7], 0) != 0;
    });
    ExpectedDraws lcg(seed);
    std::vector<int> d(8);
    for (int& r : d) r = lcg.Next();
    random.Seed(seed);
    Unit unit;
    std::vector<GeneElement> out;
    unit.RandomTree(random, 3, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].kind, 0);
    EXPECT_EQ(out[0].index, IndexDraw(d[7], 0));
    EXPECT_EQ(DrawsTaken(random, seed), 8);
}

TEST(RandomTreeTest, TreesAreCompleteAndWithinBudget) {
    Random random;
    Unit unit;
    for (int budget : {1, 2, 3, 4, 7, 20, 50, 120}) {
        for (std::uint32_t seed = 1; seed <= 300; ++seed) {
            random.Seed(seed * 7919u + static_cast<std::uint32_t>(budget));
            std::vector<GeneElement> out;
            unit.RandomTree(random, budget, out);
            ASSERT_LE(static_cast<int>(out.size()), budget);
            ExpectRegisteredTree(out, "budget " + std::to_string(budget) + " seed " + std::to_string(seed));
        }
    }
}

// ---- Mutate ---------------------------------------------------------------------

TEST(MutateTest, OperatorWeightsOverEveryFirstDraw) {
    // On the one-element code GROUND the three operators leave distinct traces:
    // 0 draws a position and changes nothing (2 draws); 1 redraws the index
    // (3 draws, 4 when it becomes a constant); 2 draws the position 0 and
    // replaces the whole code by the random tree of budget 50 that follows.
    Random random;
    int count[3] = {};
    for (int r = 0; r <= 32767; ++r) {
        const std::uint32_t seed = test::SeedForDraw(r);
        ExpectedDraws lcg(seed);
        const int d1 = lcg.Next();
        lcg.Next();
        const int d3 = lcg.Next(), d4 = lcg.Next();
        ASSERT_EQ(d1, r);
        Unit gene;
        gene.Parse("0,2+");
        random.Seed(seed);
        gene.Mutate(random);
        const int op = OperatorOf(r);
        count[op] += 1;
        const auto& code = gene.Code();
        switch (op) {
            case 0:
                ASSERT_EQ(code.size(), 1u);
                ASSERT_EQ(code[0].kind, 0);
                ASSERT_EQ(code[0].index, 2);
                ASSERT_EQ(DrawsTaken(random, seed), 2) << r;
                break;
            case 1: {
                const int index = IndexDraw(d3, 0);
                ASSERT_EQ(code.size(), 1u);
                ASSERT_EQ(code[0].kind, 0);
                ASSERT_EQ(code[0].index, index) << r;
                if (index == 0) {
                    ASSERT_EQ(code[0].value, SymmetricDraw(d4));
                }
                ASSERT_EQ(DrawsTaken(random, seed), index == 0 ? 4 : 3) << r;
                break;
            }
            default:
                ExpectSameElements(code, TreeAfter(seed, 2, 50), "r " + std::to_string(r));
                ASSERT_LE(code.size(), 50u);
        }
    }
    // 5/9, 7/18 and 1/18 of the 32768 raw values.
    EXPECT_EQ(count[0], 18204);
    EXPECT_EQ(count[1], 12743);
    EXPECT_EQ(count[2], 1821);
}

// ADD(0.25, MUL(GROUND, 0.5)): positions 0..4, subtree lengths 5, 1, 3, 1, 1.
const char* const kFive = "2,7+0,0,0.25+2,9+0,2+0,0,0.5+";

int PickedPosition(int t, int length) { return t == 0 ? 0 : (t - 1) % length; }

TEST(MutateTest, NewConstantRedrawsThePickedConstant) {
    Random random;
    const std::uint32_t seed = FindSeed([](const std::vector<int>& d) {
        return OperatorOf(d[0]) == 0 && PickedPosition(RoundDraw(d[1], 50), 5) == 4;
    });
    ExpectedDraws lcg(seed);
    lcg.Next();
    lcg.Next();
    const double value = SymmetricDraw(lcg.Next());
    Unit gene;
    gene.Parse(kFive);
    random.Seed(seed);
    gene.Mutate(random);
    std::vector<GeneElement> expected = CodeOf(kFive);
    expected[4].value = value;
    ExpectSameElements(gene.Code(), expected, "new constant");
    EXPECT_EQ(DrawsTaken(random, seed), 3);
}

TEST(MutateTest, NewConstantOnAPrimitiveChangesNothing) {
    Random random;
    const std::uint32_t seed = FindSeed([](const std::vector<int>& d) {
        return OperatorOf(d[0]) == 0 && PickedPosition(RoundDraw(d[1], 50), 5) == 2;
    });
    Unit gene;
    gene.Parse(kFive);
    const std::string before = gene.ToString();
    random.Seed(seed);
    gene.Mutate(random);
    EXPECT_EQ(gene.ToString(), before);
    EXPECT_EQ(DrawsTaken(random, seed), 2);
}

TEST(MutateTest, PositionDrawWrapsAroundAShortCode) {
    // t = 0 and t = 1 both pick the first element; t = 6 wraps to position 0 of five.
    Random random;
    for (int wanted : {0, 1, 6, 50}) {
        const std::uint32_t seed = FindSeed([&](const std::vector<int>& d) {
            return OperatorOf(d[0]) == 1 && RoundDraw(d[1], 50) == wanted;
        });
        ExpectedDraws lcg(seed);
        lcg.Next();
        lcg.Next();
        const int indexDraw = lcg.Next();
        Unit gene;
        gene.Parse(kFive);
        random.Seed(seed);
        gene.Mutate(random);
        const int at = PickedPosition(wanted, 5);
        const int expectedKind[] = {2, 0, 2, 0, 0};
        EXPECT_EQ(gene.Code()[static_cast<std::size_t>(at)].kind, expectedKind[at]) << wanted;
        EXPECT_EQ(gene.Code()[static_cast<std::size_t>(at)].index, IndexDraw(indexDraw, expectedKind[at]))
            << "t = " << wanted;
    }
}

TEST(MutateTest, PointChangeKeepsTheArityClass) {
    // IFTE(1, 2, 3): every point change of the root gives IFTE, PROG3 or SETCOLP.
    Random random;
    int changedRoot = 0;
    for (std::uint32_t seed = 1; seed <= 20000; ++seed) {
        ExpectedDraws lcg(seed);
        const int d1 = lcg.Next(), d2 = lcg.Next(), d3 = lcg.Next();
        if (OperatorOf(d1) != 1) continue;
        Unit gene;
        gene.Parse("3,0+0,0,1+0,0,2+0,0,3+");
        random.Seed(seed);
        gene.Mutate(random);
        ASSERT_EQ(gene.Code().size(), 4u);
        const int at = PickedPosition(RoundDraw(d2, 50), 4);
        for (int i = 0; i < 4; ++i) ASSERT_EQ(gene.Code()[static_cast<std::size_t>(i)].kind, i == 0 ? 3 : 0);
        if (at == 0) {
            ++changedRoot;
            ASSERT_EQ(gene.Code()[0].index, RoundDraw(d3, 2));
        }
    }
    EXPECT_GT(changedRoot, 100);
}

TEST(MutateTest, PointChangeToIndexZeroMakesAConstant) {
    // GROUND picked, new index 0: it becomes a constant with a fresh value.
    Random random;
    const std::uint32_t seed = FindSeed([](const std::vector<int>& d) {
        return OperatorOf(d[0]) == 1 && PickedPosition(RoundDraw(d[1], 50), 5) == 3 &&
               IndexDraw(d[2], 0) == 0;
    });
    ExpectedDraws lcg(seed);
    std::vector<int> d(4);
    for (int& r : d) r = lcg.Next();
    Unit gene;
    gene.Parse(kFive);
    random.Seed(seed);
    gene.Mutate(random);
    EXPECT_TRUE(gene.Code()[3].IsConstant());
    EXPECT_EQ(gene.Code()[3].value, SymmetricDraw(d[3]));
    EXPECT_EQ(DrawsTaken(random, seed), 4);
}

TEST(MutateTest, SubtreeReplacementAtADrawnPosition) {
    // Operator 2 at position 2 replaces MUL(GROUND, 0.5) (length 3) by a tree of
    // at most 3 + 50 - 5 = 48 elements.
    Random random;
    const std::uint32_t seed =
        FindSeed([](const std::vector<int>& d) { return OperatorOf(d[0]) == 2 && RoundDraw(d[1], 4) == 2; });
    std::vector<GeneElement> expected = CodeOf(kFive);
    expected.resize(2);
    for (const GeneElement& e : TreeAfter(seed, 2, 48)) expected.push_back(e);
    Unit gene;
    gene.Parse(kFive);
    random.Seed(seed);
    gene.Mutate(random);
    ExpectSameElements(gene.Code(), expected, "replaced");
    EXPECT_LE(gene.Code().size(), 50u);
    ExpectRegisteredTree(gene.Code(), "replaced");
}

TEST(MutateTest, SubtreeReplacementInTheMiddleKeepsWhatFollows) {
    // Position 1 (the constant 0.25, length 1): budget 1 + 50 - 5 = 46.
    Random random;
    const std::uint32_t seed =
        FindSeed([](const std::vector<int>& d) { return OperatorOf(d[0]) == 2 && RoundDraw(d[1], 4) == 1; });
    std::vector<GeneElement> expected = CodeOf(kFive);
    std::vector<GeneElement> tree = TreeAfter(seed, 2, 46);
    expected.erase(expected.begin() + 1);
    expected.insert(expected.begin() + 1, tree.begin(), tree.end());
    Unit gene;
    gene.Parse(kFive);
    random.Seed(seed);
    gene.Mutate(random);
    ExpectSameElements(gene.Code(), expected, "replaced in the middle");
}

TEST(MutateTest, SubtreeReplacementOfAOneElementCode) {
    Random random;
    for (std::uint32_t seed = 1, found = 0; found < 200 && seed < 100000; ++seed) {
        ExpectedDraws lcg(seed);
        if (OperatorOf(lcg.Next()) != 2) continue;
        ++found;
        Unit gene;
        gene.Parse("0,0,0.5+");
        random.Seed(seed);
        gene.Mutate(random);
        ASSERT_LE(gene.Code().size(), 50u);
        ExpectRegisteredTree(gene.Code(), "seed " + std::to_string(seed));
    }
}

TEST(MutateTest, ShapeAndLengthInvariantsOverManySeeds) {
    Random random;
    const char* const starts[] = {"0,2+", kFive, "3,0+0,0,1+0,0,0.5+0,0,-1+"};
    for (const char* start : starts) {
        for (std::uint32_t seed = 1; seed <= 300; ++seed) {
            random.Seed(seed);
            Unit gene;
            gene.Parse(start);
            for (int step = 0; step < 40; ++step) {
                gene.Mutate(random);
                ASSERT_LE(gene.Code().size(), 50u) << start << " seed " << seed << " step " << step;
                ASSERT_TRUE(IsOneTree(gene.Code())) << start << " seed " << seed << " step " << step;
            }
            ExpectRegisteredTree(gene.Code(), start);
            test::GeneNode node;
            node.node.unit->CopyFrom(gene);
            EXPECT_NO_THROW(node.node.unit->ToString());
        }
    }
}

TEST(MutateTest, EmptyCodeIsLeftAloneWithoutADraw) {
    Random random;
    Unit gene;
    random.Seed(99);
    gene.Mutate(random);
    EXPECT_TRUE(gene.Code().empty());
    EXPECT_EQ(DrawsTaken(random, 99), 0);
}

TEST(MutateTest, OverLongCodesStayTreesAndDoNotGrow) {
    // 201 elements, far beyond the 50 that mutation works within.
    Random random;
    Unit start;
    start.Parse(test::CompileSource(test::BalancedSum(101)));
    ASSERT_EQ(start.Code().size(), 201u);
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        random.Seed(seed);
        Unit gene;
        gene.CopyFrom(start);
        std::size_t before = gene.Code().size();
        for (int step = 0; step < 20; ++step) {
            gene.Mutate(random);
            ASSERT_TRUE(IsOneTree(gene.Code())) << seed;
            ASSERT_LE(gene.Code().size(), before) << seed;
            before = gene.Code().size();
        }
    }
}

TEST(MutateTest, CodesThatAreNotOneTreeNeitherCrashNorHang) {
    Random random;
    const char* const codes[] = {
        "0,0,1+0,0,2+2,9+",        // balanced, but not one tree
        "2,9+",                    // a call without arguments
        "3,0+0,0,1+",              // arguments missing
        "2,9+0,0,1+0,0,2+0,0,3+",  // trailing elements
        "1,99+0,7+",               // unknown primitives
    };
    for (const char* code : codes) {
        for (std::uint32_t seed = 1; seed <= 500; ++seed) {
            random.Seed(seed);
            Unit gene;
            gene.Parse(code);
            for (int step = 0; step < 10; ++step) gene.Mutate(random);
            ASSERT_FALSE(gene.Code().empty()) << code;
        }
    }
}

TEST(MutateTest, NodeMutateChangesOnlyItsOwnGene) {
    Random random;
    test::GeneNode parent, child;
    parent.node.unit->Parse(kFive);
    child.node.Inherit(&parent.node);
    const std::string before = parent.node.unit->ToString();
    for (std::uint32_t seed = 1; seed <= 50; ++seed) {
        random.Seed(seed);
        child.node.unit->Mutate(random);
    }
    EXPECT_EQ(parent.node.unit->ToString(), before);
    EXPECT_NE(child.node.unit->ToString(), before);
}

}  // namespace
}  // namespace qm
