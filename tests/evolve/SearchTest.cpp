// The search loop on a stand-in evaluator whose results depend on the gene
// alone: elitism, the reuse of known runs, the grid and lineage of the
// quality-diversity searches, and a resumed search of every algorithm that
// goes on exactly as the uninterrupted one.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "evolve/Search.h"
#include "evolve/SearchCheckpoint.h"
#include "evolve/SearchError.h"

namespace qm::evolve {
namespace {

// "Closest approach" made from the code string and the seed: the search sees
// a rugged landscape, the same for the same gene.
class HashEvaluator final : public Evaluator {
  public:
    std::vector<EvalResult> Evaluate(const std::vector<Evaluation>& tasks) override {
        std::vector<EvalResult> results;
        for (const Evaluation& t : tasks) {
            const std::size_t h = std::hash<std::string>{}(t.code + "/" + std::to_string(t.seed));
            EvalResult r;
            r.steps = t.steps;
            r.closest = static_cast<double>(h % 100000) / 100.0;
            r.nodes = static_cast<int>(h / 100000 % 1000);
            if (h % 17 == 0) r.outcome = EvalResult::Outcome::Error;
            results.push_back(r);
        }
        evaluated += static_cast<int>(tasks.size());
        return results;
    }
    std::string Describe() const override { return "hashes"; }
    int evaluated = 0;
};

SearchSettings Small() {
    SearchSettings s;
    s.population = 12;
    s.generations = 6;
    s.steps = 100;
    s.evalSeeds = {1, 2};
    s.seed = 21;
    s.maxLength = 25;
    return s;
}

std::string Fingerprint(const Search& search) {
    std::string text = std::to_string(search.Done()) + ":" + std::to_string(search.State().randomState);
    for (const GeneCode& g : search.State().population) text += "|" + CodeString(g);
    for (const auto& [cell, gene] : search.Grid())
        text += "|" + std::to_string(cell) + ":" + CodeString(gene.code);
    text += "|" + std::to_string(search.State().novelty.size()) + "|" + std::to_string(search.State().nextId);
    return text + "|best " + CodeString(search.Best().code);
}

SearchSettings Small(Algorithm algorithm) {
    SearchSettings s = Small();
    s.algorithm = algorithm;
    s.SetDefaults([](std::string_view) { return false; });
    return s;
}

constexpr Algorithm kAlgorithms[] = {Algorithm::Ga, Algorithm::MapElites, Algorithm::Novelty};

TEST(SearchTest, TheBestNeverGetsWorseAndEliteGenesAreNotGrownAgain) {
    HashEvaluator evaluator;
    Search search(Small());
    double best = kWorstFitness * 2;
    for (int g = 1; g <= 6; ++g) {
        const int before = evaluator.evaluated;
        GenerationReport report = search.RunGeneration(evaluator);
        EXPECT_EQ(report.generation, g);
        EXPECT_LE(report.best, best);
        EXPECT_LE(report.best, report.median);
        EXPECT_LE(report.median, report.worst);
        EXPECT_EQ(report.best, search.Best().fitness);
        best = report.best;
        // Two seeds per new gene; the two elites (at least) were known already.
        EXPECT_EQ(report.evaluations, evaluator.evaluated - before);
        EXPECT_EQ(report.evaluations % 2, 0);
        if (g > 1) {
            EXPECT_LE(report.evaluations, 2 * (12 - 2));
        }
        for (const GeneCode& gene : search.State().population) EXPECT_EQ(ShapeProblem(gene, 25), "");
    }
}

TEST(SearchTest, AResumedSearchGoesOnExactlyAsTheUninterruptedOne) {
    const std::string dir = std::filesystem::temp_directory_path() / "quillmoth-search-test";
    std::filesystem::create_directories(dir);
    for (Algorithm algorithm : kAlgorithms) {
        SCOPED_TRACE(AlgorithmName(algorithm));
        HashEvaluator evaluator;
        Search whole(Small(algorithm));
        for (int g = 0; g < 6; ++g) whole.RunGeneration(evaluator);

        Search first(Small(algorithm));
        for (int g = 0; g < 3; ++g) first.RunGeneration(evaluator);
        SaveCheckpoint(dir + "/c.txt", first.Settings(), first.State());
        Checkpoint c = LoadCheckpoint(dir + "/c.txt");
        Search resumed(c.settings, c.state);
        HashEvaluator counting;
        std::vector<int> counts;
        for (int g = 0; g < 3; ++g) counts.push_back(resumed.RunGeneration(counting).evaluations);
        EXPECT_EQ(Fingerprint(resumed), Fingerprint(whole));
        // The elites' runs came back with the checkpoint (map-elites makes no copies).
        if (algorithm != Algorithm::MapElites) {
            EXPECT_LT(counts[0], 2 * 12);
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(SearchTest, TheGridKeepsTheFittestOfEachCellAndEveryGeneKnowsItsParents) {
    for (Algorithm algorithm : kAlgorithms) {
        SCOPED_TRACE(AlgorithmName(algorithm));
        SearchSettings s = Small(algorithm);
        s.evaluations = 100;
        s.generations = kMaxGenerations;
        HashEvaluator evaluator;
        Search search(s);
        long long lastId = -1;
        std::size_t archived = 0;
        while (!search.Finished()) {
            const GenerationReport report = search.RunGeneration(evaluator);
            EXPECT_EQ(report.totalEvaluations, evaluator.evaluated);
            EXPECT_EQ(report.archiveCells, static_cast<int>(search.Grid().size()));
            for (const ScoredGene& gene : search.Generation()) {
                EXPECT_GT(gene.origin.id, lastId);  // numbered in the order made
                lastId = gene.origin.id;
                for (long long parent : gene.origin.parents) EXPECT_LT(parent, gene.origin.id);
                if (gene.fitness >= kWorstFitness) continue;
                const auto kept = search.Grid().find(search.Space().Cell(search.Space().Values(gene.runs)));
                ASSERT_NE(kept, search.Grid().end());
                EXPECT_LE(kept->second.fitness, gene.fitness);
            }
            // Novelty files the most novel tenth (at least one) of each generation.
            if (algorithm == Algorithm::Novelty) {
                EXPECT_EQ(search.State().novelty.size(), archived += 1);
            }
        }
        // The budget ends the search in the generation that reaches it.
        EXPECT_GE(evaluator.evaluated, 100);
        EXPECT_LT(evaluator.evaluated - 2 * 12, 100);
    }
}

TEST(SearchTest, SeedGenesStartTheFirstGenerationAndBadOnesAreRefused) {
    SearchSettings s = Small();
    s.seedGenes = {ParseCode("2,7+0,1+0,2+"), ParseCode("0,1+")};
    s.seedFiles = {"a.txt", "b.txt"};
    EXPECT_EQ(SettingsProblem(s), "");
    Search search(s);
    const std::vector<GeneCode>& first = search.State().population;
    EXPECT_EQ(CodeString(first[0]), "2,7+0,1+0,2+");
    EXPECT_EQ(CodeString(first[1]), "0,1+");
    EXPECT_EQ(first.size(), 12u);

    s.seedGenes.push_back(ParseCode("0,0,1+0,0,2+2,9+"));  // balances, but is no tree
    s.seedFiles.push_back("c.txt");
    EXPECT_EQ(SettingsProblem(s).rfind(
                  "the seed gene c.txt cannot be evolved: the gene is not one complete tree", 0),
              0u)
        << SettingsProblem(s);
    s = Small();
    s.elite = 12;
    EXPECT_NE(SettingsProblem(s), "");
}

}  // namespace
}  // namespace qm::evolve
