#pragma once
// The evolutionary search: a population of genes, each grown once per
// evaluation seed and ranked by its fitness (Fitness.h); the next generation
// keeps the best few as they are (elitism) and fills the rest with children
// of tournament winners, made by subtree crossover and the gene code's own
// mutation. Everything random comes from the search's own generator, and
// evaluations depend on their task alone, so the same settings give the same
// generations however many processes evaluate them.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "evolve/Evaluator.h"
#include "evolve/GeneCode.h"
#include "evolve/SearchRandom.h"
#include "math/D3dxTypes.h"
#include "node/Physics.h"

namespace qm::evolve {

struct SearchSettings {
    int population = 64;
    int generations = 20;
    long long steps = 1000;  // world steps per evaluation
    std::vector<std::uint32_t> evalSeeds{1};
    std::uint32_t seed = 1;  // the search's own random numbers
    std::optional<Vector3> goal;
    int maxNodes = 1000;
    int maxLength = 50;
    int tournament = 3;
    int elite = 2;
    double crossoverRate = 0.7;
    double mutationRate = 0.9;
    double lengthPenalty = 0.001;
    Physics physics;                     // of every evaluation
    std::vector<std::string> seedFiles;  // as the user named them
    std::vector<GeneCode> seedGenes;     // what they held when the search began
};

// The most of each setting that the command line takes; a checkpoint may
// hold no more.
inline constexpr int kMaxPopulation = 1000000;
inline constexpr int kMaxGenerations = 100000000;
inline constexpr long long kMaxSearchSteps = 1000000000000LL;
inline constexpr int kMaxTournament = 1000000;

// Empty when the settings keep the command line's rules; otherwise which
// option is wrong and how (a checkpoint is held to the same rules).
std::string SettingsProblem(const SearchSettings& settings);

struct ScoredGene {
    GeneCode code;
    double fitness = 0.0;
    std::vector<EvalResult> runs;  // one per evaluation seed
};

struct GenerationReport {
    int generation = 0;
    double best = 0.0, median = 0.0, worst = 0.0;
    int evaluations = 0;  // runs this generation needed (genes seen in the last generation are not run again)
    double seconds = 0.0;
    double evaluationsPerSecond = 0.0;
};

// Runs of genes by code string, one per evaluation seed.
using KnownRuns = std::vector<std::pair<std::string, std::vector<EvalResult>>>;

// Everything a search carries from one generation to the next (what a
// checkpoint holds besides the settings).
struct SearchState {
    int done = 0;  // generations evaluated so far
    std::uint32_t randomState = 0;
    std::vector<GeneCode> population;  // the next to evaluate
    ScoredGene best;                   // the best of the last generation evaluated
    // The runs of the last generation's genes: elites and unchanged children
    // are not grown again (their runs would be the same).
    KnownRuns lastRuns;
};

class Search {
  public:
    // A new search: the first generation is the seed genes, mutated copies
    // of them up to the population size, or random genes when there are none.
    explicit Search(SearchSettings settings);

    // A search taken up where a checkpoint left it (SearchCheckpoint.h).
    Search(SearchSettings settings, SearchState state);

    // Evaluates the current population, ranks it and breeds the next one.
    GenerationReport RunGeneration(Evaluator& evaluator);

    const SearchSettings& Settings() const { return settings; }
    // Only the number of generations may change on the way (a resumed search goes on further).
    void SetGenerations(int generations) { settings.generations = generations; }
    SearchState State() const;
    int Done() const { return done; }
    const ScoredGene& Best() const { return best; }

  private:
    std::vector<ScoredGene> Score(Evaluator& evaluator, GenerationReport& report);
    void Breed(const std::vector<ScoredGene>& scored);
    int Tournament(const std::vector<ScoredGene>& scored);

    SearchSettings settings;
    SearchRandom random;
    int done = 0;
    std::vector<GeneCode> population;
    ScoredGene best;
    KnownRuns lastRuns;
};

// True when a ranks before b: lower fitness, then the earlier place.
inline bool RanksBefore(double fitnessA, int placeA, double fitnessB, int placeB) {
    return fitnessA < fitnessB || (fitnessA == fitnessB && placeA < placeB);
}

}  // namespace qm::evolve
