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

double TaskFitness(const Task& task, std::span<const EvalResult> runs, long long stepBudget, int geneLength,
                   double lengthPenalty) {
    if (task.kind == Task::Kind::Goal) return Fitness(runs, stepBudget, geneLength, lengthPenalty);
    if (runs.empty()) return kWorstFitness;
    for (const EvalResult& run : runs) {
        if (run.outcome == EvalResult::Outcome::Error) return kWorstFitness;
    }
    const double measure = TaskMeasure(task, runs);
    // The size error and a function's score are costs already; the others are gains.
    const bool cost = task.kind == Task::Kind::Size || task.kind == Task::Kind::Custom;
    return (cost ? measure : -measure) + lengthPenalty * geneLength;
}

}  // namespace qm::evolve
