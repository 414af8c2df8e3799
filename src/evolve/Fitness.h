#pragma once
// What one evaluation of a gene gives, and the fitness the search ranks genes
// by: a cost, lower is better.
//
//   per evaluation seed s:  goal reached in step k   f_s = k / (S + 1)      (0 < f_s < 1)
//                           all S steps ran           f_s = 1 + d_s          (d_s: closest approach)
//   fitness = mean of f_s over the seeds + lengthPenalty x gene length
//   an engine error in any seed (the node cap included): fitness = kWorstFitness
//
// Reaching the goal on every seed therefore beats any gene that misses it on
// one, sooner beats later, and closer beats farther; with the default penalty
// of 0.001 per element, fifty elements cost what 0.05 units of distance do.

#include <array>
#include <span>
#include <string>

namespace qm::evolve {

// Cost of a gene that made the engine fail: above any mean of f_s (the world
// box is about 1,415 units across) plus any length penalty.
inline constexpr double kWorstFitness = 1e6;

struct EvalResult {
    enum class Outcome { Completed, GoalReached, Error };
    Outcome outcome = Outcome::Completed;
    long long steps = 0;   // steps that ran; for GoalReached the step in which a node reached the goal
    double closest = 0.0;  // least distance from any node to the goal: at the start and after every step
    int nodes = 0;         // nodes in the world when the run ended
    // What the creature did, for tasks other than the goal and for behaviour
    // descriptors (Behaviour.h); all 0 when no node is left at the end.
    double dx = 0.0, dz = 0.0;  // the center's (mean node's) displacement along x and z, first step to last
    double height = 0.0;        // the highest node above the floor at the end
    double sizeError = 0.0;     // mean |nodes - N| over the second half of the steps (task size N)
    double score = 0.0;         // what a fitness function of the finished run gave it (task python)
    double taxis = 0.0;         // the centre's horizontal displacement towards the run's goal
    // What the search's own descriptors, Python functions of the finished
    // run, gave it (python1 to python3 in Behaviour.h); all 0 in a search without them.
    std::array<double, 3> python{};
};

double Fitness(std::span<const EvalResult> runs, long long stepBudget, int geneLength, double lengthPenalty);

// One line of text that reads back exactly (hexadecimal floating point).
// A result of four fields (outcome to nodes, what checkpoints of format 1
// and 2 hold) also reads, with the behaviour fields 0, one of eight
// (without the score, as checkpoints of format 3 held it first) with the
// score 0, and one of nine (without the taxis, format 3) with the taxis 0.
// The values of Python descriptors follow only when one is not 0, so a
// search without them writes what it wrote before.
std::string EncodeResult(const EvalResult& result);
// False when the text is not a result EncodeResult wrote.
bool DecodeResult(const std::string& text, EvalResult& result);

}  // namespace qm::evolve
