#include "evolve/Task.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace qm::evolve {
namespace {

constexpr int kMaxSizeTask = 1000000;

double RunMeasure(const Task& task, const EvalResult& run) {
    switch (task.kind) {
        case Task::Kind::Distance:
            return std::hypot(run.dx, run.dz);
        case Task::Kind::Height:
            return run.height;
        case Task::Kind::Size:
            return run.sizeError;
        case Task::Kind::Custom:
            return run.score;
        case Task::Kind::Taxis:
            return run.taxis;
        case Task::Kind::Goal:
            break;
    }
    return run.closest;
}

}  // namespace

std::optional<Task> ParseTask(const std::string& text) {
    if (text == "goal") return Task{Task::Kind::Goal};
    if (text == "distance") return Task{Task::Kind::Distance};
    if (text == "height") return Task{Task::Kind::Height};
    if (text == "taxis") return Task{Task::Kind::Taxis};
    for (const char* prefix : {"size ", "size="}) {
        if (text.rfind(prefix, 0) != 0) continue;
        const std::string number = text.substr(5);
        char* end = nullptr;
        const long n = std::strtol(number.c_str(), &end, 10);
        if (number.empty() || *end != '\0' || number[0] == '+' || number[0] == '-' || n < 1 ||
            n > kMaxSizeTask)
            return std::nullopt;
        return Task{Task::Kind::Size, static_cast<int>(n)};
    }
    return std::nullopt;
}

std::string TaskText(const Task& task) {
    switch (task.kind) {
        case Task::Kind::Distance:
            return "distance";
        case Task::Kind::Height:
            return "height";
        case Task::Kind::Size:
            return "size " + std::to_string(task.nodes);
        case Task::Kind::Custom:
            return "python";
        case Task::Kind::Taxis:
            return "taxis";
        case Task::Kind::Goal:
            break;
    }
    return "goal";
}

double TaskMeasure(const Task& task, std::span<const EvalResult> runs) {
    if (task.kind == Task::Kind::Goal) {
        double closest = INFINITY;
        for (const EvalResult& run : runs) closest = std::min(closest, run.closest);
        return closest;
    }
    double sum = 0.0;
    for (const EvalResult& run : runs) sum += RunMeasure(task, run);
    return runs.empty() ? 0.0 : sum / static_cast<double>(runs.size());
}

double TaxisProgress(const EvalResult& run, double distance, long long stepBudget) {
    if (run.outcome == EvalResult::Outcome::GoalReached)
        return 2.0 - static_cast<double>(run.steps) / static_cast<double>(stepBudget + 1);
    return std::min(run.taxis / distance, 1.0);
}

int GoalsReached(std::span<const EvalResult> runs) {
    return static_cast<int>(std::count_if(runs.begin(), runs.end(), [](const EvalResult& r) {
        return r.outcome == EvalResult::Outcome::GoalReached;
    }));
}

double TaskFitness(const Task& task, std::span<const EvalResult> runs, long long stepBudget, int geneLength,
                   double lengthPenalty, std::span<const double> goalDistances) {
    if (task.kind == Task::Kind::Goal) return Fitness(runs, stepBudget, geneLength, lengthPenalty);
    if (runs.empty()) return kWorstFitness;
    for (const EvalResult& run : runs) {
        if (run.outcome == EvalResult::Outcome::Error) return kWorstFitness;
    }
    if (task.kind == Task::Kind::Taxis) {
        double progress = 0.0;
        for (std::size_t i = 0; i < runs.size(); ++i)
            progress += TaxisProgress(runs[i], i < goalDistances.size() ? goalDistances[i] : 1.0, stepBudget);
        return -progress / static_cast<double>(runs.size()) + lengthPenalty * geneLength;
    }
    const double measure = TaskMeasure(task, runs);
    // The size error and a function's score are costs already; the others are gains.
    const bool cost = task.kind == Task::Kind::Size || task.kind == Task::Kind::Custom;
    return (cost ? measure : -measure) + lengthPenalty * geneLength;
}

}  // namespace qm::evolve
