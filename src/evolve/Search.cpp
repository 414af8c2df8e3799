#include "evolve/Search.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <initializer_list>
#include <map>
#include <numeric>
#include <utility>

#include "api/Run.h"
#include "base/Diagnostics.h"
#include "evolve/Motifs.h"
#include "evolve/SearchError.h"
#include "evolve/Task.h"
#include "evolve/Variation.h"
#include "gp/GPmanager.h"

namespace qm::evolve {

std::optional<Algorithm> ParseAlgorithm(const std::string& name) {
    for (Algorithm a : {Algorithm::Ga, Algorithm::MapElites, Algorithm::Novelty}) {
        if (name == AlgorithmName(a)) return a;
    }
    return std::nullopt;
}

const char* AlgorithmName(Algorithm algorithm) {
    switch (algorithm) {
        case Algorithm::MapElites:
            return "map-elites";
        case Algorithm::Novelty:
            return "novelty";
        case Algorithm::Ga:
            break;
    }
    return "ga";
}

std::optional<Init> ParseInit(const std::string& name) {
    if (name == "grow") return Init::Grow;
    if (name == "ramped") return Init::Ramped;
    if (name == "motifs") return Init::Motifs;
    return std::nullopt;
}

const char* InitName(Init init) {
    switch (init) {
        case Init::Ramped:
            return "ramped";
        case Init::Motifs:
            return "motifs";
        case Init::Grow:
            break;
    }
    return "grow";
}

void SearchSettings::SetDefaults(const std::function<bool(std::string_view)>& given) {
    const bool taxis = task.kind == Task::Kind::Taxis;
    if (taxis) {
        if (!given("algorithm")) algorithm = Algorithm::MapElites;
        if (!given("descriptors")) descriptors = {"taxis", "moved"};
        if (!given("eval-seeds")) evalSeeds = {1, 2};
        if (!given("max-nodes")) maxNodes = 400;
        if (!given("max-length")) maxLength = 80;
        if (!given("goals")) goals = AroundTheStart(goal);
        // A first mover gains a few units, a few thousandths of the goal's
        // distance: the usual penalty of 0.001 per element would outweigh it.
        if (!given("length-penalty")) lengthPenalty = 0.00001;
        if (!given("immigrants")) immigrants = 0.5;
        if (!given("cell-tournament")) cellTournament = 5;
    }
    const bool ga = algorithm == Algorithm::Ga;
    if (!given("init")) init = ga ? Init::Grow : (taxis ? Init::Motifs : Init::Ramped);
    if (!given("constant-mutation")) constantMutation = ga ? 0.0 : 0.5;
    if (!given("copy-mutation")) copyMutation = ga ? 0.0 : 0.2;
}

std::vector<Vector3> AroundTheStart(std::optional<Vector3> goal) {
    const Vector3 g = goal.value_or(DefaultGoal());
    // Exact quarter turns: (x, z) -> (z, -x), no rounding; + 0 makes a -0 a 0.
    auto minus = [](float v) { return -v + 0.0f; };
    return {g, {g.z, g.y, minus(g.x)}, {minus(g.x), g.y, minus(g.z)}, {minus(g.z), g.y, g.x}};
}

double GoalDistance(std::optional<Vector3> goal) {
    const Vector3 g = goal.value_or(DefaultGoal());
    return std::hypot(static_cast<double>(g.x), static_cast<double>(g.z));
}

GeneCode MakeRandomGene(Init init, SearchRandom& random, int maxLength) {
    switch (init) {
        case Init::Ramped:
            return RampedGene(random, maxLength);
        case Init::Motifs:
            return MotifGene(random, maxLength);
        case Init::Grow:
            break;
    }
    return RandomGene(random, maxLength);
}

std::vector<Trial> Trials(const SearchSettings& s) {
    std::vector<Trial> trials;
    if (s.goals.empty()) {
        for (std::uint32_t seed : s.evalSeeds) trials.push_back({s.goal, seed});
        return trials;
    }
    // The placements take the seeds in turn, so that opposite placements of
    // the default four share a seed: what a creature that moves one fixed way
    // gains towards one goal it loses towards the other on the same seed.
    const std::size_t runs = std::max(s.goals.size(), s.evalSeeds.size());
    for (std::size_t r = 0; r < runs; ++r)
        trials.push_back({s.goals[r % s.goals.size()], s.evalSeeds[r % s.evalSeeds.size()]});
    return trials;
}

std::string SettingsProblem(const SearchSettings& s, Caller caller) {
    const auto name = [caller](Argument argument) { return ArgumentName(argument, caller); };
    // The first of `checks` whose value is not allowed, as its range.
    const auto outside = [caller](std::initializer_list<std::pair<Argument, double>> checks) {
        for (const auto& [argument, value] : checks)
            if (!Allowed(argument, value)) return RangeText(argument, caller);
        return std::string();
    };
    if (std::string problem = outside({{Argument::Population, s.population},
                                       {Argument::Generations, s.generations},
                                       {Argument::SearchSteps, static_cast<double>(s.steps)}});
        !problem.empty())
        return problem;
    if (s.evalSeeds.empty()) return name(Argument::EvalSeeds) + " needs at least one seed";
    if (s.goal && !(std::isfinite(s.goal->x) && std::isfinite(s.goal->y) && std::isfinite(s.goal->z))) {
        return name(Argument::Goal) + " takes three finite numbers";
    }
    if (!Allowed(Argument::MaxNodes, s.maxNodes)) return RangeText(Argument::MaxNodes, caller);
    if (const std::string fault = PhysicsFault(s.physics); !fault.empty())
        return "the physics is unsound: " + fault;
    if (std::string problem =
            outside({{Argument::MaxLength, s.maxLength}, {Argument::Tournament, s.tournament}});
        !problem.empty())
        return problem;
    if (s.elite < 0 || s.elite >= s.population)
        return name(Argument::Elite) + " must lie between 0 and the population size minus one";
    if (std::string problem = outside({{Argument::Crossover, s.crossoverRate},
                                       {Argument::Mutation, s.mutationRate},
                                       {Argument::LengthPenalty, s.lengthPenalty}});
        !problem.empty())
        return problem;
    if (s.descriptors.empty() || static_cast<int>(s.descriptors.size()) > kMaxDescriptors)
        return FormatString("%s takes 1 to %d names", name(Argument::Descriptors).c_str(), kMaxDescriptors);
    std::vector<std::string> names;
    for (const std::string& text : s.descriptors) {
        std::string problem;
        const std::optional<DescriptorSpec> axis = ParseDescriptorSpec(text, problem);
        if (!axis) return name(Argument::Descriptors) + ": " + Printable(problem, 200);
        if (std::find(names.begin(), names.end(), axis->descriptor.name) != names.end())
            return name(Argument::Descriptors) + " names '" + axis->descriptor.name + "' twice";
        names.push_back(axis->descriptor.name);
    }
    if (!Allowed(Argument::Grid, s.grid) ||
        BehaviourSpace(s.descriptors, s.grid, s.maxNodes).CellCount() > kMaxGridCells) {
        return FormatString("%s and the descriptors' cells must make from 1 to %d cells in all",
                            name(Argument::Grid).c_str(), kMaxGridCells);
    }
    if (s.task.kind == Task::Kind::Size && (s.task.nodes < 1 || s.task.nodes > s.maxNodes)) {
        return name(Argument::Task) + " size N needs N between 1 and " + name(Argument::MaxNodes);
    }
    if (std::string problem = outside({{Argument::ConstantMutation, s.constantMutation},
                                       {Argument::CopyMutation, s.copyMutation},
                                       {Argument::Immigrants, s.immigrants},
                                       {Argument::CellTournament, s.cellTournament}});
        !problem.empty())
        return problem;
    if (static_cast<int>(s.goals.size()) > kMaxGoals)
        return FormatString("%s takes at most %d placements", name(Argument::Goals).c_str(), kMaxGoals);
    for (const Vector3& g : s.goals) {
        if (!(std::isfinite(g.x) && std::isfinite(g.y) && std::isfinite(g.z)))
            return name(Argument::Goals) + " takes finite numbers";
        if (GoalDistance(g) == 0.0)
            return name(Argument::Goals) + ": a placement straight above or below the start has no direction";
    }
    if (std::string problem =
            outside({{Argument::Neighbours, s.neighbours}, {Argument::FitnessWeight, s.fitnessWeight}});
        !problem.empty())
        return problem;
    // 0: no budget of evaluations.
    if (s.evaluations != 0 && !Allowed(Argument::Evaluations, static_cast<double>(s.evaluations)))
        return RangeText(Argument::Evaluations, caller);
    if (static_cast<int>(s.seedGenes.size()) > s.population) {
        return FormatString("%zu seed genes do not fit in a population of %d", s.seedGenes.size(),
                            s.population);
    }
    for (std::size_t i = 0; i < s.seedGenes.size(); ++i) {
        std::string problem = ShapeProblem(s.seedGenes[i], s.maxLength);
        if (!problem.empty()) {
            // A gene given without a file (from Python) is named by its place.
            std::string text = i < s.seedFiles.size() ? "the seed gene " + Printable(s.seedFiles[i], 400)
                                                      : FormatString("seed gene %zu", i + 1);
            text += " cannot be evolved: ";
            return text += problem;
        }
    }
    return {};
}

namespace {

constexpr int kMutationTries = 8;

// A gene's behaviour counts only when all its runs went without an error.
bool Failed(const ScoredGene& gene) { return gene.fitness >= kWorstFitness; }

}  // namespace

Search::Search(SearchSettings s)
    : settings(std::move(s)),
      space(settings.descriptors, settings.grid, settings.maxNodes),
      random(settings.seed) {
    const int n = settings.population;
    const int seeds = static_cast<int>(settings.seedGenes.size());
    for (int i = 0; i < n; ++i) {
        if (seeds == 0) {
            Add(RandomStart(), "random", {});
        } else if (i < seeds) {
            GeneCode gene = settings.seedGenes[static_cast<std::size_t>(i)];
            Normalise(gene);
            Add(std::move(gene), "seed", {});
        } else {
            const std::size_t from = static_cast<std::size_t>(i % seeds);
            GeneCode gene = next[from];
            Mutation(gene);
            Add(std::move(gene), "mutation", {nextOrigins[from].id});
        }
    }
    population = std::move(next);
    origins = std::move(nextOrigins);
}

Search::Search(SearchSettings s, SearchState state)
    : settings(std::move(s)),
      space(settings.descriptors, settings.grid, settings.maxNodes),
      random(state.randomState),
      done(state.done),
      population(std::move(state.population)),
      origins(std::move(state.origins)),
      best(std::move(state.best)),
      lastRuns(std::move(state.lastRuns)),
      evaluations(state.evaluations),
      nextId(state.nextId),
      archive(std::move(state.archive)),
      novelty(std::move(state.novelty)) {}

SearchState Search::State() const {
    return {done, random.State(), population, origins, best, lastRuns, evaluations, nextId, archive, novelty};
}

bool Search::Finished() const {
    return done >= settings.generations || (settings.evaluations > 0 && evaluations >= settings.evaluations);
}

void Search::Mutation(GeneCode& gene) {
    if (settings.algorithm == Algorithm::Ga) {  // today's operator, draw for draw
        Vary(gene, random, settings.maxLength, settings.constantMutation, settings.copyMutation);
        return;
    }
    // A mutation that changes nothing (a new value for a constant's slot in a
    // function, a depth limit hit) would only cost an evaluation.
    const std::string before = CodeString(gene);
    for (int attempt = 0; attempt < kMutationTries; ++attempt) {
        Vary(gene, random, settings.maxLength, settings.constantMutation, settings.copyMutation);
        if (CodeString(gene) != before) return;
    }
}

GeneCode Search::RandomStart() { return MakeRandomGene(settings.init, random, settings.maxLength); }

void Search::Add(GeneCode code, std::string op, std::vector<long long> parents) {
    next.push_back(std::move(code));
    nextOrigins.push_back({nextId++, std::move(op), std::move(parents)});
}

void Search::Score(Evaluator& evaluator, GenerationReport& report) {
    const std::vector<Trial> trials = Trials(settings);
    std::map<std::string, std::vector<EvalResult>> runs(lastRuns.begin(), lastRuns.end());
    // Map-elites breeds from its archive: a child equal to a gene kept there is not grown again.
    if (settings.algorithm == Algorithm::MapElites) {
        for (const auto& [cell, gene] : archive) runs.emplace(CodeString(gene.code), gene.runs);
    }
    std::vector<std::string> codes;
    std::vector<EvalTask> tasks;
    std::vector<std::string> taskGene;
    for (const GeneCode& gene : population) {
        codes.push_back(CodeString(gene));
        if (runs.count(codes.back())) continue;
        runs[codes.back()] = std::vector<EvalResult>(trials.size());
        for (const Trial& trial : trials) {
            EvalTask task;
            task.index = static_cast<int>(tasks.size());
            task.code = codes.back();
            task.seed = trial.seed;
            task.steps = settings.steps;
            task.maxNodes = settings.maxNodes;
            task.goal = trial.goal;
            task.physics = settings.physics;
            task.holdNodes = settings.task.kind == Task::Kind::Size ? settings.task.nodes : 0;
            task.settle = settings.task.kind == Task::Kind::Taxis;
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
    for (std::size_t t = 0; t < tasks.size(); ++t) runs[taskGene[t]][t % trials.size()] = results[t];
    evaluations += static_cast<long long>(tasks.size());

    std::vector<double> distances;
    distances.reserve(trials.size());
    for (const Trial& trial : trials) distances.push_back(GoalDistance(trial.goal));
    scored.clear();
    lastRuns.clear();
    for (std::size_t i = 0; i < population.size(); ++i) {
        ScoredGene gene;
        gene.code = population[i];
        gene.runs = runs[codes[i]];
        gene.fitness = TaskFitness(settings.task, gene.runs, settings.steps,
                                   static_cast<int>(gene.code.size()), settings.lengthPenalty, distances);
        gene.origin = i < origins.size() ? origins[i] : Origin{};
        gene.generation = report.generation;
        lastRuns.emplace_back(codes[i], gene.runs);
        scored.push_back(std::move(gene));
    }
    // Every algorithm files its genes in the grid (map-elites breeds from it);
    // the gene there first keeps its cell against an equal one.
    for (const ScoredGene& gene : scored) {
        if (Failed(gene)) continue;
        const int cell = space.Cell(space.Values(gene.runs));
        auto [at, added] = archive.try_emplace(cell, gene);
        if (!added && gene.fitness < at->second.fitness) at->second = gene;
    }
}

GenerationReport Search::RunGeneration(Evaluator& evaluator) {
    GenerationReport report;
    report.generation = done + 1;
    Score(evaluator, report);

    std::vector<double> fitness;
    fitness.reserve(scored.size());
    for (const ScoredGene& g : scored) fitness.push_back(g.fitness);
    std::sort(fitness.begin(), fitness.end());
    const std::size_t n = fitness.size();
    report.best = fitness.front();
    report.worst = fitness.back();
    report.median = n % 2 ? fitness[n / 2] : (fitness[n / 2 - 1] + fitness[n / 2]) / 2.0;
    report.totalEvaluations = evaluations;
    report.archiveCells = static_cast<int>(archive.size());

    int first = 0;
    for (int i = 1; i < static_cast<int>(scored.size()); ++i) {
        if (RanksBefore(scored[i].fitness, i, scored[first].fitness, first)) first = i;
    }
    best = scored[static_cast<std::size_t>(first)];
    // Map-elites keeps its best gene in the archive, not in the generation:
    // the table's best is the best the search holds, as elitism makes it for the others.
    if (settings.algorithm == Algorithm::MapElites) {
        for (const auto& [cell, gene] : archive) {
            if (gene.fitness < best.fitness) best = gene;
        }
        report.best = best.fitness;
    }
    switch (settings.algorithm) {
        case Algorithm::Ga:
            BreedGa();
            break;
        case Algorithm::MapElites:
            BreedMapElites();
            break;
        case Algorithm::Novelty:
            BreedNovelty();
            break;
    }
    population = std::move(next);
    origins = std::move(nextOrigins);
    next.clear();
    nextOrigins.clear();
    ++done;
    return report;
}

template <class Before>
int Search::Tournament(int n, Before before) {
    int winner = random.Below(n);
    for (int k = 1; k < settings.tournament; ++k) {
        const int other = random.Below(n);
        if (before(other, winner)) winner = other;
    }
    return winner;
}

template <class Before>
void Search::FillByTournaments(Before before) {
    const int n = static_cast<int>(scored.size());
    while (static_cast<int>(next.size()) < settings.population) {
        const ScoredGene& parent = scored[static_cast<std::size_t>(Tournament(n, before))];
        GeneCode child = parent.code;
        std::vector<long long> parents{parent.origin.id};
        std::string op;
        if (random.Chance(settings.crossoverRate)) {
            const ScoredGene& donor = scored[static_cast<std::size_t>(Tournament(n, before))];
            child = Crossover(parent.code, donor.code, random, settings.maxLength);
            parents.push_back(donor.origin.id);
            op = "crossover";
        }
        if (random.Chance(settings.mutationRate)) {
            Mutation(child);
            op += op.empty() ? "mutation" : "+mutation";
        }
        Add(std::move(child), op.empty() ? "copy" : op, std::move(parents));
    }
}

void Search::BreedGa() {
    std::vector<int> order(scored.size());
    std::iota(order.begin(), order.end(), 0);
    auto before = [&](int a, int b) { return RanksBefore(scored[a].fitness, a, scored[b].fitness, b); };
    std::sort(order.begin(), order.end(), before);
    for (int i = 0; i < settings.elite; ++i) {
        const ScoredGene& elite = scored[static_cast<std::size_t>(order[i])];
        Add(elite.code, "elite", {elite.origin.id});
    }
    FillByTournaments(before);
}

int Search::PickCell(const std::vector<const ScoredGene*>& elites) {
    const int n = static_cast<int>(elites.size());
    int winner = random.Below(n);
    for (int k = 1; k < settings.cellTournament; ++k) {
        const int other = random.Below(n);
        if (RanksBefore(elites[other]->fitness, other, elites[winner]->fitness, winner)) winner = other;
    }
    return winner;
}

void Search::BreedMapElites() {
    std::vector<const ScoredGene*> elites;
    for (const auto& [cell, gene] : archive) elites.push_back(&gene);
    const int n = static_cast<int>(elites.size());
    while (static_cast<int>(next.size()) < settings.population) {
        if (n == 0) {  // every gene so far failed: start afresh
            Add(RandomStart(), "random", {});
            continue;
        }
        if (settings.immigrants > 0.0 && random.Chance(settings.immigrants)) {
            Add(RandomStart(), "random", {});
            continue;
        }
        const ScoredGene& parent = *elites[static_cast<std::size_t>(PickCell(elites))];
        GeneCode child = parent.code;
        std::vector<long long> parents{parent.origin.id};
        std::string op;
        if (random.Chance(settings.crossoverRate)) {
            const ScoredGene& donor = *elites[static_cast<std::size_t>(PickCell(elites))];
            child = Crossover(parent.code, donor.code, random, settings.maxLength);
            parents.push_back(donor.origin.id);
            op = "crossover";
        }
        // A copy of a kept gene would only be evaluated again.
        if (random.Chance(settings.mutationRate) || CodeString(child) == CodeString(parent.code)) {
            Mutation(child);
            op += op.empty() ? "mutation" : "+mutation";
        }
        Add(std::move(child), op, std::move(parents));
    }
}

void Search::BreedNovelty() {
    const std::size_t n = scored.size();
    std::vector<std::vector<double>> behaviour(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!Failed(scored[i])) behaviour[i] = space.Values(scored[i].runs);
    }
    // Novelty: the mean distance to the nearest behaviours of the generation
    // and the archive; a gene that failed is the least novel.
    std::vector<double> noveltyOf(n, -1.0);
    std::vector<double> distances;
    for (std::size_t i = 0; i < n; ++i) {
        if (behaviour[i].empty()) continue;
        distances.clear();
        for (std::size_t j = 0; j < n; ++j) {
            if (j != i && !behaviour[j].empty())
                distances.push_back(space.Distance(behaviour[i], behaviour[j]));
        }
        for (const std::vector<double>& point : novelty)
            distances.push_back(space.Distance(behaviour[i], point));
        const std::size_t k = std::min(distances.size(), static_cast<std::size_t>(settings.neighbours));
        std::partial_sort(distances.begin(), distances.begin() + static_cast<std::ptrdiff_t>(k),
                          distances.end());
        double sum = 0.0;
        for (std::size_t m = 0; m < k; ++m) sum += distances[m];
        noveltyOf[i] = k > 0 ? sum / static_cast<double>(k) : 0.0;
    }
    std::vector<int> byNovelty(n), byFitness(n);
    std::iota(byNovelty.begin(), byNovelty.end(), 0);
    std::iota(byFitness.begin(), byFitness.end(), 0);
    auto fitter = [&](int a, int b) { return RanksBefore(scored[a].fitness, a, scored[b].fitness, b); };
    std::sort(byNovelty.begin(), byNovelty.end(), [&](int a, int b) {
        return noveltyOf[a] > noveltyOf[b] || (noveltyOf[a] == noveltyOf[b] && fitter(a, b));
    });
    std::sort(byFitness.begin(), byFitness.end(), fitter);

    // The most novel tenth of the generation joins the archive.
    const std::size_t joining = std::max<std::size_t>(1, n / 10);
    for (std::size_t r = 0; r < joining; ++r) {
        if (!behaviour[byNovelty[r]].empty()) novelty.push_back(behaviour[byNovelty[r]]);
    }

    std::vector<double> cost(n, 0.0);
    const double w = settings.fitnessWeight;
    for (std::size_t r = 0; r < n; ++r) {
        cost[byNovelty[r]] += (1.0 - w) * static_cast<double>(r);
        cost[byFitness[r]] += w * static_cast<double>(r);
    }
    for (int i = 0; i < settings.elite; ++i) {
        const ScoredGene& elite = scored[static_cast<std::size_t>(byFitness[i])];
        Add(elite.code, "elite", {elite.origin.id});
    }
    FillByTournaments(
        [&](int a, int b) { return cost[a] < cost[b] || (cost[a] == cost[b] && fitter(a, b)); });
}

}  // namespace qm::evolve
