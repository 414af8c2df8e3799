// quillmoth-sim run --resume as a user runs it: a run that goes on from a
// checkpoint writes the same trace lines, stats rows, summary, log and exit
// status as the run that wrote the checkpoint, byte for byte, for genes that
// grow, divide either way, die, cut links, meet the floor and the ceiling,
// reach the goal or fail after the checkpoint.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "record/RecordTestSupport.h"
#include "record/TraceReader.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

using test::SplitLines;

struct Case {
    const char* name;
    std::string gene;  // source text, or "data:FILE" for a file of data/
    std::string args;
    int status;         // of both runs
    const char* shows;  // what happens after the checkpoint that the case is there for
    int at = 80;        // the checkpoint's step
    int steps = 200;
};

// What happens in the straight run after the checkpoint, read from its trace.
struct Events {
    bool grows = false, dies = false, cuts = false, floor = false, ceiling = false;
};

Events After(const record::TraceContents& trace, long long from) {
    Events e;
    const record::TraceFrame* before = nullptr;
    for (const record::TraceFrame& f : trace.frames) {
        if (f.step < from) continue;
        for (const record::TraceNode& n : f.nodes) {
            e.floor = e.floor || n.pos.y <= -24.99f;
            e.ceiling = e.ceiling || n.pos.y >= 24.0f;
        }
        if (before) {
            std::set<int> ids, old;
            for (const auto& n : f.nodes) ids.insert(n.id);
            for (const auto& n : before->nodes) old.insert(n.id);
            e.grows = e.grows || ids.size() > old.size();
            for (int id : old) e.dies = e.dies || !ids.count(id);
            for (const auto& [a, b] : before->links) {
                const bool kept = std::binary_search(f.links.begin(), f.links.end(), std::make_pair(a, b));
                e.cuts = e.cuts || (!kept && ids.count(a) && ids.count(b));
            }
        }
        before = &f;
    }
    return e;
}

std::string CheckpointFile(int step) {
    char name[32];
    std::snprintf(name, sizeof name, "step-%08d.h5", step);
    return name;
}

class ResumeTest : public test::SimFolderTest {
  protected:
    // The straight run to 200 checkpoints at 80 and 160; the resumed one goes
    // on from 80 and checkpoints too. Everything from step 81 on must match.
    // (Or another checkpoint step `at` and length `steps`.)
    void ExpectResumeIsExact(const Case& c) {
        SCOPED_TRACE(c.name);
        std::string gene = c.gene;
        if (gene.rfind("data:", 0) == 0) {
            gene = Data(gene.substr(5));
            if (gene.empty()) GTEST_SKIP() << "QM_DATA names the data folder; ctest sets it";
        } else {
            gene = Put(std::string(c.name) + ".txt", gene);
        }
        const std::string name = c.name;
        const std::string at = std::to_string(c.at), steps = std::to_string(c.steps);
        const std::string checkpoint = name + "-a/" + CheckpointFile(c.at);
        const test::Outcome straight =
            Sim("run --quiet --steps " + steps + " --checkpoint-every " + at + " --checkpoint-dir " + name +
                "-a --trace " + name + "-a.jsonl --stats " + name + "-a.csv --log " + name + "-a.log " +
                c.args + " '" + gene + "'");
        const test::Outcome resumed =
            Sim("run --quiet --resume " + checkpoint + " --steps " + steps + " --checkpoint-every " + at +
                " --checkpoint-dir " + name + "-b --trace " + name + "-b.jsonl --stats " + name +
                "-b.csv --log " + name + "-b.log");
        EXPECT_EQ(straight.status, c.status) << straight.err;
        EXPECT_EQ(resumed.status, straight.status) << resumed.err;
        EXPECT_EQ(test::WithoutWallTime(resumed.out),
                  test::WithoutWallTime(straight.out));  // the summary, its manifest included
        EXPECT_EQ(resumed.err, straight.err);

        // Trace: the straight one has the manifest and steps 0..; the resumed one its manifest and at + 1...
        const std::size_t first = static_cast<std::size_t>(c.at) + 2;  // the straight line of step at + 1
        std::vector<std::string> a = SplitLines(ReadFile(In(name + "-a.jsonl")));
        std::vector<std::string> b = SplitLines(ReadFile(In(name + "-b.jsonl")));
        ASSERT_GT(a.size(), first);
        ASSERT_GE(b.size(), 2u);
        // The resumed trace names its run alike and says where it went on from.
        EXPECT_EQ(b[0].substr(0, a[0].size() - 1), a[0].substr(0, a[0].size() - 1));
        EXPECT_EQ(b[0].substr(a[0].size() - 1),
                  ",\"resumed_from\":{\"checkpoint\":\"" + checkpoint + "\",\"step\":" + at + "}}");
        EXPECT_EQ(b[1].rfind("{\"step\":" + std::to_string(c.at + 1) + ",", 0), 0u);
        EXPECT_TRUE(
            std::equal(a.begin() + static_cast<std::ptrdiff_t>(first), a.end(), b.begin() + 1, b.end()))
            << "trace lines differ";

        // Stats: the straight rows from step at + 1 on are the resumed rows.
        std::vector<std::string> sa = SplitLines(ReadFile(In(name + "-a.csv")));
        std::vector<std::string> sb = SplitLines(ReadFile(In(name + "-b.csv")));
        // Each opens with the manifest's comment line and the header.
        ASSERT_GT(sa.size(), first + 1);
        ASSERT_GE(sb.size(), 2u);
        EXPECT_EQ(sb[0], sa[0]);
        EXPECT_EQ(sb[1], sa[1]);
        EXPECT_TRUE(std::equal(sa.begin() + static_cast<std::ptrdiff_t>(first) + 1, sa.end(), sb.begin() + 2,
                               sb.end()))
            << "stats rows differ";

        // The log: written alike, or not at all.
        ASSERT_EQ(std::filesystem::exists(In(name + "-b.log")), std::filesystem::exists(In(name + "-a.log")));
        if (std::filesystem::exists(In(name + "-a.log"))) {
            EXPECT_EQ(ReadFile(In(name + "-b.log")), ReadFile(In(name + "-a.log")));
        }
        // A checkpoint of the same state is the same file, whichever run wrote it.
        if (c.status == 0) {
            const std::string later = CheckpointFile(2 * c.at);
            EXPECT_TRUE(ReadFile(In(name + "-b/" + later)) == ReadFile(In(name + "-a/" + later)));
        }

        // The case shows what it is there for.
        const Events e = After(record::ReadTrace(In(name + "-a.jsonl")), c.at);
        const std::string shows = c.shows;
        EXPECT_TRUE(e.grows || shows.find("grows") == std::string::npos);
        EXPECT_TRUE(e.dies || shows.find("dies") == std::string::npos);
        EXPECT_TRUE(e.cuts || shows.find("cuts") == std::string::npos);
        EXPECT_TRUE(e.floor || shows.find("floor") == std::string::npos);
        EXPECT_TRUE(e.ceiling || shows.find("ceiling") == std::string::npos);
    }
};

TEST_F(ResumeTest, GoingOnFromACheckpointGivesTheBytesOfTheRunThatWroteIt) {
    const Case cases[] = {
        {"gdivide", "PROG2 ( SETP ( 0 ADD ( GETP 0 ) 0.02 ) ) ( GDIVIDE ( 0 ) )", "--seed 3", 0,
         "grows floor"},
        {"tdivide",
         "PROG3 ( SETP 0 ( ADD ( GETP 0 ) 0.1 ) ) ( IFT ( GT ECOUNT 0.15 ) ( TDIVIDE ( 0 ) ) ) ( SETCOLP 0 1 "
         "2 )",
         "--seed 2", 0, "grows"},
        {"deaths",
         "PROG3 ( SETP ( 0 ADD ( GETP 0 ) 0.02 ) ) ( ADDPAR 1 1 ) ( IFTE ( GT ( GETP 1 ) 1 ) DIE ( GDIVIDE 0 "
         ") )",
         "--seed 1", 0, "dies floor"},
        {"cuts",
         "PROG3 ( SETP 0 ( ADD ( GETP 0 ) 0.1 ) )\n"
         "      ( IFT ( GT ECOUNT 0.2 ) ( IFTE ( GT ( GETP 1 ) 0.5 ) ( TDIVIDE 0 ) ( GDIVIDE ( 0 ) ) ) )\n"
         "      ( PROG3 ( ADDPAR 1 SMELL ) ( PULSE ( 3 ) ) ( IFTE ( LT ECOUNT 0.15 ) ( CUTEDGE ) ( ELENGTH 4 "
         ") ) )",
         "--seed 2", 0, "grows cuts"},
        {"walls",
         "IFTE ( LT ( SMELL 0.000982 )\n"
         "       PROG2 ( SETP ( 0 1 ) GDIVIDE ( 0 ) )\n"
         "       IFT ( GT ( ECOUNT 0.2 ) PROG2 ( SETP ( 0 1 ) TDIVIDE ( 0 ) ) ) )\n",
         "--seed 17 --goal 0,-1000,0", 0, "grows ceiling", 12, 24},
        {"walker", "data:genes/walker.txt", "--seed 1", 0, "dies"},
        {"goal", "data:source.txt", "--seed 5 --goal 3,-20,2", 3, "grows"},
        {"limit", "PROG2 ( SETP ( 0 ADD ( GETP 0 ) 0.02 ) ) ( GDIVIDE ( 0 ) )", "--seed 3 --max-nodes 10", 1,
         ""},
    };
    for (const Case& c : cases) ExpectResumeIsExact(c);
}

TEST_F(ResumeTest, AnHdf5TraceOfAResumedRunHoldsTheSameSteps) {
    const std::string gene = Put("gene.txt", "PROG2 ( SETP ( 0 ADD ( GETP 0 ) 0.02 ) ) ( GDIVIDE ( 0 ) )");
    ASSERT_EQ(
        Sim("run --quiet --seed 3 --steps 120 --trace-every 5 --checkpoint-every 50 --checkpoint-dir ck "
            "--trace a.h5 --log a.log '" +
            gene + "'")
            .status,
        0);
    ASSERT_EQ(
        Sim("run --quiet --resume ck/step-00000050.h5 --steps 120 --trace-every 5 --trace b.h5 --log b.log")
            .status,
        0);
    const record::TraceContents a = record::ReadTrace(In("a.h5"));
    const record::TraceContents b = record::ReadTrace(In("b.h5"));
    EXPECT_EQ(a.stopped, "");
    EXPECT_EQ(b.stopped, "");
    ASSERT_EQ(a.frames.size(), 25u);  // steps 0, 5, ..., 120
    ASSERT_EQ(b.frames.size(), 14u);  // steps 55, ..., 120
    EXPECT_EQ(b.frames.front().step, 55);
    for (std::size_t i = 0; i < b.frames.size(); ++i) {
        const record::TraceFrame& x = a.frames[i + 11];
        const record::TraceFrame& y = b.frames[i];
        EXPECT_EQ(y.step, x.step);
        ASSERT_EQ(y.nodes.size(), x.nodes.size());
        for (std::size_t k = 0; k < x.nodes.size(); ++k) {
            EXPECT_EQ(y.nodes[k].id, x.nodes[k].id);
            EXPECT_EQ(y.nodes[k].pos, x.nodes[k].pos);
            EXPECT_EQ(y.nodes[k].color, x.nodes[k].color);
        }
        EXPECT_EQ(y.links, x.links);
    }
    EXPECT_EQ(b.manifestJson, a.manifestJson);
}

}  // namespace
}  // namespace qm
