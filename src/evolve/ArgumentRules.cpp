#include "evolve/ArgumentRules.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "base/Diagnostics.h"
#include "evolve/Behaviour.h"
#include "evolve/Search.h"
#include "gp/GeneLimits.h"

namespace qm::evolve {
namespace {

using Kind = ArgumentKind;
constexpr double kIntMax = std::numeric_limits<int>::max();

// In the order of Argument.
constexpr std::array kRules{
    ArgumentRule{Argument::Population, "--population", "population", Kind::Integer, 2, kMaxPopulation},
    ArgumentRule{Argument::Generations, "--generations", "generations", Kind::Integer, 1, kMaxGenerations},
    ArgumentRule{Argument::SearchSteps, "--steps", "steps", Kind::Integer, 1, kMaxSearchSteps},
    ArgumentRule{Argument::EvalSeeds, "--eval-seeds", "seeds", Kind::Integer, 0, UINT32_MAX},
    ArgumentRule{Argument::Seed, "--seed", "seed", Kind::Integer, 0, UINT32_MAX},
    ArgumentRule{Argument::Goal, "--goal", "goal", Kind::Real, -std::numeric_limits<double>::max(),
                 std::numeric_limits<double>::max()},
    ArgumentRule{Argument::MaxNodes, "--max-nodes", "max_nodes", Kind::Integer, 1, kIntMax},
    ArgumentRule{Argument::MaxLength, "--max-length", "max_length", Kind::Integer, 1, kMaxGeneElements},
    ArgumentRule{Argument::Tournament, "--tournament", "tournament", Kind::Integer, 1, kMaxTournament},
    ArgumentRule{Argument::Elite, "--elite", "elite", Kind::Integer, 0, kMaxPopulation},
    ArgumentRule{Argument::Crossover, "--crossover", "crossover", Kind::Real, 0, 1},
    ArgumentRule{Argument::Mutation, "--mutation", "mutation", Kind::Real, 0, 1},
    ArgumentRule{Argument::LengthPenalty, "--length-penalty", "length_penalty", Kind::Real, 0, 1},
    ArgumentRule{Argument::Descriptors, "--descriptors", "descriptors", Kind::Text},
    ArgumentRule{Argument::Grid, "--grid", "grid", Kind::Integer, 1, kMaxAxisCells},
    ArgumentRule{Argument::Task, "--task", "task", Kind::Text},
    ArgumentRule{Argument::ConstantMutation, "--constant-mutation", "constant_mutation", Kind::Real, 0, 1},
    ArgumentRule{Argument::CopyMutation, "--copy-mutation", "copy_mutation", Kind::Real, 0, 1},
    ArgumentRule{Argument::Immigrants, "--immigrants", "immigrants", Kind::Real, 0, 1},
    ArgumentRule{Argument::CellTournament, "--cell-tournament", "cell_tournament", Kind::Integer, 1,
                 kMaxTournament},
    ArgumentRule{Argument::Goals, "--goals", "goals", Kind::Real, -std::numeric_limits<double>::max(),
                 std::numeric_limits<double>::max()},
    ArgumentRule{Argument::Neighbours, "--neighbours", "neighbours", Kind::Integer, 1, kMaxPopulation},
    ArgumentRule{Argument::FitnessWeight, "--fitness-weight", "fitness_weight", Kind::Real, 0, 1},
    ArgumentRule{Argument::Evaluations, "--evaluations", "evaluations", Kind::Integer, 1, kMaxEvaluations},
    ArgumentRule{Argument::Workers, "--workers", "workers", Kind::Integer, 1, kMaxWorkers},
    ArgumentRule{Argument::RunSteps, "--steps", "steps", Kind::Integer, 0, kMaxRunSteps},
    ArgumentRule{Argument::StepCount, "--steps", "n", Kind::Integer, 0, kMaxRunSteps},
    ArgumentRule{Argument::TraceEvery, "--trace-every", "trace_every", Kind::Integer, 1, kIntMax},
};

constexpr bool InArgumentOrder() {
    for (std::size_t i = 0; i < kRules.size(); ++i)
        if (static_cast<std::size_t>(kRules[i].argument) != i) return false;
    return true;
}
static_assert(InArgumentOrder(), "a row of the argument rules out of place");

// An end of a range as the command line writes it.
std::string EndText(const ArgumentRule& rule, double end) {
    if (rule.kind == Kind::Integer) return FormatString("%lld", static_cast<long long>(end));
    return FormatString("%g", end);
}

}  // namespace

const ArgumentRule& RuleOf(Argument argument) { return kRules[static_cast<std::size_t>(argument)]; }

std::string ArgumentName(Argument argument, Caller caller) {
    const ArgumentRule& rule = RuleOf(argument);
    return std::string(caller == Caller::Python ? rule.python : rule.flag);
}

bool Allowed(Argument argument, double value) {
    const ArgumentRule& rule = RuleOf(argument);
    if (!(value >= rule.low && value <= rule.high)) return false;  // NaN too
    return rule.kind != Kind::Integer || std::trunc(value) == value;
}

std::string RangeText(Argument argument, Caller caller) {
    const ArgumentRule& rule = RuleOf(argument);
    const std::string name = ArgumentName(argument, caller);
    if (rule.high == kIntMax) return name + " must be at least " + EndText(rule, rule.low);
    return name + " must lie between " + EndText(rule, rule.low) + " and " + EndText(rule, rule.high);
}

}  // namespace qm::evolve
