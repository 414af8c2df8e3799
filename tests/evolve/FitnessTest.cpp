// The fitness rules, with the values worked out by hand, and the exact text
// forms results and tasks travel in.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "evolve/Behaviour.h"
#include "evolve/Evaluation.h"
#include "evolve/Fitness.h"
#include "evolve/Task.h"

namespace qm::evolve {
namespace {

using Outcome = EvalResult::Outcome;

EvalResult Goal(long long step) { return {Outcome::GoalReached, step, 1.5, 2}; }
EvalResult Missed(double closest) { return {Outcome::Completed, 1000, closest, 5}; }
EvalResult Failed() { return {Outcome::Error, 40, 3.0, 1000}; }

double F(std::vector<EvalResult> runs, int length = 0, double penalty = 0.0) {
    return Fitness(runs, 1000, length, penalty);
}

TEST(FitnessTest, TheFormulaGivesTheValuesWorkedOutByHand) {
    EXPECT_DOUBLE_EQ(F({Goal(250)}), 250.0 / 1001.0);
    EXPECT_DOUBLE_EQ(F({Missed(40.0)}), 41.0);
    // The mean over seeds: (500/1001 + 11) / 2, plus 0.001 for each of 30 elements.
    EXPECT_DOUBLE_EQ(F({Goal(500), Missed(10.0)}, 30, 0.001), (500.0 / 1001.0 + 11.0) / 2.0 + 0.03);
}

TEST(FitnessTest, ReachingTheGoalBeatsComingCloseAndSoonerBeatsLater) {
    EXPECT_LT(F({Goal(1000)}), F({Missed(0.0)}));  // even a node that ended inside the goal radius unseen
    EXPECT_LT(F({Goal(10)}), F({Goal(11)}));
    EXPECT_LT(F({Missed(3.0)}), F({Missed(4.0)}));
    EXPECT_LT(F({Goal(10), Goal(10)}), F({Goal(10), Missed(2.0)}));
}

TEST(FitnessTest, AnErrorOnAnySeedScoresWorstWhateverTheOtherSeedsDid) {
    EXPECT_EQ(F({Failed()}), kWorstFitness);
    EXPECT_EQ(F({Goal(1), Failed()}, 50, 0.001), kWorstFitness);
    // Nothing else comes near: the farthest point of the world box, the longest gene, the full penalty.
    EXPECT_LT(F({Missed(1500.0)}, 10000, 1.0), kWorstFitness);
}

TEST(FitnessTest, TheLengthPenaltyBreaksTiesWithoutOutweighingDistance) {
    EXPECT_LT(F({Missed(20.0)}, 10, 0.001), F({Missed(20.0)}, 11, 0.001));
    EXPECT_LT(F({Missed(20.0)}, 50, 0.001), F({Missed(20.1)}, 1, 0.001));
}

TEST(FitnessTest, ResultsAndTasksReadBackExactly) {
    EvalResult r{Outcome::Completed, 123456789012LL, std::nextafter(17.3, 18.0), 42};
    EvalResult back;
    ASSERT_TRUE(DecodeResult(EncodeResult(r), back));
    EXPECT_EQ(back.outcome, r.outcome);
    EXPECT_EQ(back.steps, r.steps);
    EXPECT_EQ(back.closest, r.closest);
    EXPECT_EQ(back.nodes, r.nodes);
    EXPECT_FALSE(DecodeResult("", back));
    EXPECT_FALSE(DecodeResult("7 1 0x1p+0 1", back));       // no such outcome
    EXPECT_FALSE(DecodeResult("0 1 0x1p+0 1 junk", back));  // a partial line is no result
    r.dx = -1.0 / 3.0;
    r.height = 1e-300;
    ASSERT_TRUE(DecodeResult(EncodeResult(r), back));
    EXPECT_EQ(back.dx, r.dx);
    EXPECT_EQ(back.height, r.height);
    r.score = -2.0 / 3.0;
    ASSERT_TRUE(DecodeResult(EncodeResult(r), back));
    EXPECT_EQ(back.score, r.score);
    ASSERT_TRUE(DecodeResult("1 5 0x1p+0 2", back));  // what older checkpoints hold
    EXPECT_EQ(back.dx, 0.0);
    ASSERT_TRUE(DecodeResult("1 5 0x1p+0 2 0x1p+1 0x0p+0 0x0p+0 0x0p+0", back));  // and the first of format 3
    EXPECT_EQ(back.dx, 2.0);
    EXPECT_EQ(back.score, 0.0);
    r.taxis = 1.0 / 7.0;
    ASSERT_TRUE(DecodeResult(EncodeResult(r), back));
    EXPECT_EQ(back.taxis, r.taxis);
    ASSERT_TRUE(
        DecodeResult("1 5 0x1p+0 2 0x1p+1 0x0p+0 0x0p+0 0x0p+0 0x1p+0", back));  // format 3, with the score
    EXPECT_EQ(back.taxis, 0.0);
    EXPECT_FALSE(DecodeResult("1 5 0x1p+0 2 0x1p+1 0x0p+0 0x0p+0 0x0p+0 0x1p+0 0x1p+0 0", back));

    Evaluation task;
    task.index = 3;
    task.code = "2,7+0,0,0.5+0,1+";
    task.seed = 4294967295u;
    task.steps = 7;
    task.maxNodes = 9;
    task.goal = Vector3{0.1f, -25.0f, 1e-7f};
    task.physics.gravity = 0.1f / 3.0f;
    task.physics.springStiffness = 1.0 / 3.0;
    task.holdNodes = 12;
    task.settle = true;
    Evaluation again;
    ASSERT_TRUE(DecodeEvaluation(EncodeEvaluation(task), again));
    EXPECT_EQ(again.physics, task.physics);
    EXPECT_EQ(again.index, 3);
    EXPECT_EQ(again.code, task.code);
    EXPECT_EQ(again.seed, task.seed);
    EXPECT_EQ(again.steps, 7);
    EXPECT_EQ(again.maxNodes, 9);
    EXPECT_EQ(again.holdNodes, 12);
    EXPECT_TRUE(again.settle);
    ASSERT_TRUE(again.goal.has_value());
    EXPECT_EQ(again.goal->x, 0.1f);
    EXPECT_EQ(again.goal->z, 1e-7f);
    task.goal.reset();
    ASSERT_TRUE(DecodeEvaluation(EncodeEvaluation(task), again));
    EXPECT_FALSE(again.goal.has_value());
    EXPECT_FALSE(DecodeEvaluation("3 1 7 9 0 - - - ", again));  // no gene
}

TEST(FitnessTest, EachTaskScoresItsOwnMeasureAndReadsBackAsWritten) {
    EvalResult a = Missed(40.0), b = Missed(10.0);
    a.dx = 3.0, a.dz = 4.0, a.height = 2.0, a.sizeError = 6.0, a.score = 7.0;
    b.dx = 0.0, b.dz = 1.0, b.height = 4.0, b.sizeError = 2.0, b.score = -1.0;
    const std::vector<EvalResult> runs{a, b};
    struct Case {
        std::string text;
        double fitness;  // of runs a and b with 10 elements at 0.001 each
    } cases[] = {{"goal", (41.0 + 11.0) / 2.0 + 0.01},
                 {"distance", -(5.0 + 1.0) / 2.0 + 0.01},
                 {"height", -(2.0 + 4.0) / 2.0 + 0.01},
                 {"size 30", (6.0 + 2.0) / 2.0 + 0.01},
                 {"python", (7.0 - 1.0) / 2.0 + 0.01}};
    for (const Case& c : cases) {
        // A Python function's task is made in Python alone: no text gives it.
        const std::optional<Task> task = c.text == "python" ? Task{Task::Kind::Custom} : ParseTask(c.text);
        ASSERT_TRUE(task) << c.text;
        EXPECT_EQ(TaskText(*task), c.text);
        EXPECT_DOUBLE_EQ(TaskFitness(*task, runs, 1000, 10, 0.001), c.fitness) << c.text;
        EXPECT_EQ(TaskFitness(*task, std::vector<EvalResult>{a, Failed()}, 1000, 10, 0.001), kWorstFitness);
    }
    EXPECT_EQ(ParseTask("size=7")->nodes, 7);
    for (const char* bad :
         {"", "size", "size 0", "size -3", "size 1000001", "size 5x", "speed", "Goal", "python"})
        EXPECT_FALSE(ParseTask(bad)) << bad;
}

TEST(FitnessTest, BehavioursFallIntoTheirCellsAndOutliersIntoTheEdgeOnes) {
    const BehaviourSpace space({"closest", "nodes"}, 10, 200);  // 25 units and 20 nodes per cell
    EXPECT_EQ(space.CellCount(), 100);
    const double inside[] = {30.0, 45.0}, beyond[] = {1e9, -5.0}, unknown[] = {NAN, 199.9};
    EXPECT_EQ(space.Cell(inside), 12);
    EXPECT_EQ(space.Cell(beyond), 90);
    EXPECT_EQ(space.Cell(unknown), 9);
    EXPECT_EQ(space.Coordinates(12), (std::vector<int>{1, 2}));
    const double a[] = {0.0, 0.0}, b[] = {75.0, 80.0};  // 0.3 and 0.4 of the two ranges
    EXPECT_DOUBLE_EQ(space.Distance(a, b), 0.5);
    EvalResult r = Missed(30.0);
    r.nodes = 45;
    EXPECT_EQ(space.Values(std::vector<EvalResult>{r, Missed(50.0)}), (std::vector<double>{40.0, 25.0}));
}

}  // namespace
}  // namespace qm::evolve
