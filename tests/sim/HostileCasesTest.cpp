// The red team's cases against quillmoth-sim, one row each: what is set up,
// the command, the exit status and what standard error must say. Inputs
// that never end are FIFOs in the test's own folder.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>

#include "support/SimProcess.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

class HostileCasesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* path = test::SimBinary();
        if (!path) GTEST_SKIP() << "QM_SIM names the quillmoth-sim binary; ctest sets it";
        sim = path;
        const char* data = std::getenv("QM_DATA");
        if (!data) GTEST_SKIP() << "QM_DATA names the data folder; ctest sets it";
        genes = std::string(data) + "/genes/";
        char name[] = "/tmp/quillmoth-hostile-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override {
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
    std::string In(const std::string& file) const { return dir + "/" + file; }
    void Fifo(const std::string& name) const { ASSERT_EQ(mkfifo(In(name).c_str(), 0600), 0) << name; }
    test::Outcome Sim(const std::string& arguments) const { return test::RunSim(sim, arguments, dir); }
    void Put(const std::string& name, const std::string& text) const {
        std::FILE* f = std::fopen(In(name).c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }

    std::string sim;
    std::string genes;
    std::string dir;
};

// The highest and lowest height of any node at the end of any step of a trace.
std::pair<double, double> HeightRange(const std::string& trace) {
    static const std::regex pos(R"("pos":\[[^,]+,([^,]+),)");
    double low = 0.0, high = 0.0;
    for (auto it = std::sregex_iterator(trace.begin(), trace.end(), pos); it != std::sregex_iterator();
         ++it) {
        const double y = std::stod((*it)[1]);
        low = std::min(low, y);
        high = std::max(high, y);
    }
    return {low, high};
}

TEST_F(HostileCasesTest, EachCaseIsRefusedOrHeldAsDocumented) {
    struct Case {
        const char* what;
        std::function<void()> setUp;
        std::string arguments;
        int status;
        std::string says;
    };
    const std::string walker = genes + "walker.txt";
    const Case cases[] = {
        {"a FIFO as the checkpoint to resume", [&] { Fifo("ck.h5"); }, "run --resume ck.h5 --steps 5", 2,
         "ck.h5: it is a FIFO, not a regular file"},
        {"a FIFO as the newest checkpoint of a folder",
         [&] {
             ASSERT_EQ(Sim("run --seed 1 --steps 10 --quiet --checkpoint-every 10 --checkpoint-dir ck '" +
                           walker + "'")
                           .status,
                       0);
             Fifo("ck/step-00000020.h5");
         },
         "run --resume ck --steps 12 --quiet", 0,
         "skipped ck/step-00000020.h5: it is a FIFO, not a regular file"},
        {"a FIFO as the gene file", [&] { Fifo("gene.txt"); }, "run --steps 5 gene.txt", 1,
         "cannot read gene file gene.txt: it is a FIFO, not a regular file"},
        {"a FIFO as the physics file", [&] { Fifo("p.toml"); },
         "run --steps 5 --physics p.toml '" + walker + "'", 2, "p.toml: it is a FIFO, not a regular file"},
        {"a FIFO as the search checkpoint",
         [&] {
             std::filesystem::create_directory(In("search"));
             Fifo("search/checkpoint.txt");
         },
         "evolve --resume search", 2, "it is a FIFO, not a regular file"},
        {"a FIFO as a table to decode", [&] { Fifo("t.csv"); }, "decode t.csv", 2,
         "cannot read 't.csv': it is a FIFO, not a regular file"},
        // Tables whose rows are not sure.
        {"an id given twice",
         [&] { Put("two.csv", "id,generation,code\n1,1,\"1,12+0,0,0.5\"\n1,2,\"1,12+0,0,0.7\"\n"); },
         "decode two.csv --id 1", 2, "has two rows with id 1 (lines 2 and 3)"},
        {"a quoted code holding a line break",
         [&] { Put("open.csv", "id,generation,code\n1,1,\"1,12+0,0,0.5\n0,0,0.7\"\n"); },
         "decode open.csv --id 1", 2, "line 2 has a quote left open or out of place"},
        // Settings a search refuses before it writes anything.
        {"a grid too fine", [] {},
         "evolve --out e --algorithm map-elites --descriptors dx,dz --grid 1001 '" + walker + "'", 2,
         "--grid and the descriptors' cells must make from 1 to 1000000 cells"},
        {"a descriptor twice", [] {}, "evolve --out e --descriptors closest,closest '" + walker + "'", 2,
         "--descriptors names 'closest' twice"},
        {"an elite as large as the population", [] {},
         "evolve --out e --population 10 --elite 100 '" + walker + "'", 2,
         "--elite must lie between 0 and the population size minus one"},
        {"a fitness weight not a number", [] {}, "evolve --out e --fitness-weight nan '" + walker + "'", 2,
         "--fitness-weight must lie between 0 and 1"},
        // Arguments out of their rules, refused as quillmoth.evolve and quillmoth.Run refuse them.
        {"a population of one", [] {}, "evolve --out e --population 1 '" + walker + "'", 2,
         "--population must lie between 2 and 1000000, not '1'"},
        {"no workers", [] {}, "evolve --out e --workers 0 '" + walker + "'", 2,
         "--workers must lie between 1 and 4096, not '0'"},
        {"a crossover not a number", [] {}, "evolve --out e --crossover nan '" + walker + "'", 2,
         "--crossover must lie between 0 and 1, not 'nan'"},
        {"steps before the start", [] {}, "run --steps -1 '" + walker + "'", 2,
         "--steps must lie between 0 and 1000000000000, not '-1'"},
        {"a trace of no steps", [] {}, "run --steps 1 --trace t.jsonl --trace-every 0 '" + walker + "'", 2,
         "--trace-every must be at least 1, not '0'"},
        {"a goal not a number", [] {}, "run --steps 1 --goal nan,0,0 '" + walker + "'", 2,
         "--goal takes three numbers X,Y,Z, not 'nan,0,0'"},
        {"gravity switched on", [] {}, "run --steps 1 --set gravity=true '" + walker + "'", 2,
         "gravity takes a number, not 'true'"},
        // A value too near 0 for its key is refused alike from --set and from a file.
        {"a subnormal gravity from --set", [] {}, "run --steps 1 --set gravity=5e-324 '" + walker + "'", 2,
         "gravity = 4.94066e-324 is too near 0 to hold: give 0 or at least 1.17549e-38"},
        {"a subnormal gravity from a file",
         [&] {
             std::FILE* f = std::fopen(In("tiny.toml").c_str(), "wb");
             std::fputs("gravity = 5e-324\n", f);
             std::fclose(f);
         },
         "run --steps 1 --physics tiny.toml '" + walker + "'", 2,
         "tiny.toml:1: gravity = 4.94066e-324 is too near 0 to hold"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.setUp();
        const auto start = std::chrono::steady_clock::now();
        const test::Outcome o = Sim(c.arguments);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_NE(o.err.find(c.says), std::string::npos) << o.err;
        EXPECT_FALSE(std::filesystem::exists(In("e"))) << "a refused search writes nothing";
    }
}

// A search whose saved state was tampered with is refused with status 2 and
// the reason; its tables are left as they were.
TEST_F(HostileCasesTest, ATamperedSearchIsRefused) {
    const std::string made =
        "evolve --out s --algorithm map-elites --descriptors dx,dz --grid 4 --generations 3 "
        "--population 6 --steps 30 --seed 1 --quiet '" +
        genes + "walker.txt'";
    ASSERT_EQ(Sim(made).status, 0);
    std::filesystem::copy(In("s"), In("kept"), std::filesystem::copy_options::recursive);
    const std::string checkpoint = ReadFile(In("kept/checkpoint.txt"));
    struct Case {
        const char* what;
        std::string file;  // in the search's folder
        std::regex line;
        std::string replaced;
        std::string says;
    };
    const Case cases[] = {
        {"a cell past the grid", "checkpoint.txt", std::regex("\ncell [0-9]+ "), "\ncell 99 ",
         "holds cell 99, past the grid's cells"},
        {"a fitness that is no number", "checkpoint.txt", std::regex("(\ncell [0-9]+ [0-9]+ )[^ ]+"), "$1nan",
         "\"nan\" is no number"},
        {"an infinite behaviour", "checkpoint.txt", std::regex("\nnovelty 0\n"), "\nnovelty 1\npoint inf 0\n",
         "\"inf\" is not a finite number"},
        {"a next id past every id", "checkpoint.txt", std::regex("\nnext-id [0-9]+"),
         "\nnext-id 18446744073709551615", "\"next-id\" needs a whole number from 0 to"},
        {"an id not yet given", "checkpoint.txt", std::regex("\nnext-id [0-9]+"), "\nnext-id 1",
         "not below next-id"},
        {"more generations done than asked", "checkpoint.txt", std::regex("\ndone [0-9]+"), "\ndone 99",
         "\"done\" needs a whole number from 0 to 3"},
        {"a table cut short", "individuals.csv", std::regex("\n[0-9]+,[23],[^]*"), "\n",
         "individuals.csv lacks generation 2 of the 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(In("s"));
        std::filesystem::copy(In("kept"), In("s"), std::filesystem::copy_options::recursive);
        const std::string original = ReadFile(In("kept/" + c.file));
        const std::string tampered = std::regex_replace(original, c.line, c.replaced);
        ASSERT_NE(tampered, original);
        std::FILE* f = std::fopen(In("s/" + c.file).c_str(), "wb");
        std::fwrite(tampered.data(), 1, tampered.size(), f);
        std::fclose(f);
        const test::Outcome o = Sim("evolve --resume s --generations 3 --quiet");
        EXPECT_EQ(o.status, 2) << o.err;
        EXPECT_NE(o.err.find(c.says), std::string::npos) << o.err;
        EXPECT_EQ(ReadFile(In("s/generations.csv")), ReadFile(In("kept/generations.csv")));
    }
    const test::Outcome fewer = Sim("evolve --resume kept --generations 2 --quiet");
    EXPECT_EQ(fewer.status, 2);
    EXPECT_NE(fewer.err.find("has done 3 generations: --generations 2 is fewer"), std::string::npos)
        << fewer.err;
    EXPECT_EQ(ReadFile(In("kept/checkpoint.txt")), checkpoint);
}

// A gene nested 1,500 calls deep (the limit is 2,500) decodes to source that
// compile reads back to the same code string.
TEST_F(HostileCasesTest, ADeepGeneDecodesToSourceCompileReads) {
    std::string code;
    for (int i = 0; i < 1500; ++i) code += "1,12+";
    code += "0,0,0.5";
    const test::Outcome decoded = Sim("decode -o deep.txt '" + code + "'");
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_LT(std::filesystem::file_size(In("deep.txt")), 1u << 20);
    const test::Outcome compiled = Sim("compile deep.txt");
    ASSERT_EQ(compiled.status, 0) << compiled.err;
    EXPECT_EQ(compiled.out, code + "+\n");
}

// Every setting in its range, the strongest pushes and full bounces: the
// walls keep every node within a grid cell (5 units) of the box.
TEST_F(HostileCasesTest, TheWallsHoldUnderTheWildestPhysics) {
    const test::Outcome o = Sim(
        "run --seed 3 --steps 1500 --quiet --trace t.jsonl --set spring_stiffness=0.5 --set drag=0 "
        "--set max_velocity=24 --set max_force=24 --set repulsion=1 --set restitution=1 --set gravity=0 '" +
        genes + "goal-seeker.txt'");
    ASSERT_EQ(o.status, 0) << o.err;
    const auto [low, high] = HeightRange(ReadFile(In("t.jsonl")));
    EXPECT_GE(low, -30.0);
    EXPECT_LE(high, 29.0);
}

}  // namespace
}  // namespace qm
