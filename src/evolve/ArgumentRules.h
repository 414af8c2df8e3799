#pragma once
// The rules of the numbers a search and a run take, one row each, read by
// both callers: the command line checks its options by them and the Python
// package its keywords, and each says what is wrong in its own name for the
// argument ("--max-nodes" on the command line, "max_nodes" in Python). The
// physics keys have their rules in base/PhysicsSettings.h.

#include <string>
#include <string_view>

namespace qm::evolve {

// The most steps a run takes, and the most evaluations or runs at once.
inline constexpr long long kMaxRunSteps = 1000000000000LL;
inline constexpr int kMaxWorkers = 4096;

// Who is told of a bad argument, in which terms.
enum class Caller { CommandLine, Python };

enum class ArgumentKind { Integer, Real, Text };

enum class Argument {
    Population,
    Generations,
    SearchSteps,
    EvalSeeds,
    Seed,
    Goal,
    MaxNodes,
    MaxLength,
    Tournament,
    Elite,
    Crossover,
    Mutation,
    LengthPenalty,
    Descriptors,
    Grid,
    Task,
    ConstantMutation,
    CopyMutation,
    Immigrants,
    CellTournament,
    Goals,
    Neighbours,
    FitnessWeight,
    Evaluations,
    Workers,
    RunSteps,
    StepCount,
    TraceEvery,
};

struct ArgumentRule {
    Argument argument;
    std::string_view flag;    // on the command line
    std::string_view python;  // in Python
    ArgumentKind kind;
    // The values allowed, ends included; NaN and the infinities never are.
    double low = 0.0;
    double high = 0.0;
};

const ArgumentRule& RuleOf(Argument argument);

// The argument as `caller` names it.
std::string ArgumentName(Argument argument, Caller caller);

// Whether `value` is one the argument takes: in its range, and whole for an integer.
bool Allowed(Argument argument, double value);
// "NAME must lie between LOW and HIGH", or "NAME must be at least LOW" for
// an argument with no bound above but its type's.
std::string RangeText(Argument argument, Caller caller);

}  // namespace qm::evolve
