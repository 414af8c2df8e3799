// An evaluation is a plain run: the same outcome, steps, nodes and closest
// approach as `quillmoth-sim run` gives for the gene in a file, in this
// process or in a child process of its own.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>
#include <sstream>

#include "evolve/EvaluationProcess.h"
#include "evolve/GeneCode.h"
#include "evolve/SearchError.h"
#include "node/TNode.h"
#include "support/GeneSupport.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"

namespace qm::evolve {
namespace {

// Divides every hundred steps: one node, two, four...
constexpr const char* kGrower = "PROG2 ( ADDPAR ( 0 100 ) ) ( GDIVIDE ( 0 ) )";

EvalTask TaskFor(const std::string& source, std::uint32_t seed, long long steps) {
    EvalTask task;
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
PlainRun RunOf(const std::string& source, const EvalTask& task, const std::string& extra = "") {
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
    std::getline(rows, row);
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
    const EvalTask task = TaskFor(kGrower, 4, 320);
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
    EvalTask task = TaskFor("0", 1, 500);
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
    EvalTask task = TaskFor(kGrower, 4, 320);
    task.maxNodes = 3;
    const EvalResult r = EvaluateGene(task);
    EXPECT_EQ(RunOf(kGrower, task).status, 1);
    EXPECT_EQ(r.outcome, EvalResult::Outcome::Error);
    EXPECT_EQ(Fitness(std::vector<EvalResult>{r}, task.steps, 5, 0.001), kWorstFitness);
}

TEST_F(EvaluationAsRunTest, AChildProcessGivesTheSameResultAndLeavesThisProcessAsItWas) {
    const EvalTask task = TaskFor(kGrower, 9, 250);
    const std::int32_t ids = NextNodeId();
    const EvalResult child = EvaluateInChild(task);
    EXPECT_EQ(NextNodeId(), ids);
    const EvalResult here = EvaluateGene(task);
    EXPECT_EQ(EncodeResult(child), EncodeResult(here));
}

TEST(EvaluationProcessTest, ALostWorkerIsReportedWithItsTask) {
    EvalTask task = TaskFor("0", 1, 10);
    task.index = 6;
    setenv("QM_EVOLVE_FAULT", "worker:6", 1);
    try {
        EvaluateInChild(task);
        ADD_FAILURE() << "a killed worker gave a result";
    } catch (const SearchError& e) {
        EXPECT_NE(e.message.find("(task 6, seed 1) was killed by signal 9"), std::string::npos) << e.message;
    }
    unsetenv("QM_EVOLVE_FAULT");
    EXPECT_EQ(EvaluateInChild(task).outcome, EvalResult::Outcome::Completed);
}

}  // namespace
}  // namespace qm::evolve
