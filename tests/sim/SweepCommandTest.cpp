// quillmoth-sim sweep as a user runs it: one row per run of the grid, each
// what `quillmoth-sim run` gives alone; the same table whatever the workers,
// after a resume, or from shares merged; bad command lines refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "record/RecordTestSupport.h"

namespace qm {
namespace {

using test::Outcome;
using test::SplitLines;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Fields(const std::string& row) {
    std::vector<std::string> fields;
    std::stringstream in(row);
    std::string field;
    while (std::getline(in, field, ',')) fields.push_back(field);
    if (!row.empty() && row.back() == ',') fields.emplace_back();
    return fields;
}

// The table without its last column, the wall time: all that must repeat.
std::string WithoutWallTime(const std::string& table) {
    std::string kept;
    for (const std::string& line : SplitLines(table)) kept += line.substr(0, line.rfind(',')) + "\n";
    return kept;
}

class SweepCommandTest : public test::SimFolderTest {
  protected:
    void SetUp() override {
        test::SimFolderTest::SetUp();
        if (sim.empty()) return;
        gene = Data("genes/goal-seeker.txt");
        if (gene.empty()) GTEST_SKIP() << "QM_DATA names the data folder; ctest sets it";
    }
    // A sweep of the goal seeker into `out`; the table it wrote.
    std::string Sweep(const std::string& out, const std::string& arguments) {
        Outcome o = Sim("sweep " + arguments + " --quiet --out " + out + " '" + gene + "'");
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, "");
        return ReadAll(In(out + "/results.csv"));
    }
    std::string gene;
};

constexpr const char* kGrid = "--set gravity=0.005,0.01,0.02 --seeds 1-10 --steps 400";

TEST_F(SweepCommandTest, ThreeSettingsByTenSeedsGiveThirtyRowsEachTheSingleRunsSummary) {
    const std::vector<std::string> lines = SplitLines(Sweep("grid", std::string(kGrid) + " --workers 2"));
    ASSERT_EQ(lines.size(), 31u);
    EXPECT_EQ(lines[0],
              "gravity,seed,outcome,steps,goal_step,closest,nodes,links,centroid_x,centroid_y,centroid_z,"
              "center_x,center_y,center_z,wall_seconds");
    const char* const gravities[] = {"0.005", "0.01", "0.02"};
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> f = Fields(lines[i]);
        ASSERT_EQ(f.size(), 15u) << lines[i];
        EXPECT_EQ(f[0], gravities[(i - 1) / 10]) << "row " << i;
        EXPECT_EQ(f[1], std::to_string((i - 1) % 10 + 1)) << "row " << i;
    }
    EXPECT_TRUE(std::filesystem::exists(In("grid/sweep.json")));

    // Rows against `run` with the same settings and seed: the first, a goal
    // (gravity 0.01 from seed 1 reaches it) and the last.
    const std::regex summary(
        R"re(\{"seed":(\d+),"steps":(\d+),"nodes":(\d+),"links":(\d+),"centroid":\[([^,]+),([^,]+),([^\]]+)\],)re"
        R"re("center":\[([^,]+),([^,]+),([^\]]+)\],"outcome":"(\w+)".*\n)re");
    EXPECT_EQ(Fields(lines[11])[2], "goal") << "gravity 0.01 from seed 1 reaches the goal in 400 steps";
    for (std::size_t row : {1u, 11u, 30u}) {
        const std::vector<std::string> f = Fields(lines[row]);
        Outcome run = Sim("run --quiet --log log.txt --stats stats.csv --set gravity=" + f[0] + " --seed " +
                          f[1] + " --steps 400 '" + gene + "'");
        std::smatch m;
        ASSERT_TRUE(std::regex_match(run.out, m, summary)) << run.out;
        EXPECT_EQ(f[1], m[1].str());
        EXPECT_EQ(f[2], m[11].str()) << "row " << row;
        EXPECT_EQ(f[3], m[2].str()) << "row " << row;
        EXPECT_EQ(f[6], m[3].str()) << "row " << row;
        EXPECT_EQ(f[7], m[4].str()) << "row " << row;
        EXPECT_EQ(f[8], m[5].str()) << "row " << row;
        EXPECT_EQ(f[9], m[6].str()) << "row " << row;
        EXPECT_EQ(f[10], m[7].str()) << "row " << row;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(f[11 + k], m[8 + k].str()) << "row " << row;
        EXPECT_EQ(run.status, f[2] == "goal" ? 3 : 0);
        // The goal's step is the stats file's last row (the step the goal cut
        // short); the closest approach is the least goal distance of the stats.
        const std::vector<std::string> stats = SplitLines(ReadAll(In("stats.csv")));
        ASSERT_GT(stats.size(), 2u);
        EXPECT_EQ(f[4], f[2] == "goal" ? Fields(stats.back())[0] : "");
        double least = 1e30;
        for (std::size_t s = 2; s < stats.size(); ++s)
            least = std::min(least, std::stod(Fields(stats[s]).back()));  // goal_distance
        EXPECT_NEAR(std::stod(f[5]), least, least * 1e-6) << "row " << row;
    }
}

// The table is the same whatever ran it: one worker or two, a resume after
// rows were lost (and a line cut short), or two shares merged by a resume.
TEST_F(SweepCommandTest, TheTableIsTheSameWhateverRanIt) {
    const std::string grid = "--set gravity=0.01,0.02 --set drag=0.02,0.03 --seeds 1,3,5 --steps 150";
    const std::string whole = Sweep("one", grid + " --workers 1");
    ASSERT_EQ(SplitLines(whole).size(), 13u);
    EXPECT_EQ(SplitLines(whole)[0].substr(0, 16), "gravity,drag,see");

    EXPECT_EQ(WithoutWallTime(Sweep("two", grid + " --workers 2")), WithoutWallTime(whole));

    // Lose rows 2, 5 and 12, and cut the last short as a kill would.
    std::vector<std::string> lines = SplitLines(whole);
    std::string damaged;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i != 2 && i != 5 && i != 12) damaged += lines[i] + "\n";
    }
    damaged += lines[12].substr(0, 10);
    Put("one/results.csv", damaged);
    const std::string resumed = Sweep("one", grid + " --workers 2 --resume");
    EXPECT_EQ(WithoutWallTime(resumed), WithoutWallTime(whole));
    EXPECT_EQ(SplitLines(resumed)[1], lines[1]) << "a row kept is not run again";

    // Two shares, as two array tasks write them, the first killed mid-row,
    // merged as docs/sweeps.md does it.
    const std::string first = Sweep("part-1", grid + " --only 1/2");
    const std::string second = Sweep("part-2", grid + " --only 2/2");
    EXPECT_EQ(SplitLines(first).size(), 7u);
    EXPECT_EQ(SplitLines(second).size(), 7u);
    Put("part-1/results.csv", first.substr(0, first.size() - 20));
    Outcome merged = Sim("sweep " + grid + " --quiet --out merged '" + gene + "' --merge part-1 part-2");
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_NE(merged.err.find("dropped 1 row that is no whole result"), std::string::npos) << merged.err;
    const std::string table = ReadAll(In("merged/results.csv"));
    for (const std::string& row : SplitLines(table)) EXPECT_EQ(Fields(row).size(), 16u) << row;
    EXPECT_EQ(WithoutWallTime(table), WithoutWallTime(whole));
}

// A table damaged since it was written: each row that is not a whole result
// of this sweep is dropped, said so, and run again; lines ended by CR LF read.
TEST_F(SweepCommandTest, AResumeDropsEveryRowThatIsNoWholeResult) {
    const std::string grid = "--set drag=0.02,0.03 --seeds 1,2 --steps 60";
    const std::string whole = Sweep("whole", grid);
    const std::vector<std::string> lines = SplitLines(whole);
    ASSERT_EQ(lines.size(), 5u);
    const std::string header = lines[0] + "\n";
    const std::string named = lines[1].substr(0, lines[1].find(",completed") + 1);
    struct Case {
        const char* what;
        std::string table;
        int dropped;
    };
    const Case cases[] = {
        {"a row cut short", header + named + "10,comple\n" + lines[2] + "\n", 1},
        {"a row holding junk", header + named + "completed,x,,1,1,1,1,1,1,0.1\n" + lines[2] + "\n", 1},
        {"two rows glued", header + lines[1] + lines[2] + "\n" + lines[3] + "\n", 1},
        {"an outcome unknown", header + named + "maybe" + lines[1].substr(named.size() + 9) + "\n", 1},
        {"a row twice", header + lines[1] + "\n" + lines[1] + "\n", 1},
        {"lines ended by CR LF", lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2] + "\r\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(In("resumed"));
        std::filesystem::create_directory(In("resumed"));
        std::filesystem::copy_file(In("whole/sweep.json"), In("resumed/sweep.json"));
        Put("resumed/results.csv", c.table);
        Outcome o = Sim("sweep " + grid + " --quiet --resume --out resumed '" + gene + "'");
        ASSERT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.err.find("dropped") != std::string::npos, c.dropped > 0) << o.err;
        if (c.dropped > 0) {
            EXPECT_NE(o.err.find("dropped " + std::to_string(c.dropped) + " row"), std::string::npos);
        }
        EXPECT_EQ(WithoutWallTime(ReadAll(In("resumed/results.csv"))), WithoutWallTime(whole));
    }
    // The seeds are kept as ranges, not one by one.
    EXPECT_NE(ReadAll(In("whole/sweep.json")).find("\"seeds\":\"1-2\""), std::string::npos);
}

TEST_F(SweepCommandTest, ABadCommandLineOrAFolderOfAnotherSweepExitsTwo) {
    const std::string held = Sweep("held", "--set drag=0.02 --seeds 1 --steps 5");
    struct Case {
        std::string arguments;  // before --out and the gene
        std::string out;
        std::string message;
    };
    const Case cases[] = {
        {"--seeds 1-3 --set gravty=0.1", "bad", "unknown physics key 'gravty'"},
        {"--seeds 1-3 --set drag=-1", "bad", "drag = -1 is outside its range"},
        {"--seeds 1-3 --set drag=0.1,x", "bad", "drag takes a number, not 'x'"},
        {"--seeds 1-3 --set drag=0.1,0.1", "bad", "a value is given twice"},
        {"--seeds 1-3 --set drag=0.1 --set drag=0.2", "bad", "drag is given twice"},
        {"--seeds 1-3 --set link_length_min=9", "bad", "link_length_min is more than link_length_max"},
        {"--seeds 1-3 --set drag=", "bad", "drag takes a number"},
        {"--set drag=0.1", "bad", "--seeds is required"},
        {"--seeds 5-1", "bad", "runs backwards"},
        {"--seeds 1,2,1", "bad", "seed 1 is given twice"},
        {"--seeds one", "bad", "is not a seed"},
        {"--seeds 0-4294967295", "bad", "more than"},
        {"--seeds 1 --only 3/2", "bad", "--only takes I/N"},
        {"--seeds 1 --physics missing.toml", "bad", "missing.toml"},
        {"--seeds 1 --workers 0", "bad", "--workers"},
        {"--set drag=0.02 --seeds 1 --steps 5", "held", "holds a sweep already: add --resume"},
        {"--set drag=0.02 --seeds 1 --steps 6 --resume", "held", "holds another sweep"},
        {"--set drag=0.03 --seeds 1 --steps 5 --resume", "held", "holds another sweep"},
    };
    for (const Case& c : cases) {
        Outcome o = Sim("sweep " + c.arguments + " --quiet --out " + c.out + " '" + gene + "'");
        EXPECT_EQ(o.status, 2) << c.arguments;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.arguments << "\n" << o.err;
        EXPECT_FALSE(std::filesystem::exists(In("bad"))) << c.arguments;
    }
    Outcome noGene = Sim("sweep --seeds 1 --out bad '" + In("missing.txt") + "'");
    EXPECT_EQ(noGene.status, 2);
    EXPECT_NE(noGene.err.find("cannot read the gene file"), std::string::npos) << noGene.err;
    EXPECT_EQ(ReadAll(In("held/results.csv")), held) << "a refused sweep leaves the folder's table alone";
}

}  // namespace
}  // namespace qm
