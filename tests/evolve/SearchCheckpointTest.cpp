// The checkpoint holds the whole search: settings and state read back
// exactly, and a damaged file is refused with its line.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "evolve/SearchCheckpoint.h"
#include "evolve/SearchError.h"
#include "evolve/Variation.h"
#include "support/TestFiles.h"

namespace qm::evolve {
namespace {

class CheckpointTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/quillmoth-checkpoint-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        path = dir + "/checkpoint.txt";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string dir, path;
};

TEST_F(CheckpointTest, EverySettingAndTheWholeStateReadBackExactly) {
    SearchRandom random(4);
    SearchSettings s;
    s.population = 3;
    s.generations = 9;
    s.steps = 1234;
    s.evalSeeds = {7, 4294967295u};
    s.seed = 99;
    s.goal = Vector3{0.1f, -25.0f, 250.5f};
    s.maxNodes = 77;
    s.maxLength = 60;
    s.tournament = 4;
    s.elite = 1;
    s.crossoverRate = 0.7;
    s.mutationRate = 1.0 / 3.0;
    s.lengthPenalty = 0.0015;
    s.physics.drag = 0.1f / 3.0f;
    s.physics.linkLengthMax = 7.0 / 3.0 + 4.0;
    s.seedFiles = {"genes/a walker.txt"};
    s.seedGenes = {RandomGene(random, 20)};
    SearchState state;
    state.done = 5;
    state.randomState = 4000000000u;
    for (int i = 0; i < 3; ++i) state.population.push_back(RandomGene(random, 30));
    state.best.code = state.population[1];
    state.best.fitness = 1.0 / 7.0;
    state.best.runs = {{EvalResult::Outcome::GoalReached, 812, 1.25, 2},
                       {EvalResult::Outcome::Completed, 1234, 0.1, 3}};
    state.lastRuns = {{CodeString(state.population[0]), state.best.runs}};
    s.algorithm = Algorithm::Novelty;
    s.task = Task{Task::Kind::Size, 40};
    s.descriptors = {"dz", "height", "nodes"};
    s.fitnessWeight = 0.1;
    s.evaluations = 123456789012LL;
    state.origins = {{7, "crossover+mutation", {3, 5}}, {8, "random", {}}, {9, "elite", {2}}};
    state.nextId = 10;
    state.evaluations = 4242;
    state.archive[17] = state.best;
    state.archive[17].origin = state.origins[0];
    state.novelty = {{0.5, -1.0 / 3.0, 40.0}};
    s.copyMutation = 0.2;
    s.immigrants = 1.0 / 3.0;
    s.cellTournament = 5;
    s.goals = {{0.0f, -25.0f, 250.0f}, {-1.0f / 3.0f, -25.0f, 1e-7f}};  // with two seeds: two runs a gene

    SaveCheckpoint(path, s, state);
    const Checkpoint c = LoadCheckpoint(path);
    // Writing what was read gives the same file, byte for byte.
    SaveCheckpoint(dir + "/again.txt", c.settings, c.state);
    EXPECT_EQ(ReadFile(dir + "/again.txt"), ReadFile(path));
    EXPECT_EQ(c.settings.mutationRate, 1.0 / 3.0);
    EXPECT_EQ(c.settings.physics, s.physics);
    EXPECT_EQ(c.settings.goal->x, 0.1f);
    EXPECT_EQ(c.settings.seedFiles[0], "genes/a walker.txt");
    EXPECT_EQ(c.state.best.fitness, 1.0 / 7.0);
    EXPECT_EQ(c.state.randomState, 4000000000u);
    EXPECT_EQ(CodeString(c.state.population[2]), CodeString(state.population[2]));
    EXPECT_EQ(c.state.lastRuns.size(), 1u);
    EXPECT_EQ(c.settings.task, s.task);
    EXPECT_EQ(c.state.origins[0].parents, (std::vector<long long>{3, 5}));
    EXPECT_EQ(c.state.novelty, state.novelty);
    EXPECT_EQ(c.state.archive.at(17).runs[0].steps, 812);
    EXPECT_EQ(c.settings.goals[1].x, -1.0f / 3.0f);
    EXPECT_EQ(c.settings.cellTournament, 5);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

    // A checkpoint of format 3 (before the taxis task) still reads: no copies, immigrants or placements.
    std::string three = ReadFile(path);
    three.replace(three.find("checkpoint 4"), 12, "checkpoint 3");
    const std::size_t from = three.find("copy-mutation"), to = three.find("seed-genes");
    three.erase(from, to - from);
    { std::ofstream(path, std::ios::binary) << three; }
    const Checkpoint old = LoadCheckpoint(path);
    EXPECT_TRUE(old.settings.goals.empty());
    EXPECT_EQ(old.settings.copyMutation, 0.0);
    EXPECT_EQ(old.settings.cellTournament, 1);
    EXPECT_EQ(old.state.archive.at(17).runs.size(), 2u);
}

TEST_F(CheckpointTest, ACutOrDamagedCheckpointIsRefusedWithItsLine) {
    SearchRandom random(4);
    SearchSettings s;
    s.population = 2;
    SearchState state;
    state.done = 1;
    state.population = {RandomGene(random, 10), RandomGene(random, 10)};
    SaveCheckpoint(path, s, state);
    const std::string whole = ReadFile(path);

    auto refusal = [&](const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        try {
            LoadCheckpoint(path);
        } catch (const SearchError& e) {
            return e.message;
        }
        return std::string("accepted");
    };
    // Cut before its last line: the search would lose its population silently.
    EXPECT_NE(refusal(whole.substr(0, whole.rfind("end"))).find("ends early; expected \"end\""),
              std::string::npos);
    std::string damaged = whole;
    damaged.replace(damaged.find("steps 1000"), 10, "steps lots");
    EXPECT_NE(refusal(damaged).find("line 4, \"steps\" needs a whole number"), std::string::npos)
        << refusal(damaged);
    EXPECT_NE(refusal("hello\n").find("line 1"), std::string::npos);
    // A Python search's fitness is a function the command line does not have.
    std::string python = whole;
    python.replace(python.find("task goal"), 9, "task python");
    EXPECT_NE(refusal(python).find("is a Python function"), std::string::npos) << refusal(python);
    EXPECT_THROW(LoadCheckpoint(dir + "/none.txt"), SearchError);
}

}  // namespace
}  // namespace qm::evolve
