#include "evolve/Evaluation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <vector>

#include "api/Run.h"
#include "base/Diagnostics.h"

namespace qm::evolve {
namespace {

bool ReadFloat(const std::string& text, float& out) {
    char* end = nullptr;
    out = std::strtof(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
}

// The floor's height: the bottom of the world box.
constexpr double kFloorY = -25.0;

struct Shape {
    double x = 0.0, z = 0.0;  // the centroid
    double top = 0.0;         // the highest node above the floor
    bool any = false;
};

// The run's shape now. The highest node's height above the floor is the
// highest of the nodes' heights above it: adding the floor keeps the order.
Shape Measure(const Frame& frame) {
    Shape shape;
    if (frame.nodes == 0) return shape;
    shape.x = frame.mean[0];
    shape.z = frame.mean[2];
    shape.top = static_cast<double>(frame.highest) - kFloorY;
    shape.any = true;
    return shape;
}

Shape Measure(const Run& run) { return Measure(run.View(Frame::Detail::kFigures)); }

int NodeCount(const Run& run) { return static_cast<int>(run.View(Frame::Detail::kFigures).nodes); }

// What the world says when a division would pass the node cap.
constexpr const char* kNodeCapText = "the limit set by --max-nodes";

// What the creature did between two shapes, towards `goal`.
void TakeShape(EvalResult& result, const Shape& start, const Shape& end, const Vector3& goal) {
    if (!end.any || !start.any) return;
    result.dx = end.x - start.x;
    result.dz = end.z - start.z;
    result.height = end.top;
    const double gx = goal.x - start.x, gz = goal.z - start.z;
    const double reach = std::hypot(gx, gz);
    if (reach > 0.0) result.taxis = (result.dx * gx + result.dz * gz) / reach;
}

}  // namespace

std::string EncodeEvaluation(const Evaluation& task) {
    std::string text = FormatString("%d %u %lld %d %d %d ", task.index, task.seed, task.steps, task.maxNodes,
                                    task.holdNodes, task.settle ? 1 : 0);
    if (task.goal) {
        text += FormatString("%a %a %a ", static_cast<double>(task.goal->x),
                             static_cast<double>(task.goal->y), static_cast<double>(task.goal->z));
    } else {
        text += "- - - ";
    }
    ForEachPhysicsKey([&](const char*, auto member, double, double) {
        text += FormatString("%a ", static_cast<double>(task.physics.*member));
    });
    return text + task.code;
}

bool DecodeEvaluation(const std::string& text, Evaluation& task) {
    std::istringstream in(text);
    Evaluation t;
    std::string g[3];
    int stop = 0;
    if (!(in >> t.index >> t.seed >> t.steps >> t.maxNodes >> t.holdNodes >> stop >> g[0] >> g[1] >> g[2]) ||
        (stop != 0 && stop != 1))
        return false;
    t.settle = stop == 1;
    bool read = true;
    ForEachPhysicsKey([&](const char*, auto member, double, double) {
        std::string word;
        char* end = nullptr;
        read = read && (in >> word);
        const double value = read ? std::strtod(word.c_str(), &end) : 0.0;
        read = read && end != word.c_str() && *end == '\0';
        using T = std::remove_reference_t<decltype(t.physics.*member)>;
        t.physics.*member = static_cast<T>(value);
    });
    if (!read || !(in >> t.code)) return false;
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

EvalResult EvaluateGene(const Evaluation& task) {
    std::unique_ptr<Run> run;
    return EvaluateGene(task, run);
}

EvalResult EvaluateGene(const Evaluation& task, std::unique_ptr<Run>& finished) {
    finished.reset();
    EvalResult result;
    Diagnostics silent;
    silent.SetSink([](std::string_view) {});
    silent.SetErrorLogPath("");  // an empty name opens no file: the log is dropped
    std::optional<Gene> gene;
    try {
        gene = Gene::FromCode(task.code);
    } catch (const GeneError&) {
        result.outcome = EvalResult::Outcome::Error;
        return result;
    }
    finished = std::make_unique<Run>(
        *gene, RunSettings{task.seed, task.goal, task.maxNodes, task.steps, task.physics, task.history},
        std::move(silent));
    Run& run = *finished;
    if (!run.Start()) {
        finished.reset();
        result.outcome = EvalResult::Outcome::Error;
        return result;
    }
    const Shape start = Measure(run);
    // Task size N: how far the node count stays from N once half the steps have run.
    const long long holdFrom = task.steps / 2;
    double heldError = 0.0;
    long long heldSteps = 0;
    Shape last = start;  // the shape after the last whole step, when the run settles
    int lastNodes = NodeCount(run);
    while (!run.Ended()) {
        if (task.settle) {
            lastNodes = NodeCount(run);
            if (lastNodes == 0) break;
            if (run.Steps() > 0) last = Measure(run);
        }
        run.Step();
        if (task.holdNodes > 0 && !run.Ended() && run.Steps() > holdFrom) {
            heldError += std::fabs(NodeCount(run) - task.holdNodes);
            ++heldSteps;
        }
    }
    const RunSummary summary = run.Summary();
    const RunOutcome::Kind kind = summary.outcome.kind;
    if (kind == RunOutcome::Kind::Completed || kind == RunOutcome::Kind::GoalReached)
        TakeShape(result, start, Measure(summary.last), run.Goal());
    if (task.holdNodes > 0) {
        result.sizeError = heldSteps > 0 ? heldError / static_cast<double>(heldSteps)
                                         : std::fabs(static_cast<int>(summary.last.nodes) - task.holdNodes);
    }
    result.closest = summary.last.closest;
    result.nodes = static_cast<int>(summary.last.nodes);
    result.steps = summary.last.step;
    // Settled: no node left (completed, as every later step would be), or
    // the node cap reached; either way measured after the last step that
    // still held the creature.
    const bool capped =
        kind == RunOutcome::Kind::Error && summary.outcome.text.find(kNodeCapText) != std::string::npos;
    if (task.settle && (!run.Ended() || capped)) {
        result.nodes = capped ? lastNodes : 0;
        TakeShape(result, start, last, run.Goal());
        return result;
    }
    switch (kind) {
        case RunOutcome::Kind::GoalReached:
            result.outcome = EvalResult::Outcome::GoalReached;
            result.steps = summary.last.goalStep.value_or(summary.last.step + 1);
            break;
        case RunOutcome::Kind::Completed:
            result.outcome = EvalResult::Outcome::Completed;
            break;
        default:
            result.outcome = EvalResult::Outcome::Error;
            break;
    }
    return result;
}

}  // namespace qm::evolve
