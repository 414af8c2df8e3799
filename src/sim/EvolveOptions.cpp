#include "sim/EvolveOptions.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "base/Diagnostics.h"

namespace qm::sim {
namespace {

std::vector<std::uint32_t> ParseSeedList(const std::string& text) {
    std::vector<std::uint32_t> seeds;
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = text.find(',', at);
        const std::string part = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        std::optional<std::uint32_t> seed = ParseSeed(part);
        if (!seed) {
            throw CLI::ValidationError(
                "--eval-seeds takes whole numbers from 0 to 4294967295 separated by commas, not '" + text +
                "'");
        }
        seeds.push_back(*seed);
        if (comma == std::string::npos) return seeds;
        at = comma + 1;
    }
}

// The options of evolve that change what a search finds: a resumed search
// takes them from its checkpoint instead.
const char* const kSearchOptions[] = {"--population",
                                      "--steps",
                                      "--eval-seeds",
                                      "--seed",
                                      "--out",
                                      "--goal",
                                      "--max-nodes",
                                      "--max-length",
                                      "--tournament",
                                      "--elite",
                                      "--crossover",
                                      "--mutation",
                                      "--length-penalty",
                                      "--physics",
                                      "--set",
                                      "GENE_FILE",
                                      "--algorithm",
                                      "--task",
                                      "--descriptors",
                                      "--grid",
                                      "--init",
                                      "--constant-mutation",
                                      "--copy-mutation",
                                      "--immigrants",
                                      "--cell-tournament",
                                      "--goals",
                                      "--neighbours",
                                      "--fitness-weight"};

}  // namespace

CLI::Validator ByRule(evolve::Argument argument) {
    return CLI::Validator(
        [argument](std::string& text) -> std::string {
            double value = 0.0;
            if (CLI::detail::lexical_cast(text, value) && evolve::Allowed(argument, value)) return {};
            // Thrown past CLI11, which would put "--NAME: " before a text that names the option already.
            throw CLI::ParseError(evolve::RangeText(argument, evolve::Caller::CommandLine) + ", not '" +
                                      Printable(text, 80) + "'",
                                  CLI::ExitCodes::ValidationError);
        },
        "");
}

std::span<const char* const> SearchOptionNames() { return kSearchOptions; }

void AddEvolveOptions(CLI::App& evolve, EvolveOptions& o) {
    evolve::SearchSettings& s = o.search;
    evolve.add_option("GENE_FILE", s.seedFiles, "seed genes: the first generation starts from them")
        ->expected(0, -1);
    evolve.add_option("--population", s.population, "genes per generation (default 64)")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::Population));
    evolve
        .add_option_function<int>(
            "--generations",
            [&o](int g) {
                o.search.generations = g;
                o.generationsGiven = true;
            },
            "generations to run (default 20); with --resume, the total to reach")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::Generations));
    evolve.add_option("--steps", s.steps, "world steps per evaluation (default 1000)")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::SearchSteps));
    evolve
        .add_option_function<std::string>(
            "--eval-seeds", [&s](const std::string& text) { s.evalSeeds = ParseSeedList(text); },
            "grow every gene once per seed; its fitness combines them (default 1)")
        ->type_name("A,B,...");
    evolve
        .add_option_function<std::string>(
            "--seed",
            [&o](const std::string& text) {
                std::optional<std::uint32_t> seed = ParseSeed(text);
                if (!seed) throw CLI::ValidationError(SeedError(text));
                o.search.seed = *seed;
                o.seedGiven = true;
            },
            "seed of the search's own random numbers (default: the current time in seconds; "
            "quillmoth.evolve's is 1, so that a script repeats its search)")
        ->type_name("N");
    evolve.add_option("--out", o.out, "folder of the outputs and the checkpoint (default evolve-out)")
        ->type_name("DIR");
    evolve.add_option("--resume", o.resume, "go on with the search whose checkpoint is in DIR")
        ->type_name("DIR");
    AddGoalOption(evolve, s.goal);
    evolve.add_option("--workers", o.workers, "evaluations at once on this machine (default: one per core)")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::Workers));
    evolve
        .add_option("--max-nodes", s.maxNodes,
                    "node cap of each evaluation; a gene that passes it scores worst (default 1000)")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::MaxNodes));
    evolve.add_option("--max-length", s.maxLength, "most elements a gene may have (default 50)")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::MaxLength));
    evolve.add_option("--tournament", s.tournament, "genes drawn per tournament (default 3)")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::Tournament));
    evolve.add_option("--elite", s.elite, "best genes kept unchanged (default 2)")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::Elite));
    evolve.add_option("--crossover", s.crossoverRate, "share of children made by crossover (default 0.7)")
        ->type_name("P")
        ->check(ByRule(evolve::Argument::Crossover));
    evolve.add_option("--mutation", s.mutationRate, "share of children mutated once (default 0.9)")
        ->type_name("P")
        ->check(ByRule(evolve::Argument::Mutation));
    evolve.add_option("--length-penalty", s.lengthPenalty, "fitness cost per gene element (default 0.001)")
        ->type_name("C")
        ->check(ByRule(evolve::Argument::LengthPenalty));
    evolve
        .add_option_function<std::string>(
            "--algorithm",
            [&s](const std::string& name) {
                const std::optional<evolve::Algorithm> a = evolve::ParseAlgorithm(name);
                if (!a)
                    throw CLI::ValidationError("--algorithm takes ga, map-elites or novelty, not '" + name +
                                               "'");
                s.algorithm = *a;
            },
            "ga (default), map-elites or novelty")
        ->type_name("NAME");
    evolve
        .add_option_function<std::vector<std::string>>(
            "--task",
            [&s](const std::vector<std::string>& words) {
                std::string text;
                for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
                const std::optional<evolve::Task> task = evolve::ParseTask(text);
                if (!task) {
                    throw CLI::ValidationError(
                        "--task takes goal, distance, height, taxis or size N (N from 1 to "
                        "1000000), not '" +
                        text + "'");
                }
                s.task = *task;
            },
            "what the fitness measures: goal (default), distance, height, taxis or size N; taxis brings "
            "its own defaults (docs/evolve.md)")
        ->type_name("TASK")
        ->expected(1, 2);
    evolve
        .add_option_function<std::string>(
            "--descriptors",
            [&s](const std::string& text) {
                s.descriptors.clear();
                std::string name;
                std::istringstream names(text);
                while (std::getline(names, name, ',')) s.descriptors.push_back(name);
            },
            "behaviour descriptors of the grid and of novelty, each NAME or NAME:LOW:HIGH[:CELLS] "
            "(default closest,nodes; taxis: taxis,moved; docs/evolve.md lists them)")
        ->type_name("A,B");
    evolve.add_option("--grid", s.grid, "cells per descriptor that names none (default 25)")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::Grid));
    evolve
        .add_option_function<std::string>(
            "--goals",
            [&s](const std::string& text) {
                s.goals.clear();
                std::string one;
                std::istringstream placements(text);
                while (std::getline(placements, one, ';')) {
                    const std::optional<Vector3> goal = ParseGoal(one);
                    if (!goal)
                        throw CLI::ValidationError("--goals takes X,Y,Z;X,Y,Z;..., not '" + text + "'");
                    s.goals.push_back(*goal);
                }
            },
            "task taxis: the goal placements (default: the goal and its quarter turns around the start)")
        ->type_name("X,Y,Z;...");
    evolve
        .add_option_function<std::string>(
            "--init",
            [&s](const std::string& name) {
                const std::optional<evolve::Init> init = evolve::ParseInit(name);
                if (!init)
                    throw CLI::ValidationError("--init takes grow, ramped or motifs, not '" + name + "'");
                s.init = *init;
            },
            "random genes: grow (ga's default), ramped (the others') or motifs (taxis')")
        ->type_name("HOW");
    evolve
        .add_option("--constant-mutation", s.constantMutation,
                    "share of mutations that move a constant (ga: 0, the others: 0.5)")
        ->type_name("P")
        ->check(ByRule(evolve::Argument::ConstantMutation));
    evolve
        .add_option("--copy-mutation", s.copyMutation,
                    "share of the other mutations that copy a constant or subtree within the gene (ga: 0, "
                    "the others: 0.2)")
        ->type_name("P")
        ->check(ByRule(evolve::Argument::CopyMutation));
    evolve
        .add_option("--immigrants", s.immigrants,
                    "map-elites: share of every batch made as new random genes (default 0; taxis: 0.5)")
        ->type_name("P")
        ->check(ByRule(evolve::Argument::Immigrants));
    evolve
        .add_option("--cell-tournament", s.cellTournament,
                    "map-elites: a parent is the fittest of K cells drawn at random (default 1; taxis: 5)")
        ->type_name("K")
        ->check(ByRule(evolve::Argument::CellTournament));
    evolve
        .add_option("--census", o.census,
                    "no search: grow N random genes (--init) with the goal ahead and behind, count those "
                    "that head for it and write them all to DIR/census.csv")
        ->type_name("N")
        ->check(CLI::Range(1LL, evolve::kMaxEvaluations).description(""));
    evolve.add_option("--neighbours", s.neighbours, "novelty: nearest behaviours averaged (default 15)")
        ->type_name("K")
        ->check(ByRule(evolve::Argument::Neighbours));
    evolve
        .add_option("--fitness-weight", s.fitnessWeight,
                    "novelty: weight of the fitness rank against the novelty rank (default 0.5)")
        ->type_name("W")
        ->check(ByRule(evolve::Argument::FitnessWeight));
    evolve
        .add_option_function<long long>(
            "--evaluations",
            [&o](long long n) {
                o.search.evaluations = n;
                o.evaluationsGiven = true;
            },
            "budget: stop after the generation in which the runs reach N; with --resume, the new budget")
        ->type_name("N")
        ->check(ByRule(evolve::Argument::Evaluations));
    AddPhysicsOptions(evolve, o.physics);
    evolve.add_flag("--quiet", o.quiet, "no line per generation");
}

}  // namespace qm::sim
