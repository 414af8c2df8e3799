// Task taxis: its score gives nothing to a creature that does not sense the
// goal and much to one that does; the operators that make and vary its genes
// are the search's own draws alone; descriptors take ranges of their own.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "base/Diagnostics.h"
#include "evolve/Behaviour.h"
#include "evolve/Census.h"
#include "evolve/Motifs.h"
#include "evolve/Search.h"
#include "evolve/Task.h"
#include "evolve/Variation.h"

namespace qm::evolve {
namespace {

using Outcome = EvalResult::Outcome;

EvalResult Moved(double taxis) {
    EvalResult r;
    r.taxis = taxis;
    return r;
}

EvalResult Reached(long long step) {
    EvalResult r;
    r.outcome = Outcome::GoalReached;
    r.steps = step;
    return r;
}

SearchSettings Taxis(long long steps) {
    SearchSettings s;
    s.task = Task{Task::Kind::Taxis};
    s.steps = steps;
    s.SetDefaults([](std::string_view) { return false; });
    return s;
}

// The taxis fitness of one gene, grown as the search grows it.
double Score(const SearchSettings& s, const GeneCode& gene) {
    std::vector<Evaluation> tasks;
    std::vector<double> distances;
    for (const Trial& trial : Trials(s)) {
        Evaluation t;
        t.index = static_cast<int>(tasks.size());
        t.code = CodeString(gene);
        t.seed = trial.seed;
        t.steps = s.steps;
        t.maxNodes = s.maxNodes;
        t.goal = trial.goal;
        t.settle = true;
        tasks.push_back(t);
        distances.push_back(GoalDistance(trial.goal));
    }
    ThreadEvaluator pool(2);
    const std::vector<EvalResult> runs = pool.Evaluate(tasks);
    return TaskFitness(s.task, runs, s.steps, static_cast<int>(gene.size()), 0.0, distances);
}

GeneCode GeneFile(const std::string& name) {
    const char* data = std::getenv("QM_DATA");
    Diagnostics silent;
    silent.SetSink([](std::string_view) {});
    return LoadGeneFile(std::string(data ? data : "data") + "/genes/" + name, silent);
}

TEST(TaxisTest, OnlyACreatureThatSensesTheGoalScores) {
    const Task taxis{Task::Kind::Taxis};
    const std::vector<double> d(4, 250.0);
    struct Case {
        const char* what;
        std::vector<EvalResult> runs;
        double low, high;
    };
    const Case cases[] = {
        {"a colony whose centre stays put", {Moved(0), Moved(0), Moved(0), Moved(0)}, 0.0, 0.0},
        {"a blind mover: what it gains ahead it loses behind",
         {Moved(40), Moved(7), Moved(-40), Moved(-7)},
         0.0,
         0.0},
        {"half-way towards every goal", {Moved(125), Moved(125), Moved(125), Moved(125)}, -0.5, -0.5},
        {"past the goal without reaching it counts as at most its distance",
         {Moved(900), Moved(250), Moved(250), Moved(250)},
         -1.0,
         -1.0},
        {"reaching beats any approach, sooner beats later",
         {Reached(1), Reached(1), Reached(1), Reached(1)},
         -2.0,
         -1.99},
        {"reaching in the last step",
         {Reached(1000), Reached(1000), Reached(1000), Reached(1000)},
         -1.01,
         -1.0},
    };
    for (const Case& c : cases) {
        const double f = TaskFitness(taxis, c.runs, 1000, 10, 0.0, d);
        EXPECT_GE(f, c.low - 1e-12) << c.what;
        EXPECT_LE(f, c.high + 1e-12) << c.what;
    }
    EvalResult failed;
    failed.outcome = Outcome::Error;
    EXPECT_EQ(TaskFitness(taxis, std::vector<EvalResult>{Reached(5), failed}, 1000, 10, 0.0, d),
              kWorstFitness);
}

// The same genes in the engine: a colony that spreads evenly and a creature
// that walks blind score about 0 (exactly, for the blind walker: opposite
// placements share a seed, and nothing it does depends on the goal), while
// the goal-seeker heads for goals all around.
TEST(TaxisTest, SpreadersAndBlindWalkersScoreNothingAndTheGoalSeekerScoresWell) {
    const SearchSettings s = Taxis(600);
    ASSERT_EQ(Trials(s).size(), 4u);
    const GeneCode spreader = ParseCode("2,16+2,17+0,0,0+0,0,1+1,6+0,0,0+");  // PROG2 (SETP 0 1) (GDIVIDE 0)
    // A lone cell divides; of a pair, the first to move cuts the link and dies.
    const GeneCode blind = ParseCode("3,0+2,12+0,3+0,0,0.9+2,16+2,17+0,0,0+0,0,1+1,6+0,0,0+2,16+0,5+0,4+");
    EXPECT_NEAR(Score(s, spreader), 0.0, 0.01);
    EXPECT_NEAR(Score(s, blind), 0.0, 1e-12);
    EXPECT_LT(Score(s, GeneFile("goal-seeker.txt")), -1.0);
}

// Every operator of the search makes, from the same draws, the same gene,
// and the gene is one tree within the length limit.
TEST(TaxisTest, TheNewOperatorsAreTheSearchsDrawsAlone) {
    const GeneCode walker = GeneFile("walker.txt");
    const std::pair<const char*, std::function<GeneCode(SearchRandom&)>> operators[] = {
        {"motifs", [](SearchRandom& r) { return MotifGene(r, 80); }},
        {"motifs, short", [](SearchRandom& r) { return MotifGene(r, 6); }},
        {"ramped", [](SearchRandom& r) { return RampedGene(r, 50); }},
        {"constant step",
         [&](SearchRandom& r) {
             GeneCode g = walker;
             EXPECT_TRUE(PerturbConstant(g, r));
             return g;
         }},
        {"copy within",
         [&](SearchRandom& r) {
             GeneCode g = walker;
             for (int tries = 0; !CopyWithin(g, r, 80); ++tries) EXPECT_LT(tries, 50);
             return g;
         }},
    };
    for (const auto& [name, make] : operators) {
        for (std::uint32_t seed : {1u, 2u, 77u}) {
            SearchRandom a(seed), b(seed);
            const GeneCode first = make(a), second = make(b);
            EXPECT_EQ(CodeString(first), CodeString(second)) << name << ", seed " << seed;
            EXPECT_EQ(a.State(), b.State()) << name;
            EXPECT_EQ(ShapeProblem(first, 80), "") << name << ": " << CodeString(first);
            EXPECT_NE(CodeString(first), CodeString(walker)) << name;
        }
    }
    // A constant step is in proportion: a scale of 5,000 moves by hundreds, not by a fixed 0.2.
    SearchRandom r(5);
    GeneCode scale = ParseCode("0,0,5000+");
    ASSERT_TRUE(PerturbConstant(scale, r));
    EXPECT_GT(std::fabs(scale[0].value - 5000.0), 1.0);
    EXPECT_LT(std::fabs(scale[0].value - 5000.0), 5000.0);
}

TEST(TaxisTest, DescriptorsTakeRangesAndCellsOfTheirOwn) {
    struct Case {
        const char* text;
        bool reads;
        double low, high;
        int cells;
    };
    const Case cases[] = {
        {"taxis", true, -20, 60, 0},    {"dz:-50:50", true, -50, 50, 0}, {"moved:0:80:16", true, 0, 80, 16},
        {"dz:50:-50", false, 0, 0, 0},  {"dz:-50", false, 0, 0, 0},      {"dz:a:b", false, 0, 0, 0},
        {"dz:0:1:2.5", false, 0, 0, 0}, {"dz:0:1:0", false, 0, 0, 0},    {"dz:0:nan", false, 0, 0, 0},
        {"nosuch:0:1", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::string problem;
        const std::optional<DescriptorSpec> axis = ParseDescriptorSpec(c.text, problem);
        ASSERT_EQ(axis.has_value(), c.reads) << c.text << ": " << problem;
        if (!axis) continue;
        EXPECT_EQ(axis->descriptor.low, c.low) << c.text;
        EXPECT_EQ(axis->descriptor.high, c.high) << c.text;
        EXPECT_EQ(axis->cells, c.cells) << c.text;
    }
    const BehaviourSpace space({"dz:-50:50:4", "moved"}, 10, 400);
    EXPECT_EQ(space.CellCount(), 40.0);
    EXPECT_EQ(space.Cell(std::vector<double>{49.0, 79.0}), 3 * 10 + 9);
    EXPECT_EQ(space.Coordinates(39), (std::vector<int>{3, 9}));
}

// The census grows each random gene ahead and behind, and counts as heading
// for the goal only what gets nearer to both.
TEST(TaxisTest, TheCensusCountsOnlyGenesThatHeadForTheGoalBothWays) {
    CensusEntry e;
    e.ahead = Moved(kCensusTaxis);
    e.behind = Moved(kCensusTaxis);
    EXPECT_TRUE(e.Heads());
    e.behind = Moved(-kCensusTaxis);
    EXPECT_FALSE(e.Heads());
    e.behind = Reached(400);
    EXPECT_TRUE(e.Heads());

    SearchSettings s = Taxis(40);
    ThreadEvaluator pool(2);
    const std::vector<CensusEntry> one = Census(s, 6, pool, {});
    const std::vector<CensusEntry> two = Census(s, 6, pool, {});
    ASSERT_EQ(one.size(), 6u);
    EXPECT_EQ(CensusTable(s, one), CensusTable(s, two));
    SearchRandom random(s.seed);
    EXPECT_EQ(CodeString(one[0].code), CodeString(MotifGene(random, s.maxLength)));
}

}  // namespace
}  // namespace qm::evolve
