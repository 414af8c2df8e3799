#include "evolve/Search.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <numeric>

#include "base/Diagnostics.h"
#include "evolve/SearchError.h"
#include "evolve/Variation.h"
#include "gp/GPmanager.h"

namespace qm::evolve {

std::string SettingsProblem(const SearchSettings& s) {
    if (s.population < 2 || s.population > kMaxPopulation) {
        return FormatString("--population must lie between 2 and %d", kMaxPopulation);
    }
    if (s.generations < 1 || s.generations > kMaxGenerations) {
        return FormatString("--generations must lie between 1 and %d", kMaxGenerations);
    }
    if (s.steps < 1 || s.steps > kMaxSearchSteps) {
        return FormatString("--steps must lie between 1 and %lld", kMaxSearchSteps);
    }
    if (s.evalSeeds.empty()) return "--eval-seeds needs at least one seed";
    if (s.goal && !(std::isfinite(s.goal->x) && std::isfinite(s.goal->y) && std::isfinite(s.goal->z))) {
        return "--goal takes three finite numbers";
    }
    if (s.maxNodes < 1) return "--max-nodes must be at least 1";
    if (const std::string fault = PhysicsFault(s.physics); !fault.empty())
        return "the physics is unsound: " + fault;
    if (s.maxLength < 1 || s.maxLength > kMaxGeneElements) {
        return FormatString("--max-length must lie between 1 and %d", kMaxGeneElements);
    }
    if (s.tournament < 1 || s.tournament > kMaxTournament) {
        return FormatString("--tournament must lie between 1 and %d", kMaxTournament);
    }
    if (s.elite < 0 || s.elite >= s.population)
        return "--elite must lie between 0 and the population size minus one";
    if (!(s.crossoverRate >= 0.0 && s.crossoverRate <= 1.0)) return "--crossover must lie between 0 and 1";
    if (!(s.mutationRate >= 0.0 && s.mutationRate <= 1.0)) return "--mutation must lie between 0 and 1";
    if (!(s.lengthPenalty >= 0.0 && s.lengthPenalty <= 1.0))
        return "--length-penalty must lie between 0 and 1";
    if (static_cast<int>(s.seedGenes.size()) > s.population) {
        return FormatString("%zu seed genes do not fit in a population of %d", s.seedGenes.size(),
                            s.population);
    }
    for (std::size_t i = 0; i < s.seedGenes.size(); ++i) {
        std::string problem = ShapeProblem(s.seedGenes[i], s.maxLength);
        if (!problem.empty()) {
            const std::string name =
                i < s.seedFiles.size() ? s.seedFiles[i] : FormatString("seed gene %zu", i + 1);
            std::string text = "the seed gene ";
            text += Printable(name, 400);
            text += " cannot be evolved: ";
            return text += problem;
        }
    }
    return {};
}

Search::Search(SearchSettings s) : settings(std::move(s)), random(settings.seed) {
    const int n = settings.population;
    const int seeds = static_cast<int>(settings.seedGenes.size());
    for (int i = 0; i < n; ++i) {
        if (seeds == 0) {
            population.push_back(RandomGene(random, settings.maxLength));
        } else if (i < seeds) {
            population.push_back(settings.seedGenes[static_cast<std::size_t>(i)]);
            Normalise(population.back());
        } else {
            population.push_back(population[static_cast<std::size_t>(i % seeds)]);
            Mutate(population.back(), random, settings.maxLength);
        }
    }
}

Search::Search(SearchSettings s, SearchState state)
    : settings(std::move(s)),
      random(state.randomState),
      done(state.done),
      population(std::move(state.population)),
      best(std::move(state.best)),
      lastRuns(std::move(state.lastRuns)) {}

SearchState Search::State() const { return {done, random.State(), population, best, lastRuns}; }

std::vector<ScoredGene> Search::Score(Evaluator& evaluator, GenerationReport& report) {
    const std::size_t seedCount = settings.evalSeeds.size();
    std::map<std::string, std::vector<EvalResult>> runs(lastRuns.begin(), lastRuns.end());
    std::vector<std::string> codes;
    std::vector<EvalTask> tasks;
    std::vector<std::string> taskGene;
    for (const GeneCode& gene : population) {
        codes.push_back(CodeString(gene));
        if (runs.count(codes.back())) continue;
        runs[codes.back()] = std::vector<EvalResult>(seedCount);
        for (std::uint32_t seed : settings.evalSeeds) {
            EvalTask task;
            task.index = static_cast<int>(tasks.size());
            task.code = codes.back();
            task.seed = seed;
            task.steps = settings.steps;
            task.maxNodes = settings.maxNodes;
            task.goal = settings.goal;
            task.physics = settings.physics;
            tasks.push_back(std::move(task));
            taskGene.push_back(codes.back());
        }
    }

    const auto start = std::chrono::steady_clock::now();
    std::vector<EvalResult> results = evaluator.Evaluate(tasks);
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    report.evaluations = static_cast<int>(tasks.size());
    report.evaluationsPerSecond =
        report.seconds > 0.0 ? static_cast<double>(tasks.size()) / report.seconds : 0.0;
    for (std::size_t t = 0; t < tasks.size(); ++t) runs[taskGene[t]][t % seedCount] = results[t];

    std::vector<ScoredGene> scored;
    lastRuns.clear();
    for (std::size_t i = 0; i < population.size(); ++i) {
        ScoredGene gene;
        gene.code = population[i];
        gene.runs = runs[codes[i]];
        gene.fitness =
            Fitness(gene.runs, settings.steps, static_cast<int>(gene.code.size()), settings.lengthPenalty);
        lastRuns.emplace_back(codes[i], gene.runs);
        scored.push_back(std::move(gene));
    }
    return scored;
}

GenerationReport Search::RunGeneration(Evaluator& evaluator) {
    GenerationReport report;
    report.generation = done + 1;
    std::vector<ScoredGene> scored = Score(evaluator, report);

    std::vector<double> fitness;
    fitness.reserve(scored.size());
    for (const ScoredGene& g : scored) fitness.push_back(g.fitness);
    std::sort(fitness.begin(), fitness.end());
    const std::size_t n = fitness.size();
    report.best = fitness.front();
    report.worst = fitness.back();
    report.median = n % 2 ? fitness[n / 2] : (fitness[n / 2 - 1] + fitness[n / 2]) / 2.0;

    int first = 0;
    for (int i = 1; i < static_cast<int>(scored.size()); ++i) {
        if (RanksBefore(scored[i].fitness, i, scored[first].fitness, first)) first = i;
    }
    best = scored[static_cast<std::size_t>(first)];
    Breed(scored);
    ++done;
    return report;
}

int Search::Tournament(const std::vector<ScoredGene>& scored) {
    const int n = static_cast<int>(scored.size());
    int winner = random.Below(n);
    for (int k = 1; k < settings.tournament; ++k) {
        const int other = random.Below(n);
        if (RanksBefore(scored[other].fitness, other, scored[winner].fitness, winner)) winner = other;
    }
    return winner;
}

void Search::Breed(const std::vector<ScoredGene>& scored) {
    std::vector<int> order(scored.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return RanksBefore(scored[a].fitness, a, scored[b].fitness, b); });
    std::vector<GeneCode> next;
    next.reserve(static_cast<std::size_t>(settings.population));
    for (int i = 0; i < settings.elite; ++i) next.push_back(scored[order[i]].code);
    while (static_cast<int>(next.size()) < settings.population) {
        const GeneCode& parent = scored[Tournament(scored)].code;
        GeneCode child = parent;
        if (random.Chance(settings.crossoverRate)) {
            const GeneCode& donor = scored[Tournament(scored)].code;
            child = Crossover(parent, donor, random, settings.maxLength);
        }
        if (random.Chance(settings.mutationRate)) Mutate(child, random, settings.maxLength);
        next.push_back(std::move(child));
    }
    population = std::move(next);
}

}  // namespace qm::evolve
