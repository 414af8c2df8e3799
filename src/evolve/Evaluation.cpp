#include "evolve/Evaluation.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <vector>

#include "base/Diagnostics.h"
#include "experiment/PTester.h"
#include "experiment/RunGuard.h"
#include "gp/Unit.h"
#include "world/NodeManager.h"

namespace qm::evolve {
namespace {

// The driver of an evaluation: SourceTester's loading, from a code string
// held in memory instead of a file. The gene is loaded and printed as a run
// loads and prints it (printing a gene can fail, and then so does the run).
class GeneTester final : public PTester {
  public:
    explicit GeneTester(const EvalTask& task) : task(task) { gene.Parse(task.code); }

  protected:
    void Load() override {
        gene.Parse(task.code);
        for (NodeManager* world : worlds) {
            if (task.goal) world->SetGoalPos(*task.goal);
            world->SetNodeLimit(task.maxNodes);
            world->InitWorld(&gene);
        }
        DetailPrint("%s\n", gene.ToString().c_str());
    }
    void DoReset() override { Load(); }
    void DoAction() override {
        for (NodeManager* world : worlds) world->Action();
    }
    void DoTest() override {}
    void DoHalt() override {}

  private:
    const EvalTask& task;
    Unit gene;
};

// Least distance from a node to the goal, computed as the run's stats compute it.
double Closest(const NodeManager& world, double sofar) {
    for (const auto& [id, node] : world.NodeMap()) {
        const double d = Vec3Length(world.GoalPos() - node->pos);
        if (d < sofar) sofar = d;
    }
    return sofar;
}

bool ReadFloat(const std::string& text, float& out) {
    char* end = nullptr;
    out = std::strtof(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
}

// Restores the debug output and the error log when the evaluation ends.
class Silence {
  public:
    Silence() : logPath(ErrorLogPath()) {
        SetDebugSink([](std::string_view) {});
        SetErrorLogPath("");  // an empty name opens no file: the log is dropped
    }
    ~Silence() {
        SetDebugSink(nullptr);
        SetErrorLogPath(logPath);
    }
    Silence(const Silence&) = delete;
    Silence& operator=(const Silence&) = delete;

  private:
    std::string logPath;
};

}  // namespace

std::string EncodeTask(const EvalTask& task) {
    std::string text = FormatString("%d %u %lld %d ", task.index, task.seed, task.steps, task.maxNodes);
    if (task.goal) {
        text += FormatString("%a %a %a ", static_cast<double>(task.goal->x),
                             static_cast<double>(task.goal->y), static_cast<double>(task.goal->z));
    } else {
        text += "- - - ";
    }
    return text + task.code;
}

bool DecodeTask(const std::string& text, EvalTask& task) {
    std::istringstream in(text);
    EvalTask t;
    std::string g[3];
    if (!(in >> t.index >> t.seed >> t.steps >> t.maxNodes >> g[0] >> g[1] >> g[2] >> t.code)) return false;
    if (!(in >> std::ws).eof()) return false;
    if (g[0] != "-") {
        Vector3 goal;
        if (!ReadFloat(g[0], goal.x) || !ReadFloat(g[1], goal.y) || !ReadFloat(g[2], goal.z)) return false;
        t.goal = goal;
    } else if (g[1] != "-" || g[2] != "-") {
        return false;
    }
    task = std::move(t);
    return true;
}

EvalResult EvaluateGene(const EvalTask& task) {
    Silence silence;
    RunGuard::SeedRandom(task.seed);
    RunGuard guard;
    std::unique_ptr<PTester> tester = guard.Start([&] { return std::make_unique<GeneTester>(task); });
    EvalResult result;
    if (!tester) {
        result.outcome = EvalResult::Outcome::Error;
        return result;
    }
    const NodeManager& world = *tester->Worlds().at(0);
    result.closest = Closest(world, INFINITY);
    long long done = 0;
    for (long long step = 1; step <= task.steps; ++step) {
        if (!guard.Step(*tester)) break;
        done = step;
        result.closest = Closest(world, result.closest);
    }
    if (done == task.steps) guard.Complete();
    result.nodes = world.GetNodeCount();
    switch (guard.Outcome().kind) {
        case RunOutcome::Kind::GoalReached:
            result.outcome = EvalResult::Outcome::GoalReached;
            result.steps = done + 1;
            break;
        case RunOutcome::Kind::Completed:
            result.outcome = EvalResult::Outcome::Completed;
            result.steps = done;
            break;
        default:
            result.outcome = EvalResult::Outcome::Error;
            result.steps = done;
            break;
    }
    return result;
}

}  // namespace qm::evolve
