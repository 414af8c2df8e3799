// The search's variation: children stay one tree within the limits, the
// search draws only from its own random state, and the same seed breeds the
// same children.

#include <gtest/gtest.h>

#include <set>

#include "base/RunContext.h"
#include "evolve/GeneCode.h"
#include "evolve/SearchRandom.h"
#include "evolve/Variation.h"
#include "gp/GPmanager.h"
#include "gp/Unit.h"

namespace qm::evolve {
namespace {

// True when `part` occurs in `whole` as a run of elements starting at a subtree.
bool HoldsSubtree(const GeneCode& whole, const GeneCode& part) {
    for (std::size_t at = 0; at + part.size() <= whole.size(); ++at) {
        if (WalkSubtreeLength(whole, static_cast<int>(at)) != static_cast<int>(part.size())) continue;
        bool same = true;
        for (std::size_t k = 0; k < part.size() && same; ++k) {
            same = whole[at + k].kind == part[k].kind && whole[at + k].index == part[k].index;
        }
        if (same) return true;
    }
    return false;
}

TEST(VariationTest, CrossoverChildrenAreOneTreeWithinTheLengthLimit) {
    SearchRandom random(11);
    int changed = 0;
    for (int i = 0; i < 2000; ++i) {
        const int limit = 5 + i % 46;
        GeneCode a = RandomGene(random, limit);
        GeneCode b = RandomGene(random, limit);
        GeneCode child = Crossover(a, b, random, limit);
        ASSERT_EQ(ShapeProblem(child, limit), "") << CodeString(a) << " x " << CodeString(b);
        if (CodeString(child) != CodeString(a)) ++changed;
    }
    EXPECT_GT(changed, 1500);  // most crossovers find a fitting pair of subtrees
}

TEST(VariationTest, CrossoverGraftsASubtreeOfTheDonorIntoTheReceiver) {
    SearchRandom random(3);
    GeneCode a = ParseCode("2,7+0,0,1+0,0,2+");  // ADD 1 2
    GeneCode b = ParseCode("2,9+1,3+0,1+0,2+");  // MUL POW2 SMELL GROUND
    for (int i = 0; i < 50; ++i) {
        GeneCode child = Crossover(a, b, random, 50);
        // The donor's subtree went in whole, in place of one of the receiver's.
        bool grafted = false;
        for (int from = 0; from < static_cast<int>(b.size()); ++from) {
            GeneCode part(b.begin() + from, b.begin() + from + WalkSubtreeLength(b, from));
            grafted = grafted || HoldsSubtree(child, part);
        }
        EXPECT_TRUE(grafted) << CodeString(child);
        EXPECT_EQ(ShapeProblem(child, 50), "");
    }
}

TEST(VariationTest, CrossoverThatCannotFitKeepsTheReceiver) {
    SearchRandom random(5);
    GeneCode a = ParseCode("2,7+0,0,1+0,0,2+");
    GeneCode big = RandomGene(random, 40);
    while (big.size() < 30) big = RandomGene(random, 40);
    // Any graft but a terminal would pass the limit of three elements.
    for (int i = 0; i < 20; ++i) {
        GeneCode child = Crossover(a, big, random, 3);
        EXPECT_LE(child.size(), 3u);
        EXPECT_EQ(ShapeProblem(child, 3), "");
    }
}

TEST(VariationTest, MutationKeepsGenesWithinTheirLimit) {
    SearchRandom random(9);
    for (int i = 0; i < 1000; ++i) {
        const int limit = 1 + i % 50;
        GeneCode gene = RandomGene(random, limit);
        for (int k = 0; k < 5; ++k) Mutate(gene, random, limit);
        ASSERT_EQ(ShapeProblem(gene, limit), "") << CodeString(gene);
        ASSERT_EQ(CodeString(ParseCode(CodeString(gene))), CodeString(gene));  // constants Normalised
    }
}

TEST(VariationTest, TheSearchNeverMovesARunsGenerator) {
    RunContext run;
    run.random.Seed(12345);
    const unsigned before = run.random.State();
    SearchRandom random(1);
    GeneCode a = RandomGene(random, 30);
    GeneCode b = RandomGene(random, 30);
    GeneCode child = Crossover(a, b, random, 30);
    Mutate(child, random, 30);
    random.Below(10);
    random.Chance(0.5);
    EXPECT_EQ(run.random.State(), before);
    EXPECT_NE(random.State(), 1u);
}

TEST(VariationTest, TheSameSearchSeedBreedsTheSameChildren) {
    auto breed = [](std::uint32_t seed) {
        SearchRandom random(seed);
        std::string all;
        GeneCode a = RandomGene(random, 40);
        for (int i = 0; i < 30; ++i) {
            GeneCode b = RandomGene(random, 40);
            a = Crossover(a, b, random, 40);
            Mutate(a, random, 40);
            all += CodeString(a) + "|";
        }
        return all;
    };
    EXPECT_EQ(breed(42), breed(42));
    EXPECT_NE(breed(42), breed(43));
}

TEST(VariationTest, RampedGenesSpreadInSizeAndEachActsOnTheWorld) {
    SearchRandom random(5);
    std::set<std::size_t> sizes;
    for (int i = 0; i < 200; ++i) {
        const GeneCode gene = RampedGene(random, 50);
        ASSERT_EQ(ShapeProblem(gene, 50), "");
        sizes.insert(gene.size());
        bool acts = false;
        for (const GeneElement& e : gene) {
            const std::string name = GPmanager::GetInstance()->FindByCode(e.kind, e.index)->Name();
            acts = acts || name == "DIE" || name == "CUTEDGE" || name.find("DIVIDE") != std::string::npos ||
                   name.rfind("SET", 0) == 0 || name.find("PAR") != std::string::npos ||
                   name.find("DIF") != std::string::npos || name.find("FRIC") != std::string::npos ||
                   name == "ELENGTH" || name == "PULSE" || name == "IMPULSE";
        }
        EXPECT_TRUE(acts) << CodeString(gene);
    }
    EXPECT_GE(sizes.size(), 20u);
    EXPECT_LE(*sizes.begin(), 3u);
    // A one-element limit leaves only the terminals that act.
    EXPECT_EQ(RampedGene(random, 1).size(), 1u);

    GeneCode gene = ParseCode("2,7+0,0,0.5+0,1+");
    ASSERT_TRUE(PerturbConstant(gene, random));
    EXPECT_NE(gene[1].value, 0.5);
    EXPECT_EQ(CodeString(gene).substr(0, 4), "2,7+");
    GeneCode none = ParseCode("0,1+");
    const std::uint32_t before = random.State();
    EXPECT_FALSE(PerturbConstant(none, random));
    EXPECT_EQ(random.State(), before);
}

TEST(VariationTest, BelowCoversItsWholeRangeEvenly) {
    SearchRandom random(2);
    std::vector<int> counts(7);
    for (int i = 0; i < 70000; ++i) ++counts[static_cast<std::size_t>(random.Below(7))];
    for (int c : counts) EXPECT_NEAR(c, 10000, 400);
    int heads = 0;
    for (int i = 0; i < 10000; ++i) heads += random.Chance(0.25);
    EXPECT_NEAR(heads, 2500, 150);
    EXPECT_FALSE(random.Chance(0.0));
    EXPECT_TRUE(random.Chance(1.0));
}

}  // namespace
}  // namespace qm::evolve
