// quillmoth-sim run as a user runs it: the trace, stats and summary formats,
// the exit codes, the error log, and byte-identical output from the same
// gene, seed and step count.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "record/TraceHdf5.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

using test::Outcome;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::string G9(double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.9g", v);
    return buffer;
}

// 64-bit FNV-1a.
std::uint64_t Fnv1a(const std::string& bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// From rest under gravity 0.01 and drag 0.03: the height after n steps.
double FallAfter(int n) { return -(n - 0.97 * (1.0 - std::pow(0.97, n)) / 0.03) / 3.0; }

class SimRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* path = test::SimBinary();
        if (!path) GTEST_SKIP() << "QM_SIM names the quillmoth-sim binary; ctest sets it";
        sim = path;
        char name[] = "/tmp/quillmoth-sim-run-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override {
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    std::string In(const std::string& file) const { return dir + "/" + file; }

    std::string Gene(const std::string& name, const std::string& source) {
        std::string path = In(name);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(source.data(), 1, source.size(), f);
        std::fclose(f);
        return path;
    }

    // Runs quillmoth-sim in the test's own folder with the arguments (quoted as needed).
    Outcome Sim(const std::string& arguments) { return test::RunSim(sim, arguments, dir); }

    std::string sim;
    std::string dir;
};

constexpr const char* kIdle = "0";
// Grows slowly along its links and, once high up (far from a goal placed deep
// below), divides at every turn: the creature crowds against the ceiling.
constexpr const char* kCeilingCrowd =
    "IFTE ( LT ( SMELL 0.000982 )\n"
    "       PROG2 ( SETP ( 0 1 ) GDIVIDE ( 0 ) )\n"
    "       IFT ( GT ( ECOUNT 0.2 ) PROG2 ( SETP ( 0 1 ) TDIVIDE ( 0 ) ) ) )\n";

TEST_F(SimRunTest, ACompletedRunEndsWithItsSummaryLineAndStatusZero) {
    std::string gene = Gene("idle.txt", kIdle);
    Outcome o = Sim("run --seed 1 --steps 5 --quiet --log log.txt '" + gene + "'");
    EXPECT_EQ(o.status, 0) << o.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        o.out, m,
        std::regex(R"(\{"seed":1,"steps":5,"nodes":1,"links":0,"centroid":\[0,)"
                   R"(([-0-9.e]+),0\],"center":\[0,[-0-9.e]+,0\],"outcome":"completed","manifest":\{.*\},)"
                   R"("goal_step":null,"goal_node":null,"closest":[0-9.e]+,"wall_seconds":[0-9.]+\}\n)")))
        << o.out;
    EXPECT_NEAR(std::stod(m[1]), FallAfter(5), 1e-6);
    EXPECT_FALSE(std::filesystem::exists(In("log.txt")));
    // Quiet: nothing but errors on standard error; nor otherwise for a run
    // that goes well (the summary names the seed). The engine's own seed line,
    // the compiler's code string and the program only with --debug.
    EXPECT_EQ(o.err, "");
    Outcome told = Sim("run --seed 1 --steps 5 --log log.txt '" + gene + "'");
    EXPECT_EQ(told.err, "");
    Outcome debug = Sim("run --seed 1 --steps 5 --debug --log log.txt '" + gene + "'");
    EXPECT_EQ(debug.err,
              "rand seed = 1\n0,0,0+\n0,0,0+\n0.000000\n\n");  // the program ends in its own line end
    EXPECT_EQ(test::WithoutWallTime(debug.out), test::WithoutWallTime(o.out));
}

TEST_F(SimRunTest, ProfileNamesEveryPhaseWithItsTimeAndShareAndChangesNoResult) {
    std::string gene = Gene("crowd.txt", "PROG2 ( ADDPAR ( 0 100 ) ) ( GDIVIDE ( 0 ) )");
    Outcome plain = Sim("run --seed 3 --steps 300 --quiet --log log.txt --trace a.jsonl '" + gene + "'");
    Outcome profiled = Sim("run --seed 3 --steps 300 --profile --log log.txt --trace b.jsonl '" + gene + "'");
    ASSERT_EQ(profiled.status, 0) << profiled.err;
    // --quiet keeps it off standard error like every other note.
    EXPECT_EQ(Sim("run --seed 3 --steps 30 --quiet --profile --log log.txt '" + gene + "'").err, "");
    EXPECT_EQ(test::WithoutWallTime(profiled.out), test::WithoutWallTime(plain.out));
    EXPECT_EQ(ReadFile(In("b.jsonl")), ReadFile(In("a.jsonl")));
    const std::size_t at = profiled.err.find("step profile: 300 steps\n");
    ASSERT_NE(at, std::string::npos) << profiled.err;
    std::vector<std::string> lines = Lines(profiled.err.substr(at));
    ASSERT_EQ(lines.size(), 11u) << profiled.err;
    EXPECT_EQ(lines[1].substr(0, 5), "phase");
    double share = 0.0;
    double ms = 0.0;
    const char* names[] = {"links",     "order",  "genes",     "population",
                           "repulsion", "motion", "admission", "inputs"};
    for (int i = 0; i < 8; ++i) {
        std::istringstream row(lines[static_cast<std::size_t>(i) + 2]);
        std::string name, percent;
        double total = 0.0;
        row >> name >> total >> percent;
        EXPECT_EQ(name, names[i]);
        EXPECT_GE(total, 0.0);
        ms += total;
        share += std::stod(percent);
    }
    EXPECT_NEAR(share, 100.0, 0.5);
    std::istringstream last(lines[10]);
    std::string name;
    double total = 0.0;
    last >> name >> total;
    EXPECT_EQ(name, "total");
    EXPECT_NEAR(total, ms, 0.01);
    EXPECT_GT(total, 0.0);
    EXPECT_EQ(plain.err.find("step profile"), std::string::npos);
}

TEST_F(SimRunTest, TheTraceHasOneLinePerStepWithEveryFieldOfEveryNode) {
    std::string gene = Gene("idle.txt", kIdle);
    Outcome o = Sim("run --seed 3 --steps 2 --quiet --log log.txt --trace trace.jsonl '" + gene + "'");
    ASSERT_EQ(o.status, 0) << o.err;
    std::vector<std::string> lines = Lines(ReadFile(In("trace.jsonl")));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("{\"manifest\":{\"program\":\"quillmoth-sim\",", 0), 0u) << lines[0];
    lines.erase(lines.begin());
    const std::string zeros = "[0,0,0,0,0,0,0,0,0,0]";
    EXPECT_EQ(lines[0], "{\"step\":0,\"nodes\":[{\"id\":0,\"pos\":[0,0,0],\"vel\":[0,0,0],\"param\":" +
                            zeros + ",\"diff\":" + zeros +
                            ",\"edges\":0,\"request\":0,\"ground\":false,\"edgeLength\":3,\"color\":[0,0,0],"
                            "\"parent\":-1,\"born\":0}],"
                            "\"links\":[]}");
    // One step of gravity from rest: velocity and position -0.01 in single precision.
    const std::string down = G9(-0.01f);
    EXPECT_EQ(down, "-0.00999999978");
    EXPECT_EQ(lines[1], "{\"step\":1,\"nodes\":[{\"id\":0,\"pos\":[0," + down + ",0],\"vel\":[0," + down +
                            ",0],\"param\":" + zeros + ",\"diff\":" + zeros +
                            ",\"edges\":0,\"request\":0,\"ground\":false,\"edgeLength\":3,\"color\":[0,0,0],"
                            "\"parent\":-1,\"born\":0}],"
                            "\"links\":[]}");
    EXPECT_EQ(lines[2].rfind("{\"step\":2,", 0), 0u);
}

TEST_F(SimRunTest, TraceToStandardOutputComesBeforeTheSummary) {
    std::string gene = Gene("idle.txt", kIdle);
    Outcome o = Sim("run --seed 3 --steps 1 --quiet --log log.txt --trace - '" + gene + "'");
    ASSERT_EQ(o.status, 0) << o.err;
    std::vector<std::string> lines = Lines(o.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("{\"manifest\":", 0), 0u);
    EXPECT_EQ(lines[1].rfind("{\"step\":0,", 0), 0u);
    EXPECT_EQ(lines[2].rfind("{\"step\":1,", 0), 0u);
    EXPECT_EQ(lines[3].rfind("{\"seed\":3,", 0), 0u);
}

TEST_F(SimRunTest, TheTraceListsNodesByIdAndLinksAsSortedPairsThatMatchTheEdgeCounts) {
    std::string gene = Gene("grow.txt", "IFT ( GT ( ECOUNT 0.2 ) PROG2 ( SETP ( 0 1 ) TDIVIDE ( 0 ) ) )");
    Outcome o = Sim("run --seed 8 --steps 30 --quiet --log log.txt --trace trace.jsonl '" + gene + "'");
    ASSERT_EQ(o.status, 0) << o.err;
    std::vector<std::string> lines = Lines(ReadFile(In("trace.jsonl")));
    ASSERT_EQ(lines.size(), 32u);  // the manifest, then steps 0 to 30
    const std::regex nodeId(R"(\{"id":(\d+),"pos")");
    const std::regex edges(R"("edges":(\d+))");
    const std::regex link(R"(\[(\d+),(\d+)\])");
    for (const std::string& line : {lines[11], lines[31]}) {
        std::vector<int> ids, counts;
        for (std::sregex_iterator it(line.begin(), line.end(), nodeId), end; it != end; ++it) {
            ids.push_back(std::stoi((*it)[1]));
        }
        for (std::sregex_iterator it(line.begin(), line.end(), edges), end; it != end; ++it) {
            counts.push_back(std::stoi((*it)[1]));
        }
        ASSERT_EQ(ids.size(), counts.size());
        ASSERT_GT(ids.size(), 5u);
        EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
        std::string links = line.substr(line.find("\"links\":"));
        std::vector<std::pair<int, int>> pairs;
        for (std::sregex_iterator it(links.begin(), links.end(), link), end; it != end; ++it) {
            pairs.emplace_back(std::stoi((*it)[1]), std::stoi((*it)[2]));
        }
        ASSERT_FALSE(pairs.empty());
        EXPECT_TRUE(std::is_sorted(pairs.begin(), pairs.end()));
        for (std::size_t i = 0; i < ids.size(); ++i) {
            int n = 0;
            for (const auto& [a, b] : pairs) {
                EXPECT_LT(a, b);
                n += (a == ids[i]) + (b == ids[i]);
            }
            EXPECT_EQ(n, counts[i]) << "node " << ids[i];
        }
    }
}

TEST_F(SimRunTest, StatsHaveTheManifestAHeaderAndOneRowPerStepFromZero) {
    std::string gene = Gene("idle.txt", kIdle);
    Outcome o = Sim("run --seed 2 --steps 4 --quiet --log log.txt --stats stats.csv '" + gene + "'");
    ASSERT_EQ(o.status, 0) << o.err;
    std::vector<std::string> rows = Lines(ReadFile(In("stats.csv")));
    ASSERT_EQ(rows.size(), 7u);
    // The comment line is the summary's manifest.
    const std::string summary = Lines(o.out).at(0);
    ASSERT_EQ(rows[0].rfind("# {", 0), 0u);
    EXPECT_EQ(summary.find(rows[0].substr(2)), summary.find("\"manifest\":") + 11) << rows[0];
    rows.erase(rows.begin());
    EXPECT_EQ(rows[0],
              "step,nodes,links,centroid_x,centroid_y,centroid_z,center_x,center_y,center_z,goal_distance");
    // The seed at the origin, the goal at (0, -25, 250): sqrt(25^2 + 250^2) in single precision.
    EXPECT_EQ(rows[1], "0,1,0,0,0,0,0,0,0," + G9(std::sqrt(63125.0f)));
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(rows[5], m, std::regex(R"(4,1,0,0,([-0-9.e]+),0,0,([-0-9.e]+),0,([0-9.e]+))")))
        << rows[5];
    double y = FallAfter(4);
    EXPECT_NEAR(std::stod(m[1]), y, 1e-6);
    EXPECT_EQ(m[2].str(), m[1].str()) << "one node is its own center";
    EXPECT_NEAR(std::stod(m[3]), std::sqrt((y + 25.0) * (y + 25.0) + 250.0 * 250.0), 1e-4);
}

TEST_F(SimRunTest, AGeneThatFallsOntoTheGoalExitsThreeWithTheWholeChainInTheLog) {
    std::string gene = Gene("zero.txt", kIdle);
    Outcome o = Sim("run --goal 0,-24,0 --steps 1000 --seed 5 --quiet '" + gene + "'");
    EXPECT_EQ(o.status, 3) << o.err;
    const std::string chain =
        "PTester::Action()\nNodeManager::Action; \nNodeManager::NodeAction; \n"
        "NodeManager::nodeAction(TNode*): Node ID: 0;\nGOAL!\n";
    EXPECT_EQ(ReadFile(In("error.lot.txt")), chain);
    // The node is within 2 of the goal once it has fallen below -22; the step
    // after that reports it, so the steps completed are those of the fall.
    int fall = 1;
    while (FallAfter(fall) >= -22.0) ++fall;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(o.out, m,
                                 std::regex(R"(\{"seed":5,"steps":(\d+),"nodes":1,"links":0,"centroid":\[0,)"
                                            R"([-0-9.e]+,0\],"center":\[0,[-0-9.e]+,0\],"outcome":"goal",)"
                                            R"("manifest":\{.*\},)"
                                            R"("goal_step":(\d+),"goal_node":0,"closest":([0-9.e]+),)"
                                            R"("wall_seconds":[0-9.]+\}\n)")))
        << o.out;
    EXPECT_EQ(std::stoi(m[1]), fall);
    // The goal is reached in the step after the last completed one.
    EXPECT_EQ(std::stoi(m[2]), fall + 1);
    EXPECT_LT(std::stod(m[3]), 2.0);
    EXPECT_EQ(o.err, "");  // quiet, and reaching the goal is no error
    EXPECT_NE(Sim("run --goal 0,-24,0 --steps 1000 --seed 5 '" + gene + "'").err.find(chain),
              std::string::npos);
}

TEST_F(SimRunTest, TheLogGoesWhereItIsToldAndReplacesAnEarlierOne) {
    std::string gene = Gene("zero.txt", kIdle);
    std::FILE* old = std::fopen(In("mine.log").c_str(), "wb");
    std::fputs("an older and much longer text that must not survive\n", old);
    std::fclose(old);
    Outcome o = Sim("run --goal 0,-24,0 --steps 1000 --seed 5 --quiet --log mine.log '" + gene + "'");
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(ReadFile(In("mine.log")).substr(0, 18), "PTester::Action()\n");
    EXPECT_EQ(ReadFile(In("mine.log")).substr(ReadFile(In("mine.log")).size() - 6), "GOAL!\n");
    EXPECT_FALSE(std::filesystem::exists(In("error.lot.txt")));
}

TEST_F(SimRunTest, AnEngineErrorExitsOneWithTheTextInTheLogAndOnStandardError) {
    // The seed makes its link length not a number and divides once; the
    // spring of that link then carries the bad value into a position.
    std::string gene = Gene("poison.txt",
                            "PROG3 ( SETP ( 0 SUB ( POW4 ( 1e100 ) POW4 ( 1e100 ) ) )\n"
                            "        IFT ( GT ( ECOUNT 0.9 ) PROG2 ( SETP ( 1 20 ) TDIVIDE ( 1 ) ) )\n"
                            "        ELENGTH ( 0 ) )");
    Outcome o = Sim("run --seed 4 --steps 50 --quiet --log log.txt --trace trace.jsonl '" + gene + "'");
    EXPECT_EQ(o.status, 1) << o.err;
    std::string log = ReadFile(In("log.txt"));
    EXPECT_EQ(log.rfind("PTester::Action()\nNodeManager::Action; \nNodeManager::NodeAction; \nNode ID: ", 0),
              0u)
        << log;
    EXPECT_NE(log.find("is not finite"), std::string::npos) << log;
    EXPECT_NE(o.err.find(log), std::string::npos);
    EXPECT_NE(o.out.find("\"outcome\":\"error\""), std::string::npos) << o.out;
    // The link length that went bad is written as null, not as a number.
    EXPECT_NE(ReadFile(In("trace.jsonl")).find("\"edgeLength\":null"), std::string::npos);
}

TEST_F(SimRunTest, RunawayGrowthStopsAtTheNodeLimitWithAnError) {
    // Every cell divides at every turn: 2^n cells after n steps.
    std::string gene = Gene("runaway.txt", "PROG2 ( SETP 0 1 ) ( GDIVIDE 0 )");
    Outcome o = Sim("run --seed 2 --steps 40 --max-nodes 100 --quiet --log log.txt '" + gene + "'");
    EXPECT_EQ(o.status, 1) << o.err;
    const std::string log = ReadFile(In("log.txt"));
    EXPECT_EQ(
        log.rfind(
            "PTester::Action()\nNodeManager::Action; \nNodeManager::NodeAction; \nNodeManager::divide; \n"
            "Node ID: ",
            0),
        0u)
        << log;
    EXPECT_NE(log.find(" cannot divide: the world holds 100 nodes, the limit set by --max-nodes is 100\n"),
              std::string::npos)
        << log;
    // Six doublings give 64 cells; the seventh step stops at the limit.
    EXPECT_NE(o.out.find("\"steps\":6,\"nodes\":64,"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\"outcome\":\"error\""), std::string::npos) << o.out;
    EXPECT_EQ(Sim("run --max-nodes 0 '" + gene + "'").status, 2);
}

TEST_F(SimRunTest, AMissingGeneFileExitsOne) {
    Outcome o = Sim("run --seed 1 --steps 3 --quiet --log log.txt '" + In("absent.txt") + "'");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(ReadFile(In("log.txt")), "GPmanager::GetCode; 不正なコードです\n");
}

TEST_F(SimRunTest, ABadCommandLineExitsTwoWithTheUsage) {
    std::string gene = Gene("idle.txt", kIdle);
    for (const std::string& args :
         std::vector<std::string>{"run", "run --steps", "run --seed abc '" + gene + "'",
                                  "run --seed -1 '" + gene + "'", "run --steps 1.5 '" + gene + "'",
                                  "run --goal 1,2 '" + gene + "'", "run --frobnicate '" + gene + "'",
                                  "run '" + gene + "' '" + gene + "'", "walk '" + gene + "'", ""}) {
        Outcome o = Sim(args);
        EXPECT_EQ(o.status, 2) << args;
        // The error and one line saying where the usage is, not the usage itself.
        const std::string command = args.rfind("run", 0) == 0 ? "run " : "";
        EXPECT_TRUE(o.err.starts_with("quillmoth-sim: ")) << o.err;
        EXPECT_TRUE(o.err.ends_with("\n(quillmoth-sim " + command + "--help shows the usage)\n")) << o.err;
        EXPECT_EQ(Lines(o.err).size(), 2u) << o.err;
        EXPECT_EQ(o.out, "") << args;
    }
    Outcome o = Sim("run --seed 1 --steps 1 --quiet --trace /nonexistent/dir/t.jsonl '" + gene + "'");
    EXPECT_EQ(o.status, 2);
}

// A write the system refuses (a full disk: /dev/full; a file size limit, with
// its signal ignored as a shell does) ends the run with status 1, a message
// naming the file, a summary that says "error", no half checkpoint, and the
// other outputs whole up to the newest checkpoint.
TEST_F(SimRunTest, AFailedWriteEndsTheRunNamingTheFileAndKeepsWhatWasWritten) {
    const std::string idle = Gene("idle.txt", kIdle);
    const std::string crowd = Gene("crowd.txt", kCeilingCrowd);
    const std::string grow = "run --seed 1 --steps 60 --goal 0,-1000,0 --quiet --log log.txt ";
    struct Case {
        const char* what;
        int blocks;  // the file size limit in 512-byte blocks; 0: none
        std::string args;
        std::string message;
        bool keeps = false;  // stats and trace hold every step up to the newest checkpoint
    } cases[] = {
        {"stats", 0, "run --seed 2 --steps 300 --quiet --log log.txt --stats /dev/full '" + idle + "'",
         "quillmoth-sim: cannot write the stats file '/dev/full': No space left on device\n"},
        {"JSON trace", 0, "run --seed 2 --steps 300 --quiet --log log.txt --trace /dev/full '" + idle + "'",
         "quillmoth-sim: /dev/full: cannot write the trace: No space left on device\n"},
        {"log of a goal, quiet", 0,
         "run --seed 5 --steps 1000 --goal 0,-24,0 --quiet --log /dev/full '" + idle + "'",
         "quillmoth-sim: cannot write the log file '/dev/full': No space left on device; it would have held\n"
         "PTester::Action()\n"},
        {"summary", 0, "run --seed 2 --steps 3 --quiet --log log.txt '" + idle + "' >/dev/full",
         "quillmoth-sim: cannot write standard output: No space left on device\n"},
        {"HDF5 trace", 128,
         grow + "--trace t.h5 --stats s.csv --checkpoint-every 4 --checkpoint-dir ck '" + crowd + "'",
         "quillmoth-sim: t.h5: cannot write the trace: File too large\n", true},
        {"checkpoint", 16, grow + "--checkpoint-every 4 --checkpoint-dir ck '" + crowd + "'",
         ".h5: cannot write it: File too large\n"},
        {"search checkpoint", 1,
         "evolve --population 4 --generations 2 --steps 50 --seed 1 --quiet --out s idle.txt",
         "quillmoth-sim evolve: cannot write s/checkpoint.txt.tmp: File too large;\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(In("ck"));
        if (c.args.find("--checkpoint-dir ck") != std::string::npos) {
            std::filesystem::create_directories(In("ck"));
            Gene("ck/step-00000004.h5.partial-Kq3xQa", "half");  // a killed run's: the next run removes it
        }
        std::string command = "exec '" + sim + "' " + c.args;
        if (c.blocks > 0) command = "trap '' XFSZ; ulimit -f " + std::to_string(c.blocks) + "; " + command;
        const Outcome o = test::RunSim("/bin/sh", "-c \"" + command + "\"", dir);
        EXPECT_EQ(o.status, 1) << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
        EXPECT_EQ(o.out.find("\"outcome\":\"completed\""), std::string::npos) << o.out;
        EXPECT_EQ(o.out.find("\"outcome\":\"goal\""), std::string::npos) << o.out;
        EXPECT_FALSE(std::filesystem::exists(In("s/checkpoint.txt.tmp")));
        long long newest = -1;
        if (std::filesystem::exists(In("ck"))) {
            for (const auto& entry : std::filesystem::directory_iterator(In("ck"))) {
                const std::string name = entry.path().filename().string();
                EXPECT_EQ(name.find(".partial"), std::string::npos) << name;
                newest = std::max(newest, std::stoll(name.substr(5, 8)));
            }
        }
        if (!c.keeps) continue;
        ASSERT_GT(newest, 0);
        EXPECT_GE(static_cast<long long>(Lines(ReadFile(In("s.csv"))).size()), newest + 2);  // the header too
        // A trace whose writing failed is left as a killed run leaves it: open for
        // writing, read as such, with every step flushed before the checkpoint.
        namespace h5 = record::h5;
        const h5::Handle file = h5::OpenFile(In("t.h5"), true);
        const h5::Handle table(H5Dopen2(file.Get(), "steps", H5P_DEFAULT));
        const h5::Handle space(H5Dget_space(table.Get()));
        hsize_t rows = 0;
        ASSERT_EQ(H5Sget_simple_extent_dims(space.Get(), &rows, nullptr), 1);
        std::vector<record::StepRow> steps(rows);
        ASSERT_GE(H5Dread(table.Get(), record::TheTraceTypes().step.Get(), H5S_ALL, H5S_ALL, H5P_DEFAULT,
                          steps.data()),
                  0);
        ASSERT_GT(static_cast<long long>(steps.size()), newest);
        EXPECT_EQ(steps[static_cast<std::size_t>(newest)].step, newest);
    }
}

// An output that is an input (by name, by another name for it, by a link to
// it) or another output is refused before anything is written, status 2 and
// both named; so is a search folder that another search holds locked.
TEST_F(SimRunTest, AnOutputThatIsAnInputOrAnotherOutputIsRefusedAndNothingIsWritten) {
    Gene("g.txt", kIdle);
    ASSERT_EQ(
        Sim("run --seed 1 --steps 10 --quiet --log log.txt --checkpoint-every 10 --checkpoint-dir ck g.txt")
            .status,
        0);
    std::filesystem::create_symlink("g.txt", In("link.txt"));
    std::filesystem::create_directories(In("s"));
    std::filesystem::copy_file(In("g.txt"), In("s/best.txt"));
    const std::string held = "held\x1B[2J";  // a name that would clear the terminal: shown safely
    std::filesystem::create_directories(In(held));
    const int lock = open(In(held + "/search.lock").c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);  // as a search running there holds it
    const std::string checkpoint = ReadFile(In("ck/step-00000010.h5"));
    const std::string search = "evolve --population 4 --generations 1 --steps 20 --seed 1 --quiet ";
    const std::pair<std::string, std::string> cases[] = {
        {"run --seed 1 --steps 5 --trace g.txt g.txt",
         "the trace file 'g.txt' would replace the gene file 'g.txt'"},
        {"run --seed 1 --steps 5 --log link.txt g.txt",
         "the log file 'link.txt' would replace the gene file 'g.txt'"},
        {"run --resume ck/step-00000010.h5 --steps 20 --log log.txt --stats ck/../ck/step-00000010.h5",
         "the stats file 'ck/../ck/step-00000010.h5' would replace the checkpoint 'ck/step-00000010.h5'"},
        {"run --seed 1 --steps 5 --log log.txt --trace x.jsonl --stats ./x.jsonl g.txt",
         "the trace file 'x.jsonl' and the stats file './x.jsonl' are one file"},
        {"run --seed 1 --steps 5 --log log.txt --trace - --stats - g.txt",
         "the trace file '-' and the stats file '-' are one file"},
        {"evolve --out '' g.txt", "--out needs a folder name"},
        {search + "--out s s/best.txt", "the seed gene file 's/best.txt' is the search's own 's/best.txt'"},
        {search + "--out '" + held + "' g.txt",
         "another search is running in held\\x1B[2J (it holds held\\x1B[2J/search.lock)"},
    };
    for (const auto& [args, message] : cases) {
        const Outcome o = Sim(args);
        EXPECT_EQ(o.status, 2) << args;
        EXPECT_NE(o.err.find(message), std::string::npos) << args << "\n" << o.err;
        EXPECT_EQ(o.out, "") << args;
    }
    EXPECT_EQ(ReadFile(In("g.txt")), kIdle);
    EXPECT_EQ(ReadFile(In("s/best.txt")), kIdle);
    EXPECT_EQ(ReadFile(In("ck/step-00000010.h5")), checkpoint);
    EXPECT_FALSE(std::filesystem::exists(In("x.jsonl")));
    EXPECT_FALSE(std::filesystem::exists(In(held + "/generations.csv")));
    close(lock);
    // A device is no one's file: every output may go to /dev/null.
    EXPECT_EQ(Sim("run --seed 1 --steps 5 --log /dev/null --trace /dev/null --stats /dev/null g.txt").status,
              0);
}

TEST_F(SimRunTest, HelpAndVersionExitZero) {
    Outcome help = Sim("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: quillmoth-sim", 0), 0u);
    Outcome version = Sim("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quillmoth-sim ", 0), 0u);
}

TEST_F(SimRunTest, TheSameGeneSeedAndStepsGiveByteIdenticalOutput) {
    std::string gene = Gene("crowd.txt", kCeilingCrowd);
    const std::string args = "--seed 17 --steps 24 --goal 0,-1000,0 --quiet --log log.txt '" + gene + "'";
    Outcome first = Sim("run --trace a.jsonl --stats a.csv " + args);
    Outcome second = Sim("run --trace b.jsonl --stats b.csv " + args);
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(test::WithoutWallTime(first.out), test::WithoutWallTime(second.out));
    std::string a = ReadFile(In("a.jsonl"));
    EXPECT_GT(a.size(), 100000u);
    EXPECT_EQ(a, ReadFile(In("b.jsonl")));
    EXPECT_EQ(ReadFile(In("a.csv")), ReadFile(In("b.csv")));
    Outcome other =
        Sim("run --trace c.jsonl --seed 18 --steps 24 --goal 0,-1000,0 --quiet --log log.txt '" + gene + "'");
    EXPECT_NE(a, ReadFile(In("c.jsonl")));
}

// A fixed run, checked step by step by the world's own tests, stored as a hash
// of its trace's step lines without the nodes' lineage (the manifest line
// before them names the build): any change of behaviour, order of draws or
// number format shows here.
TEST_F(SimRunTest, AFixedRunKeepsItsStoredTraceHash) {
    std::string gene = Gene("crowd.txt", kCeilingCrowd);
    Outcome o =
        Sim("run --seed 1 --steps 24 --goal 0,-1000,0 --quiet --log log.txt --trace t.jsonl '" + gene + "'");
    ASSERT_EQ(o.status, 0) << o.err;
    std::string trace = ReadFile(In("t.jsonl"));
    ASSERT_EQ(Lines(trace).size(), 26u);
    ASSERT_EQ(trace.rfind("{\"manifest\":", 0), 0u);
    trace.erase(0, trace.find('\n') + 1);
    // Each node's lineage came later: without it every byte is as before.
    const std::size_t withLineage = trace.size();
    trace = std::regex_replace(trace, std::regex(R"(,"parent":-?[0-9]+,"born":[0-9]+\})"), "}");
    EXPECT_GT(withLineage, trace.size());
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv1a(trace)));
    EXPECT_EQ(std::string(hex), "18118aa6ba1e656a") << o.out;
}

}  // namespace
}  // namespace qm
