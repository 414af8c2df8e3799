#pragma once
// What the search asks of a creature: its task, and the fitness (a cost,
// lower is better) that measures it. Every task adds the length penalty and
// scores a gene that made the engine fail on any seed kWorstFitness.
//
//   goal      the goal's fitness (Fitness.h): below 1 when the goal is reached
//   distance  minus the mean horizontal distance the center (the mean node) travels
//   height    minus the mean height of the highest node above the floor at the end
//   size N    the mean over the seeds of how far the node count stays from N
//             over the second half of the steps
//   taxis     head for the goal wherever it is: every gene is grown with the
//             goal at several placements (Search's goals) on every seed;
//             a run's progress is the centre's displacement towards its goal
//             over the goal's distance, at most 1 (a run that reaches the
//             goal in step k of S scores 1 + (1 - k / (S + 1)) instead, so
//             reaching beats any approach and sooner beats later); the
//             fitness is minus the mean progress over every run. Placements
//             around the start make a creature that moves one fixed way
//             score about 0 (what it gains towards one goal it loses towards
//             the opposite one), and one that spreads evenly too (its
//             centre stays put)
//   python    the mean over the seeds of what a Python function of the
//             finished run gives (EvalResult::score): only quillmoth.evolve
//             has the function, so the command line does not take this task

#include <optional>
#include <span>
#include <string>

#include "evolve/Fitness.h"

namespace qm::evolve {

struct Task {
    enum class Kind { Goal, Distance, Height, Size, Custom, Taxis };
    Kind kind = Kind::Goal;
    int nodes = 0;  // the N of size N

    bool operator==(const Task&) const = default;
};

// "goal", "distance", "height", "taxis" or "size N" (N from 1 to 1000000, also "size=N");
// never "python" (Custom), whose function no text can give.
std::optional<Task> ParseTask(const std::string& text);
// The text ParseTask reads back; "python" for Custom.
std::string TaskText(const Task& task);

// goalDistances: for taxis, each run's start distance to its goal (the
// placements' horizontal distances), in the runs' order.
double TaskFitness(const Task& task, std::span<const EvalResult> runs, long long stepBudget, int geneLength,
                   double lengthPenalty, std::span<const double> goalDistances = {});

// The measure the fitness is made of, for a gene's runs: the mean distance,
// height, size error or taxis; the closest approach for the goal.
double TaskMeasure(const Task& task, std::span<const EvalResult> runs);

// A taxis run's progress towards its goal, `distance` away at the start
// (see taxis above); stepBudget is S.
double TaxisProgress(const EvalResult& run, double distance, long long stepBudget);

// How many of the runs reached their goal.
int GoalsReached(std::span<const EvalResult> runs);

}  // namespace qm::evolve
