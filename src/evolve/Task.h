#pragma once
// What the search asks of a creature: its task, and the fitness (a cost,
// lower is better) that measures it. Every task adds the length penalty and
// scores a gene that made the engine fail on any seed kWorstFitness.
//
//   goal      the goal's fitness (Fitness.h): below 1 when the goal is reached
//   distance  minus the mean horizontal distance the centroid travels
//   height    minus the mean height of the highest node above the floor at the end
//   size N    the mean over the seeds of how far the node count stays from N
//             over the second half of the steps
//   python    the mean over the seeds of what a Python function of the
//             finished run gives (EvalResult::score): only quillmoth.evolve
//             has the function, so the command line does not take this task

#include <optional>
#include <span>
#include <string>

#include "evolve/Fitness.h"

namespace qm::evolve {

struct Task {
    enum class Kind { Goal, Distance, Height, Size, Custom };
    Kind kind = Kind::Goal;
    int nodes = 0;  // the N of size N

    bool operator==(const Task&) const = default;
};

// "goal", "distance", "height" or "size N" (N from 1 to 1000000, also "size=N");
// never "python" (Custom), whose function no text can give.
std::optional<Task> ParseTask(const std::string& text);
// The text ParseTask reads back; "python" for Custom.
std::string TaskText(const Task& task);

double TaskFitness(const Task& task, std::span<const EvalResult> runs, long long stepBudget, int geneLength,
                   double lengthPenalty);

// The measure the fitness is made of, for a gene's runs: the mean distance,
// height or size error; the closest approach for the goal.
double TaskMeasure(const Task& task, std::span<const EvalResult> runs);

}  // namespace qm::evolve
