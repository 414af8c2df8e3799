#pragma once
// The evolutionary search: generations of genes, each grown once per
// evaluation seed and scored by the task's fitness (Task.h). How the next
// generation is made is the algorithm's:
//   ga          the best few kept as they are (elitism), the rest children of
//               tournament winners, made by subtree crossover and mutation;
//   map-elites  children of genes drawn at random from the archive, a grid
//               over the behaviour descriptors (Behaviour.h) whose every cell
//               keeps the fittest gene that fell into it;
//   novelty     as ga, but tournaments are won by novelty (the mean distance
//               of a behaviour to its nearest neighbours in the generation and
//               the novelty archive), mixed with the fitness rank by a weight.
// Everything random comes from the search's own generator, and evaluations
// depend on their task alone, so the same settings give the same generations
// however many processes evaluate them.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Physics.h"
#include "evolve/ArgumentRules.h"
#include "evolve/Behaviour.h"
#include "evolve/Evaluator.h"
#include "evolve/GeneCode.h"
#include "evolve/SearchRandom.h"
#include "evolve/Task.h"
#include "math/D3dxTypes.h"

namespace qm::evolve {

enum class Algorithm { Ga, MapElites, Novelty };
std::optional<Algorithm> ParseAlgorithm(const std::string& name);
const char* AlgorithmName(Algorithm algorithm);

// How random genes are made: the gene code's own random tree (grow),
// RampedGene or MotifGene (Motifs.h).
enum class Init { Grow, Ramped, Motifs };
std::optional<Init> ParseInit(const std::string& name);
const char* InitName(Init init);

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
    Algorithm algorithm = Algorithm::Ga;
    Task task;
    std::vector<std::string> descriptors{"closest", "nodes"};
    int grid = 25;  // cells per descriptor
    Init init = Init::Grow;
    double constantMutation = 0.0;  // share of mutations that move a constant (Vary)
    double copyMutation = 0.0;      // share of the other mutations that copy within the gene (Vary)
    double immigrants = 0.0;        // map-elites: share of each batch made as new random genes
    int cellTournament = 1;         // map-elites: a parent is the fittest of this many cells drawn
    // Task taxis: where the goal is put, each gene grown once per placement
    // and evaluation seed; empty for the other tasks (one run per seed).
    std::vector<Vector3> goals;
    int neighbours = 15;         // novelty: how many nearest behaviours it averages
    double fitnessWeight = 0.5;  // novelty: weight of the fitness rank against the novelty rank
    long long evaluations = 0;   // the budget of runs; 0: none, the generations decide

    // The defaults of the settings whose default depends on the task and the
    // algorithm, for those the caller did not give (`given` is asked the
    // setting's name as the command line spells it without its dashes:
    // "algorithm", "init", ...). Task taxis brings its recipe (docs/evolve.md):
    // map-elites over taxis and moved, motif genes, seeds 1 and 2, the four
    // placements around the start, a node cap of 400, genes of up to 80
    // elements, a length penalty of 0.00001, half of every batch new random
    // genes and parents drawn as the fittest of 5 cells. ga keeps the gene code's own random genes and
    // mutation.
    void SetDefaults(const std::function<bool(std::string_view)>& given);
};

// One run of a gene: the goal it is grown with (the world's own when not
// set) and the evaluation seed. Without placements a gene is grown once per
// seed; with them (task taxis) max(placements, seeds) times, run r with
// placement r mod P on seed r mod S.
struct Trial {
    std::optional<Vector3> goal;
    std::uint32_t seed = 1;
};
// The runs every gene gets, in the order of its results.
std::vector<Trial> Trials(const SearchSettings& settings);
// The horizontal distance from the start (the origin) to a goal (the default goal when not set).
double GoalDistance(std::optional<Vector3> goal);
// A random gene made the way `init` names.
GeneCode MakeRandomGene(Init init, SearchRandom& random, int maxLength);
// The four placements of the taxis task: `goal` (the default goal when not
// set) and its turns by a quarter, a half and three quarters around the
// vertical through the start.
std::vector<Vector3> AroundTheStart(std::optional<Vector3> goal);

// The most of each setting that the command line takes; a checkpoint may
// hold no more.
inline constexpr int kMaxPopulation = 1000000;
inline constexpr int kMaxGenerations = 100000000;
inline constexpr long long kMaxSearchSteps = 1000000000000LL;
inline constexpr int kMaxTournament = 1000000;
inline constexpr long long kMaxEvaluations = 1000000000000LL;
inline constexpr int kMaxGridCells = 1000000;  // cells of the whole grid
// Gene ids stay exact as doubles, so every table reader keeps them whole.
inline constexpr long long kMaxGeneId = 1LL << 53;
inline constexpr int kMaxDescriptors = 3;
inline constexpr int kMaxGoals = 64;  // goal placements of a taxis search

// Empty when the settings keep the rules of ArgumentRules.h; otherwise
// which setting is wrong and how, named as `caller` names it (a checkpoint
// is held to the same rules).
std::string SettingsProblem(const SearchSettings& settings, Caller caller = Caller::CommandLine);

// Where a gene came from: its number in the search, how it was made
// ("seed", "random", "elite", "copy", "mutation", "crossover",
// "crossover+mutation") and the numbers of its parents.
struct Origin {
    long long id = 0;
    std::string op;
    std::vector<long long> parents;
};

struct ScoredGene {
    GeneCode code;
    double fitness = 0.0;
    std::vector<EvalResult> runs;  // one per evaluation seed
    Origin origin;
    int generation = 0;  // in which it was evaluated
};

// The behaviour grid: by cell (BehaviourSpace::Cell), the fittest gene that fell into it.
using Archive = std::map<int, ScoredGene>;

struct GenerationReport {
    int generation = 0;
    double best = 0.0, median = 0.0, worst = 0.0;
    int evaluations = 0;  // runs this generation needed (genes seen in the last generation are not run again)
    long long totalEvaluations = 0;  // runs since the search began
    int archiveCells = 0;            // cells of the behaviour grid filled so far
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
    std::vector<Origin> origins;       // theirs, in the same order
    ScoredGene best;  // the best of the last generation evaluated (map-elites: of the archive)
    // The runs of the last generation's genes: elites and unchanged children
    // are not grown again (their runs would be the same).
    KnownRuns lastRuns;
    long long evaluations = 0;  // runs so far
    long long nextId = 0;       // of the next gene made
    Archive archive;
    std::vector<std::vector<double>> novelty;  // the behaviours of the novelty archive
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
    SearchState State() const;
    int Done() const { return done; }
    // Every generation ran, or the budget of evaluations is spent.
    bool Finished() const;
    const ScoredGene& Best() const { return best; }
    // The generation evaluated last, in its order (empty before the first).
    const std::vector<ScoredGene>& Generation() const { return scored; }
    const Archive& Grid() const { return archive; }
    const BehaviourSpace& Space() const { return space; }

  private:
    void Score(Evaluator& evaluator, GenerationReport& report);
    void BreedGa();
    void BreedMapElites();
    // A cell of the archive: the fittest of settings.cellTournament drawn at random.
    int PickCell(const std::vector<const ScoredGene*>& elites);
    void BreedNovelty();
    // The winner of a tournament among n entrants; before(a, b) ranks two.
    template <class Before>
    int Tournament(int n, Before before);
    // Fills the next generation up with children of tournament winners.
    template <class Before>
    void FillByTournaments(Before before);
    GeneCode RandomStart();
    // One mutation (Vary); map-elites and novelty try again while it changes nothing.
    void Mutation(GeneCode& gene);
    void Add(GeneCode code, std::string op, std::vector<long long> parents);

    SearchSettings settings;
    BehaviourSpace space;
    SearchRandom random;
    int done = 0;
    std::vector<GeneCode> population;
    std::vector<Origin> origins;
    ScoredGene best;
    KnownRuns lastRuns;
    long long evaluations = 0;
    long long nextId = 0;
    Archive archive;
    std::vector<std::vector<double>> novelty;
    std::vector<ScoredGene> scored;
    std::vector<GeneCode> next;  // the generation being bred
    std::vector<Origin> nextOrigins;
};

// True when a ranks before b: lower fitness, then the earlier place.
inline bool RanksBefore(double fitnessA, int placeA, double fitnessB, int placeB) {
    return fitnessA < fitnessB || (fitnessA == fitnessB && placeA < placeB);
}

}  // namespace qm::evolve
