// An evaluation is a plain run: the same outcome, steps, nodes and closest
// approach as `quillmoth-sim run` gives for the gene in a file, on the
// calling thread or on a worker thread of the pool.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <regex>
#include <sstream>
#include <vector>

#include "api/Run.h"
#include "base/RunContext.h"
#include "evolve/Evaluation.h"
#include "evolve/Evaluator.h"
#include "evolve/GeneCode.h"
#include "evolve/SearchError.h"
#include "support/GeneSupport.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "world/NodeManager.h"

namespace qm::evolve {
namespace {

// Divides every hundred steps: one node, two, four...
constexpr const char* kGrower = "PROG2 ( ADDPAR ( 0 100 ) ) ( GDIVIDE ( 0 ) )";

Evaluation TaskFor(const std::string& source, std::uint32_t seed, long long steps) {
    Evaluation task;
    task.code = test::CompileSource(source);
    task.seed = seed;
    task.steps = steps;
    task.maxNodes = 1000;
    return task;
}

struct PlainRun {
    int status = -1;
    long long steps = -1;
    int nodes = -1;
    std::string closest;  // the least goal_distance of the stats, as written
};

// `quillmoth-sim run` of the task's gene, from a file.
PlainRun RunOf(const std::string& source, const Evaluation& task, const std::string& extra = "") {
    const char* sim = test::SimBinary();
    PlainRun plain;
    if (!sim) return plain;
    TempFile gene(source), stats("");
    test::Outcome o = test::RunSim(
        sim, "run --quiet --log /dev/null --seed " + std::to_string(task.seed) + " --steps " +
                 std::to_string(task.steps) + " --max-nodes " + std::to_string(task.maxNodes) + " --stats '" +
                 stats.PathString() + "' " + extra + " '" + gene.PathString() + "'");
    plain.status = o.status;
    std::smatch m;
    if (std::regex_search(o.out, m, std::regex(R"("steps":(\d+),"nodes":(\d+))"))) {
        plain.steps = std::stoll(m[1]);
        plain.nodes = std::stoi(m[2]);
    }
    std::istringstream rows(ReadFile(stats.PathString()));
    std::string row;
    std::getline(rows, row);  // the manifest
    std::getline(rows, row);  // the header
    double least = INFINITY;
    while (std::getline(rows, row)) {
        const std::string last = row.substr(row.rfind(',') + 1);
        if (!last.empty() && std::stod(last) < least) {
            least = std::stod(last);
            plain.closest = last;
        }
    }
    return plain;
}

std::string G9(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

class EvaluationAsRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::SimBinary()) GTEST_SKIP() << "QM_SIM names the quillmoth-sim binary; ctest sets it";
    }
};

TEST_F(EvaluationAsRunTest, ACompletedEvaluationIsThePlainRunOfTheGene) {
    const Evaluation task = TaskFor(kGrower, 4, 320);
    const EvalResult r = EvaluateGene(task);
    const PlainRun plain = RunOf(kGrower, task);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(r.outcome, EvalResult::Outcome::Completed);
    EXPECT_EQ(r.steps, 320);
    EXPECT_EQ(r.nodes, plain.nodes);
    EXPECT_EQ(r.nodes, 8);
    EXPECT_EQ(G9(r.closest), plain.closest);
}

TEST_F(EvaluationAsRunTest, ReachingTheGoalGivesTheStepInWhichTheRunEnded) {
    // The lone cell falls onto a goal placed just above the floor below it.
    Evaluation task = TaskFor("0", 1, 500);
    task.goal = Vector3{0.0f, -24.0f, 0.0f};
    const EvalResult r = EvaluateGene(task);
    const PlainRun plain = RunOf("0", task, "--goal 0,-24,0");
    EXPECT_EQ(plain.status, 3);
    EXPECT_EQ(r.outcome, EvalResult::Outcome::GoalReached);
    EXPECT_EQ(r.steps, plain.steps + 1);  // the summary counts the steps that ran to their end
    EXPECT_LT(r.steps, 500);
    EXPECT_LT(r.closest, 2.0);
}

TEST_F(EvaluationAsRunTest, PassingTheNodeCapIsAnError) {
    Evaluation task = TaskFor(kGrower, 4, 320);
    task.maxNodes = 3;
    const EvalResult r = EvaluateGene(task);
    EXPECT_EQ(RunOf(kGrower, task).status, 1);
    EXPECT_EQ(r.outcome, EvalResult::Outcome::Error);
    EXPECT_EQ(Fitness(std::vector<EvalResult>{r}, task.steps, 5, 0.001), kWorstFitness);
}

TEST_F(EvaluationAsRunTest, AWorkerThreadGivesTheSameResultAndLeavesTheCallersRunAsItWas) {
    const Evaluation task = TaskFor(kGrower, 9, 250);
    RunContext caller;
    caller.random.Seed(77);
    caller.nextNodeId = 12;
    const std::vector<EvalResult> pooled = ThreadEvaluator(2).Evaluate({task, task});
    EXPECT_EQ(caller.random.State(), 77u);
    EXPECT_EQ(caller.nextNodeId, 12);
    const EvalResult here = EvaluateGene(task);
    ASSERT_EQ(pooled.size(), 2u);
    EXPECT_EQ(EncodeResult(pooled[0]), EncodeResult(here));
    EXPECT_EQ(EncodeResult(pooled[1]), EncodeResult(here));
    // Keeping the finished run for a fitness of its own changes nothing in the result.
    std::unique_ptr<qm::Run> run;  // the fixture has a Run of its own
    EXPECT_EQ(EncodeResult(EvaluateGene(task, run)), EncodeResult(here));
    ASSERT_TRUE(run);
    EXPECT_EQ(run->Steps(), here.steps);
    EXPECT_EQ(static_cast<int>(run->View(Frame::Detail::kFigures).nodes), here.nodes);
    Evaluation unreadable = task;
    unreadable.code = "not a code string";
    EXPECT_EQ(EvaluateGene(unreadable, run).outcome, EvalResult::Outcome::Error);
    EXPECT_FALSE(run);
}

// A failed evaluation fails its batch with the reason; the next batch (the
// search resumed) evaluates as if nothing had happened.
TEST(ThreadEvaluatorTest, AFailedEvaluationIsReportedAndTheNextBatchRuns) {
    struct Case {
        const char* fault;  // QM_EVOLVE_FAULT, or null
        ThreadEvaluator::Evaluate1 evaluate;
        const char* message;
    };
    const Case cases[] = {
        {"worker:6", EvaluateGene, "an evaluation failed: a fault was injected"},
        {nullptr, [](const Evaluation&) -> EvalResult { throw std::bad_alloc(); },
         "an evaluation failed: it ran out of memory"},
    };
    std::vector<Evaluation> tasks;
    for (int i = 0; i < 8; ++i) {
        tasks.push_back(TaskFor("0", 1, 10));
        tasks.back().index = i;
    }
    for (const Case& c : cases) {
        if (c.fault) setenv("QM_EVOLVE_FAULT", c.fault, 1);
        try {
            ThreadEvaluator(3, c.evaluate).Evaluate(tasks);
            ADD_FAILURE() << c.message << ": the batch gave results";
        } catch (const SearchError& e) {
            EXPECT_EQ(e.message, c.message);
        }
        unsetenv("QM_EVOLVE_FAULT");
    }
    for (const EvalResult& r : ThreadEvaluator(3).Evaluate(tasks)) {
        EXPECT_EQ(r.outcome, EvalResult::Outcome::Completed);
        EXPECT_EQ(r.steps, 10);
    }
}

}  // namespace
}  // namespace qm::evolve
