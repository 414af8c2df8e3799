// quillmoth-sim evolve as a user runs it: for every algorithm, the same best
// genes, tables and grid with one worker, with more workers than cores and
// across three MPI ranks, and a resumed search that ends where the
// uninterrupted one does; gene
// files that `run` loads and that do what their comment says; and a failed
// evaluation or a lost rank that fails the search and keeps what was complete.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "support/SimProcess.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

using test::Outcome;

// The walking gene of the tests: divides, and of parent and child the one
// farther from the goal dies (they compare their smells through a PULSE).
constexpr const char* kWalker =
    "IFTE ( GT ( GETP 0.5 ) 0 )\n"
    "     ( IFTE ( LT ( GETP 0.7 ) ( GETP 0.5 ) ) DIE\n"
    "            ( PROG2 ( SETP 0.5 0 ) ( PROG2 CUTEDGE ( PROG2 ( SETP 0 1 ) ( GDIVIDE 0 ) ) ) ) )\n"
    "     ( IFTE ( GT ECOUNT 0.9 ) ( PROG2 ( SETP 0 1 ) ( GDIVIDE 0 ) )\n"
    "            ( PROG3 ( SETP 0.7 ( MUL SMELL 5000 ) ) ( SETP 0.5 ( MUL SMELL 10000 ) ) ( PULSE 0.5 ) ) "
    ")\n";

constexpr const char* kSearch =
    "evolve --population 10 --generations 3 --steps 150 --eval-seeds 1,2 --seed 3 --max-length 60 --quiet";

// The table without its last column (evaluations per second is a timing).
std::string TableOf(const std::string& csv) {
    std::istringstream rows(csv);
    std::string row, table;
    while (std::getline(rows, row)) table += row.substr(0, row.rfind(',')) + "\n";
    return table;
}

// A gene file without its comment (which names the folder).
std::string GeneOf(const std::string& file) {
    const std::size_t end = file.find(" >\n");
    return end == std::string::npos ? file : file.substr(end + 3);
}

class EvolveCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* path = test::SimBinary();
        if (!path) GTEST_SKIP() << "QM_SIM names the quillmoth-sim binary; ctest sets it";
        sim = path;
        char name[] = "/tmp/quillmoth-evolve-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        TempFile walker(kWalker);
        std::filesystem::copy_file(walker.PathString(), dir + "/walker.txt");
    }
    void TearDown() override {
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    Outcome Sim(const std::string& arguments) { return test::RunSim(sim, arguments, dir); }
    std::string Read(const std::string& file) const { return ReadFile(dir + "/" + file); }

    // The tables, the grid and every best gene of the search in `out`.
    std::string Result(const std::string& out) const {
        std::string all = TableOf(Read(out + "/generations.csv")) + Read(out + "/individuals.csv") +
                          Read(out + "/archive.csv");
        for (int g = 1; g <= 3; ++g) all += GeneOf(Read(out + "/best/gen-000" + std::to_string(g) + ".txt"));
        return all + GeneOf(Read(out + "/best.txt"));
    }

    std::string sim;
    std::string dir;
};

// Each algorithm from what it starts from best: ga from the walker, the
// others from random genes, each on a task of its own.
struct Algorithm {
    const char* name;
    const char* options;  // after kSearch
    const char* genes;    // seed gene files
};

void PrintTo(const Algorithm& a, std::ostream* os) { *os << a.name; }

class EvolveExactTest : public EvolveCommandTest, public ::testing::WithParamInterface<Algorithm> {
  protected:
    std::string Command(const std::string& more, int generations = 3) const {
        std::string command = std::string(kSearch) + " " + GetParam().options;
        command.replace(command.find("--generations 3"), 15, "--generations " + std::to_string(generations));
        return command + " " + more + " " + GetParam().genes;
    }
};

INSTANTIATE_TEST_SUITE_P(Algorithms, EvolveExactTest,
                         ::testing::Values(Algorithm{"ga", "", "walker.txt"},
                                           Algorithm{"mapElites", "--algorithm map-elites --task height", ""},
                                           Algorithm{"novelty", "--algorithm novelty --task size 6", ""},
                                           Algorithm{"taxis", "--task taxis", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(EvolveExactTest, OneWorkerAndManyWorkersFindTheSameGenesTablesAndGrid) {
    Outcome one = Sim(Command("--workers 1 --out one"));
    ASSERT_EQ(one.status, 0) << one.err;
    Outcome many = Sim(Command("--workers 5 --out many"));
    ASSERT_EQ(many.status, 0) << many.err;
    Outcome cores = Sim(Command("--out cores"));  // one worker per core
    ASSERT_EQ(cores.status, 0) << cores.err;
    const std::string reference = Result("one");
    EXPECT_EQ(Result("many"), reference);
    EXPECT_EQ(Result("cores"), reference);
    const std::string table = Read("one/generations.csv");
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4) << table;
    EXPECT_EQ(Read("one/checkpoint.txt"), Read("many/checkpoint.txt"));
}

#ifdef QM_WITH_MPI
TEST_P(EvolveExactTest, ThreeMpiRanksFindTheSameGenesTablesAndGridAsOneWorker) {
    Outcome one = Sim(Command("--workers 1 --out one"));
    ASSERT_EQ(one.status, 0) << one.err;
    // Leaks of the MPI library itself are not this program's to report.
    const std::string mpirun =
        "mpirun --oversubscribe --allow-run-as-root -np 3 -x ASAN_OPTIONS=detect_leaks=0 ";
    Outcome mpi =
        test::RunSim("/bin/sh", "-c \"" + mpirun + "'" + sim + "' " + Command("--out mpi") + "\"", dir);
    ASSERT_EQ(mpi.status, 0) << mpi.err;
    EXPECT_EQ(Result("mpi"), Result("one"));
}

TEST_F(EvolveCommandTest, ALostRankFailsTheJobAndLeavesNoGeneration) {
    const std::string mpirun =
        "mpirun --oversubscribe --allow-run-as-root -np 3 -x ASAN_OPTIONS=detect_leaks=0 -x "
        "QM_EVOLVE_FAULT=rank:2 ";
    Outcome mpi = test::RunSim(
        "/bin/sh", "-c \"" + mpirun + "'" + sim + "' " + kSearch + " --out mpi walker.txt\"", dir);
    EXPECT_NE(mpi.status, 0);
    // The launcher names the lost rank. Rank 0's own line (which generations the folder keeps) comes
    // from its signal handler and is lost when the launcher stops forwarding output first.
    EXPECT_NE(mpi.err.find("process rank 2"), std::string::npos) << mpi.err;
    EXPECT_EQ(Read("mpi/generations.csv").find('\n'), Read("mpi/generations.csv").size() - 1);
    EXPECT_FALSE(std::filesystem::exists(dir + "/mpi/checkpoint.txt"));
}
#endif

TEST_P(EvolveExactTest, AResumedSearchEndsExactlyWhereTheWholeOneDoes) {
    ASSERT_EQ(Sim(Command("--out whole")).status, 0);
    ASSERT_EQ(Sim(Command("--out parts", 2)).status, 0);
    Outcome resumed = Sim("evolve --resume parts --generations 3");
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_NE(resumed.out.find("resuming at generation 3 of 3"), std::string::npos) << resumed.out;
    EXPECT_EQ(Result("parts"), Result("whole"));
    EXPECT_EQ(Read("parts/checkpoint.txt"), Read("whole/checkpoint.txt"));
}

TEST_F(EvolveCommandTest, AFailedEvaluationFailsTheSearchAndKeepsEveryCompleteGeneration) {
    std::string firstTwo = std::string(kSearch);
    firstTwo.replace(firstTwo.find("--generations 3"), 15, "--generations 2");
    ASSERT_EQ(Sim(firstTwo + " --out lost walker.txt").status, 0);
    ASSERT_EQ(Sim(std::string(kSearch) + " --out whole walker.txt").status, 0);
    const std::string kept = Read("lost/checkpoint.txt");

    Outcome lost = test::RunSim(
        "/usr/bin/env", "QM_EVOLVE_FAULT=worker:1 '" + sim + "' evolve --resume lost --generations 3", dir);
    EXPECT_EQ(lost.status, 1);
    EXPECT_NE(lost.err.find("an evaluation failed: a fault was injected"), std::string::npos) << lost.err;
    EXPECT_NE(
        lost.err.find("the search ended in generation 3; lost holds generations 1 to 2: quillmoth-sim evolve "
                      "--resume lost goes on from there"),
        std::string::npos)
        << lost.err;
    EXPECT_EQ(Read("lost/checkpoint.txt"), kept);
    // The table may hold nothing of the lost generation, and going on gives the whole search's result.
    ASSERT_EQ(Sim("evolve --resume lost --generations 3 --quiet").status, 0);
    EXPECT_EQ(Result("lost"), Result("whole"));
}

TEST_P(EvolveExactTest, TheBestGeneFileRunsAsItsCommentSays) {
    ASSERT_EQ(Sim(Command("--out s")).status, 0);
    const std::string file = Read("s/best.txt");
    std::smatch shown, outcome;
    ASSERT_TRUE(
        std::regex_search(file, shown, std::regex(R"(Shown by: quillmoth-sim (run [^\n]*s/best\.txt)\n)")))
        << file;
    ASSERT_TRUE(std::regex_search(file, outcome, std::regex(R"(exit status (\d)\))"))) << file;
    Outcome run = Sim(shown[1].str() + " --quiet --log run.log");
    EXPECT_EQ(run.status, std::stoi(outcome[1])) << run.out << run.err;
    // The search's own command line reproduces it.
    std::smatch found;
    ASSERT_TRUE(std::regex_search(
        file, found, std::regex(R"(Found by: quillmoth-sim (evolve [^\n]*) --out s( walker\.txt)? >)")))
        << file;
    ASSERT_EQ(Sim(found[1].str() + " --out again --quiet " + GetParam().genes).status, 0);
    EXPECT_EQ(GeneOf(Read("again/best.txt")), GeneOf(file));
}

TEST_F(EvolveCommandTest, AFolderWithASearchIsNotOverwrittenAndResumeTakesNoSearchOptionsNorBrokenRules) {
    ASSERT_EQ(Sim(std::string(kSearch) + " --out s walker.txt").status, 0);
    Outcome again = Sim(std::string(kSearch) + " --out s walker.txt");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("s holds a search already: continue it with --resume s, or give another --out"),
              std::string::npos)
        << again.err;
    Outcome mixed = Sim("evolve --resume s --seed 4");
    EXPECT_EQ(mixed.status, 2);
    EXPECT_NE(mixed.err.find("--seed cannot be given with it"), std::string::npos) << mixed.err;
    // A checkpoint is held to the command line's rules: what the options refuse, it may not hold.
    const std::string kept = Read("s/checkpoint.txt");
    struct Broken {
        std::regex line;
        std::string replaced, refusal;
    } cases[] = {
        {std::regex("\ntournament \\d+\n"), "\ntournament 2147483647\n",
         " breaks the command line's rules: --tournament must lie between 1 and 1000000"},
        {std::regex("\ngoal [^\n]*\n"), "\ngoal nan 0 0\n",
         " breaks the command line's rules: --goal takes three finite numbers"},
        {std::regex("\neval-seeds 1 2\n"), "\neval-seeds 1 -1\n",
         ", line 5, \"eval-seeds\" needs whole numbers from 0 to 4294967295"},
        {std::regex("\nalgorithm ga\n"), "\nalgorithm evolution\n", ", line 16, names no algorithm"},
        {std::regex("\ndescriptors [^\n]*\n"), "\ndescriptors nodes speed\n",
         " breaks the command line's rules: --descriptors: no descriptor 'speed'"},
    };
    for (const Broken& c : cases) {
        std::ofstream(dir + "/s/checkpoint.txt", std::ios::trunc)
            << std::regex_replace(kept, c.line, c.replaced);
        Outcome resumed = Sim("evolve --resume s --generations 4 --quiet");
        EXPECT_EQ(resumed.status, 2) << c.refusal;
        EXPECT_NE(resumed.err.find("the checkpoint s/checkpoint.txt" + c.refusal), std::string::npos)
            << resumed.err;
    }
    Outcome bad = Sim("evolve --out t --max-length 20 walker.txt");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(
        bad.err.find("the seed gene walker.txt cannot be evolved: the gene has 47 elements; the limit is 20"),
        std::string::npos)
        << bad.err;
}

}  // namespace
}  // namespace qm
