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
        double value;
        Argument argument;
        bool allowed;
    };
    const Case cases[] = {
        {2, Argument::Population, true},        {1, Argument::Population, false},
        {1e6, Argument::Population, true},      {1e6 + 1, Argument::Population, false},
        {2.5, Argument::Population, false},     {nan, Argument::Population, false},
        {0, Argument::MaxNodes, false},         {-1, Argument::MaxNodes, false},
        {2147483647, Argument::MaxNodes, true}, {inf, Argument::MaxNodes, false},
        {0, Argument::RunSteps, true},          {-1, Argument::RunSteps, false},
        {-1, Argument::StepCount, false},       {0, Argument::Workers, false},
        {4096, Argument::Workers, true},        {4097, Argument::Workers, false},
        {0.5, Argument::Crossover, true},       {nan, Argument::Crossover, false},
        {1, Argument::FitnessWeight, true},     {-inf, Argument::FitnessWeight, false},
        {4294967295.0, Argument::Seed, true},   {4294967296.0, Argument::Seed, false},
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
