#pragma once
// What a search leaves in its folder, and the line it prints per generation:
//   DIR/generations.csv     one row per generation
//   DIR/individuals.csv     one row per gene of every generation: its origin, fitness and behaviour
//   DIR/archive.csv         the behaviour grid: the fittest gene of every cell filled
//   DIR/best/gen-NNNN.txt   the best gene of each generation, as gene source
//   DIR/best.txt            the best gene of the last generation
//   DIR/checkpoint.txt      the state to resume from (SearchCheckpoint.h)
//   DIR/search.lock         locked while a search runs in the folder

#include <string>

#include "evolve/Search.h"

namespace qm::evolve {

inline constexpr const char* kGenerationsHeader =
    "generation,best,median,worst,best_length,best_nodes,best_closest,best_goal_seeds,evaluations,"
    "total_evaluations,archive_cells,evaluations_per_second\n";

class SearchOutput {
  public:
    explicit SearchOutput(std::string dir);
    ~SearchOutput();
    SearchOutput(const SearchOutput&) = delete;
    SearchOutput& operator=(const SearchOutput&) = delete;

    // Holds DIR/search.lock locked (flock) until the search ends, made with
    // the folder for a new search: a second search on the folder is refused
    // (SearchError, refused) before it writes anything.
    void Lock(bool create);

    // A new search: makes the folders; refuses a folder that holds a search already.
    void Create() const;
    // A new search: the headers of the tables of genes and the grid.
    void Begin(const Search& search) const;
    // A resumed search: the tables keep the rows of the generations the checkpoint holds.
    void TrimTables(const Search& search) const;

    // Writes the rows, the grid, the best gene's files, then the checkpoint.
    void Record(const Search& search, const GenerationReport& report) const;

    std::string CheckpointPath() const { return dir + "/checkpoint.txt"; }
    std::string GeneFilePath(int generation) const;
    const std::string& Dir() const { return dir; }

  private:
    std::string dir;
    int lock = -1;
};

// The line printed after each generation.
std::string ProgressLine(const Search& search, const GenerationReport& report);

// The gene file of a generation's best gene: a comment with the command that
// shows it and the command that found it, then the gene source.
std::string GeneFileText(const SearchSettings& settings, const std::string& dir, int generation,
                         const ScoredGene& gene, const std::string& path);

// The evaluation of the gene that came out best (the goal soonest, else the
// closest approach): its place among the evaluation seeds.
std::size_t BestRun(const ScoredGene& gene);

// The `run` command that grows the gene of `path` as its evaluation with `seed` did.
std::string ShowCommand(const SearchSettings& settings, const std::string& path, const Trial& trial);

// The `evolve` command that reaches the search's state after `generations`
// generations, every option that changes a result written out.
std::string FoundByCommand(const SearchSettings& settings, const std::string& dir, int generations);

// The shortest decimal text that reads back as exactly v.
std::string ExactDecimal(double v);

}  // namespace qm::evolve
