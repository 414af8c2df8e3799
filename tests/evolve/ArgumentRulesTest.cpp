// The argument rules as both callers read them: which values each takes,
// and the refusal named as the command line and as Python name the argument.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "evolve/ArgumentRules.h"
#include "evolve/Search.h"

namespace qm::evolve {
namespace {

TEST(ArgumentRulesTest, EachRuleTakesItsRangeAndNoNaNInfinityOrFraction) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Case {
        Argument argument;
        double value;
        bool allowed;
    };
    const Case cases[] = {
        {Argument::Population, 2, true},        {Argument::Population, 1, false},
        {Argument::Population, 1e6, true},      {Argument::Population, 1e6 + 1, false},
        {Argument::Population, 2.5, false},     {Argument::Population, nan, false},
        {Argument::MaxNodes, 0, false},         {Argument::MaxNodes, -1, false},
        {Argument::MaxNodes, 2147483647, true}, {Argument::MaxNodes, inf, false},
        {Argument::RunSteps, 0, true},          {Argument::RunSteps, -1, false},
        {Argument::StepCount, -1, false},       {Argument::Workers, 0, false},
        {Argument::Workers, 4096, true},        {Argument::Workers, 4097, false},
        {Argument::Crossover, 0.5, true},       {Argument::Crossover, nan, false},
        {Argument::FitnessWeight, 1, true},     {Argument::FitnessWeight, -inf, false},
        {Argument::Seed, 4294967295.0, true},   {Argument::Seed, 4294967296.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ArgumentName(c.argument, Caller::CommandLine) + " " + std::to_string(c.value));
        EXPECT_EQ(Allowed(c.argument, c.value), c.allowed);
    }
}

TEST(ArgumentRulesTest, ARefusalNamesTheArgumentAsItsCallerDoes) {
    struct Case {
        Argument argument;
        const char* commandLine;
        const char* python;
    };
    const Case cases[] = {
        {Argument::Population, "--population must lie between 2 and 1000000",
         "population must lie between 2 and 1000000"},
        {Argument::MaxNodes, "--max-nodes must be at least 1", "max_nodes must be at least 1"},
        {Argument::EvalSeeds, "--eval-seeds must lie between 0 and 4294967295",
         "seeds must lie between 0 and 4294967295"},
        {Argument::LengthPenalty, "--length-penalty must lie between 0 and 1",
         "length_penalty must lie between 0 and 1"},
        {Argument::StepCount, "--steps must lie between 0 and 1000000000000",
         "n must lie between 0 and 1000000000000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RangeText(c.argument, Caller::CommandLine), c.commandLine);
        EXPECT_EQ(RangeText(c.argument, Caller::Python), c.python);
    }
}

TEST(ArgumentRulesTest, TheSearchsSettingsAreRefusedInTheCallersTerms) {
    struct Case {
        void (*change)(SearchSettings&);
        const char* commandLine;
        const char* python;
    };
    const Case cases[] = {
        {[](SearchSettings& s) { s.population = 1; }, "--population must lie between 2 and 1000000",
         "population must lie between 2 and 1000000"},
        {[](SearchSettings& s) { s.evalSeeds.clear(); }, "--eval-seeds needs at least one seed",
         "seeds needs at least one seed"},
        {[](SearchSettings& s) { s.mutationRate = std::nan(""); }, "--mutation must lie between 0 and 1",
         "mutation must lie between 0 and 1"},
        {[](SearchSettings& s) {
             s.task = {Task::Kind::Size, 5000};
         },
         "--task size N needs N between 1 and --max-nodes", "task size N needs N between 1 and max_nodes"},
        {[](SearchSettings& s) { s.evaluations = -1; }, "--evaluations must lie between 1 and 1000000000000",
         "evaluations must lie between 1 and 1000000000000"},
    };
    for (const Case& c : cases) {
        SearchSettings settings;
        c.change(settings);
        EXPECT_EQ(SettingsProblem(settings), c.commandLine);
        EXPECT_EQ(SettingsProblem(settings, Caller::Python), c.python);
    }
    EXPECT_EQ(SettingsProblem(SearchSettings{}, Caller::Python), "");
}

}  // namespace
}  // namespace qm::evolve
