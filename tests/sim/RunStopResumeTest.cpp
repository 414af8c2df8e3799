// quillmoth-sim run stopped by a signal, resumed from a folder into the files
// it wrote, and what its summary and traces say about how it went: a run
// interrupted and resumed with --append leaves the trace and stats files of
// the run that was never interrupted.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "record/Hdf5.h"
#include "record/RecordTestSupport.h"
#include "record/TraceHdf5.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

using test::SplitLines;
using test::WithoutWallTime;

// Doubles every 50 steps: 4,096 nodes by step 600, each step slower than the last.
constexpr const char* kGrow = "PROG2 ( SETP ( 0 ADD ( GETP 0 ) 0.02 ) ) ( GDIVIDE ( 0 ) )";

// Runs the command after the signal's name, and once its stats file shows
// rows on disk (the first few kilobytes, some eighty steps in) pauses it,
// sends it the signal and lets it go on: the signal comes in the middle of a
// step, long before the run's end and between two of its checkpoints.
constexpr const char* kStopScript =
    "sig=$1; shift\n"
    "\"$@\" &\n"
    "pid=$!\n"
    "while [ ! -s s.csv ] && kill -0 $pid 2>/dev/null; do sleep 0.01; done\n"
    "kill -STOP $pid; kill -$sig $pid; kill -CONT $pid\n"
    "wait $pid\n";

// A summary field's value as written.
std::string Field(const std::string& summary, const std::string& name) {
    std::smatch m;
    if (!std::regex_search(summary, m, std::regex("\"" + name + "\":(null|\"[a-z]+\"|-?[0-9.e+-]+)")))
        return "";
    return m[1].str();
}

// Every row of the three tables of an HDF5 trace as bytes, after its manifest:
// what two traces must share to hold the same run.
std::string TraceTables(const std::string& path) {
    namespace h5 = record::h5;
    const h5::Handle file = h5::OpenFile(path);
    std::string all = h5::ReadString(file.Get(), "manifest", 1 << 20) + "\n";
    const record::TraceTypes& types = record::TheTraceTypes();
    const struct {
        const char* name;
        hid_t type;
        std::size_t size;
    } tables[] = {{"steps", types.step.Get(), sizeof(record::StepRow)},
                  {"nodes", types.node.Get(), sizeof(record::NodeRow)},
                  {"links", types.link.Get(), sizeof(record::LinkRow)}};
    for (const auto& t : tables) {
        const h5::Handle dataset(H5Dopen2(file.Get(), t.name, H5P_DEFAULT));
        const h5::Handle space(H5Dget_space(dataset.Get()));
        hsize_t rows = 0;
        H5Sget_simple_extent_dims(space.Get(), &rows, nullptr);
        std::string bytes(rows * t.size, '\0');
        if (rows > 0) H5Dread(dataset.Get(), t.type, H5S_ALL, H5S_ALL, H5P_DEFAULT, bytes.data());
        all += std::string(t.name) + " " + std::to_string(rows) + "\n" + bytes;
    }
    return all;
}

std::vector<record::NodeRow> NodeRows(const std::string& path) {
    namespace h5 = record::h5;
    const h5::Handle file = h5::OpenFile(path);
    const h5::Handle dataset(H5Dopen2(file.Get(), "nodes", H5P_DEFAULT));
    const h5::Handle space(H5Dget_space(dataset.Get()));
    hsize_t rows = 0;
    H5Sget_simple_extent_dims(space.Get(), &rows, nullptr);
    std::vector<record::NodeRow> out(rows);
    if (rows > 0) {
        H5Dread(dataset.Get(), record::TheTraceTypes().node.Get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, out.data());
    }
    return out;
}

class RunStopResumeTest : public test::SimFolderTest {
  protected:
    // The trace of `name` as what its run recorded: the bytes of a JSON trace,
    // the tables of an HDF5 one.
    std::string TraceContents(const std::string& name) const {
        return name.size() > 3 && name.substr(name.size() - 3) == ".h5" ? TraceTables(In(name))
                                                                        : ReadFile(In(name));
    }
};

// SIGTERM and SIGINT: the step is finished, a checkpoint of it saved, trace
// and stats flushed, the summary says "interrupted", and the status is 128 +
// the signal. --resume DIR --append then goes on into the same files, which
// end up as the uninterrupted run's.
TEST_F(RunStopResumeTest, AStoppedRunResumedIntoItsFilesEqualsTheRunNeverStopped) {
    Put("grow.txt", kGrow);
    Put("stop.sh", kStopScript);
    const struct {
        const char* signal;
        int status;
        const char* trace;
    } cases[] = {{"TERM", 143, "t.jsonl"}, {"INT", 130, "t.h5"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        std::filesystem::remove_all(In("ck"));
        std::filesystem::remove(In("s.csv"));
        const std::string outputs =
            std::string(" --trace ") + c.trace + " --trace-every 20 --stats s.csv --log log.txt";
        const std::string args =
            "run --seed 3 --steps 600 --checkpoint-every 500 --checkpoint-dir ck" + outputs + " grow.txt";
        const test::Outcome stopped =
            test::RunSim("/bin/sh", "stop.sh " + std::string(c.signal) + " '" + sim + "' " + args, dir);
        ASSERT_EQ(stopped.status, c.status) << stopped.err;
        EXPECT_EQ(Field(stopped.out, "outcome"), "\"interrupted\"") << stopped.out;
        const long long at = std::stoll(Field(stopped.out, "steps"));
        ASSERT_GT(at, 0);
        ASSERT_LT(at, 600);
        char name[32];
        std::snprintf(name, sizeof name, "ck/step-%08lld.h5", at);
        EXPECT_TRUE(std::filesystem::exists(In(name))) << name;  // saved on the signal, between 500s
        EXPECT_NE(
            stopped.err.find("stopped by SIG" + std::string(c.signal) + " after step " + std::to_string(at)),
            std::string::npos)
            << stopped.err;
        const std::vector<std::string> rows = SplitLines(ReadFile(In("s.csv")));
        ASSERT_EQ(static_cast<long long>(rows.size()), at + 3);  // the manifest, the header, steps 0 to at
        EXPECT_EQ(rows.back().rfind(std::to_string(at) + ",", 0), 0u);
        EXPECT_FALSE(std::filesystem::exists(In("log.txt")));  // an interruption is no error

        const test::Outcome resumed = Sim("run --quiet --resume ck --append --steps 600" + outputs);
        ASSERT_EQ(resumed.status, 0) << resumed.err;
        const test::Outcome straight =
            Sim(std::string("run --quiet --seed 3 --steps 600 --trace-every 20 --trace straight-") + c.trace +
                " --stats straight.csv --log straight.log grow.txt");
        ASSERT_EQ(straight.status, 0) << straight.err;
        EXPECT_EQ(WithoutWallTime(resumed.out), WithoutWallTime(straight.out));
        EXPECT_TRUE(ReadFile(In("s.csv")) == ReadFile(In("straight.csv")));
        EXPECT_TRUE(TraceContents(c.trace) == TraceContents(std::string("straight-") + c.trace));
    }
}

// --resume DIR takes the newest checkpoint of DIR that reads whole and says
// which newer ones it skipped; a checkpoint named as a file still works; a
// folder without a whole one is refused.
TEST_F(RunStopResumeTest, ResumingFromAFolderTakesItsNewestWholeCheckpoint) {
    Put("grow.txt", kGrow);
    ASSERT_EQ(
        Sim("run --quiet --seed 3 --steps 60 --checkpoint-every 20 --checkpoint-dir ck --log l.txt grow.txt")
            .status,
        0);
    std::filesystem::create_directories(In("none"));
    Put("ck/step-00000070.h5", ReadFile(In("ck/step-00000060.h5")).substr(0, 4000));  // cut short
    Put("ck/step-00000080.h5", "not a checkpoint");
    Put("ck/step-00000090.h5.partial-Ab12Cd", "a write that was cut short");
    const struct {
        const char* resume;
        int status;
        long long from;                 // the step it went on from (-1: refused)
        std::vector<std::string> says;  // on standard error
    } cases[] = {
        {"ck",
         0,
         60,
         {"skipped ck/step-00000080.h5: not a Quillmoth checkpoint",
          "skipped ck/step-00000070.h5: cut short: it holds 4000 of its"}},
        {"ck/step-00000040.h5", 0, 40, {}},
        {"none", 2, -1, {"cannot resume: no checkpoint in 'none' reads whole"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resume);
        const test::Outcome o =
            Sim(std::string("run --resume ") + c.resume + " --steps 100 --log l.txt --trace t.jsonl");
        EXPECT_EQ(o.status, c.status) << o.err;
        for (const std::string& text : c.says) EXPECT_NE(o.err.find(text), std::string::npos) << o.err;
        if (c.from < 0) {
            EXPECT_EQ(o.out, "");
            continue;
        }
        EXPECT_EQ(Field(o.out, "steps"), "100");
        const std::vector<std::string> lines = SplitLines(ReadFile(In("t.jsonl")));
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[1].rfind("{\"step\":" + std::to_string(c.from + 1) + ",", 0), 0u);
    }
}

// A checkpoint folder holding another run's checkpoints (another gene, seed
// or goal) is refused before anything is written; the same run's (another
// node limit or length too) is taken.
TEST_F(RunStopResumeTest, ACheckpointFolderOfAnotherRunIsRefused) {
    Put("grow.txt", kGrow);
    Put("other.txt", "PROG2 ( SETP ( 0 ADD ( GETP 0 ) 0.03 ) ) ( GDIVIDE ( 0 ) )");
    const std::string into = " --checkpoint-every 10 --checkpoint-dir ck --log l.txt --stats s.csv ";
    ASSERT_EQ(Sim("run --quiet --seed 3 --steps 20" + into + "grow.txt").status, 0);
    const struct {
        std::string args;
        int status;
    } cases[] = {
        {"--seed 4 --steps 30", 2},
        {"--seed 3 --steps 30 --goal 0,-25,100", 2},
        {"--seed 3 --steps 30 other.txt", 2},
        {"--seed 3 --steps 30 --max-nodes 5000", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        std::filesystem::remove(In("s.csv"));
        const std::string args = c.args.find(".txt") == std::string::npos ? c.args + " grow.txt" : c.args;
        const test::Outcome o = Sim("run --quiet" + into + args);
        EXPECT_EQ(o.status, c.status) << o.err;
        if (c.status == 0) {
            EXPECT_TRUE(std::filesystem::exists(In("ck/step-00000030.h5")));
            continue;
        }
        EXPECT_NE(o.err.find("the checkpoint folder 'ck' holds the checkpoints of another run"),
                  std::string::npos)
            << o.err;
        EXPECT_FALSE(std::filesystem::exists(In("s.csv")));
        EXPECT_FALSE(std::filesystem::exists(In("ck/step-00000030.h5")));
    }
}

// --append keeps what the files hold up to the checkpoint's step and drops the
// rest (a run killed after its checkpoint recorded more): resumed from 50 into
// the files of a run that went to 120, they are that run's files again. Files
// of another run, of another step interval or without every step up to the
// checkpoint are refused and left as they were.
TEST_F(RunStopResumeTest, AppendingKeepsTheFilesUpToTheCheckpointAndRefusesOthers) {
    Put("grow.txt", kGrow);
    for (const char* trace : {"a.jsonl", "a.h5"}) {
        SCOPED_TRACE(trace);
        std::filesystem::remove_all(In("ck"));
        std::filesystem::remove(In("s.csv"));
        const std::string outputs =
            std::string(" --trace ") + trace + " --trace-every 2 --stats a.csv --log l.txt";
        ASSERT_EQ(Sim("run --quiet --seed 3 --steps 120 --checkpoint-every 50 --checkpoint-dir ck" + outputs +
                      " grow.txt")
                      .status,
                  0);
        const std::string trace0 = TraceContents(trace);
        const std::string stats0 = ReadFile(In("a.csv"));
        ASSERT_EQ(Sim("run --quiet --resume ck/step-00000050.h5 --append --steps 120" + outputs).status, 0);
        EXPECT_TRUE(TraceContents(trace) == trace0);
        EXPECT_TRUE(ReadFile(In("a.csv")) == stats0);
    }
    // The refusals, each on files that stay as they are.
    ASSERT_EQ(
        Sim("run --quiet --seed 4 --steps 60 --trace b.jsonl --stats b.csv --log l.txt grow.txt").status, 0);
    const std::vector<std::string> resumed = SplitLines(ReadFile(In("a.csv")));  // the resumed run's
    Put("short.csv", resumed[0] + "\n" + resumed[1] + "\n0,1,0,0,0,0,1\n");
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {"--trace b.jsonl", "--append: b.jsonl: the trace of another run"},
        {"--trace a.jsonl --trace-every 3", "a.jsonl: recorded every 2 steps, not every 3 (--trace-every)"},
        {"--stats short.csv", "it holds rows up to step 0, not up to the checkpoint's step 50"},
        {"--trace - ", "--append goes on with files; standard output (-) cannot be continued"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string before =
            ReadFile(In("b.jsonl")) + ReadFile(In("a.jsonl")) + ReadFile(In("short.csv"));
        const test::Outcome o =
            Sim("run --quiet --resume ck/step-00000050.h5 --append --steps 120 --log l.txt " + c.args);
        EXPECT_EQ(o.status, 2);
        EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
        EXPECT_TRUE(ReadFile(In("b.jsonl")) + ReadFile(In("a.jsonl")) + ReadFile(In("short.csv")) == before);
    }
    EXPECT_EQ(Sim("run --append --seed 1 grow.txt").status, 2);
}

// The summary names the step the goal was reached in (the stats row of that
// step has the same number: one more than the steps completed), the node that
// reached it and the closest approach (the least goal distance of the stats),
// and the wall time; a run that did not reach the goal names no step.
TEST_F(RunStopResumeTest, TheSummarySaysWhereAndWhenTheGoalWasReached) {
    Put("idle.txt", "0");
    Put("source.txt", ReadFile(Data("source.txt")));
    const struct {
        std::string args;
        int status;
        bool goal;
    } cases[] = {
        {"--seed 5 --goal 0,-24,0 --steps 1000 idle.txt", 3, true},
        {"--seed 5 --goal 3,-20,2 --steps 400 source.txt", 3, true},
        {"--seed 5 --steps 40 idle.txt", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        if (Data("source.txt").empty()) GTEST_SKIP() << "QM_DATA names the data folder; ctest sets it";
        std::filesystem::remove(In("log.txt"));
        const test::Outcome o = Sim("run --quiet --stats s.csv --log log.txt " + c.args);
        ASSERT_EQ(o.status, c.status) << o.err;
        const std::vector<std::string> rows = SplitLines(ReadFile(In("s.csv")));
        float least = 1e30f;
        for (std::size_t i = 2; i < rows.size(); ++i)  // past the manifest and the header
            least = std::min(least, std::stof(rows[i].substr(rows[i].rfind(',') + 1)));
        EXPECT_FLOAT_EQ(std::stof(Field(o.out, "closest")), least);
        EXPECT_GE(std::stod(Field(o.out, "wall_seconds")), 0.0);
        if (!c.goal) {
            EXPECT_EQ(Field(o.out, "goal_step"), "null");
            EXPECT_EQ(Field(o.out, "goal_node"), "null");
            EXPECT_EQ(static_cast<long long>(rows.size()), std::stoll(Field(o.out, "steps")) + 3);
            continue;
        }
        const long long goalStep = std::stoll(Field(o.out, "goal_step"));
        EXPECT_EQ(goalStep, std::stoll(Field(o.out, "steps")) + 1);
        EXPECT_EQ(rows.back().rfind(std::to_string(goalStep) + ",", 0), 0u) << rows.back();
        EXPECT_LT(std::stof(rows.back().substr(rows.back().rfind(',') + 1)), 2.0f);
        const std::string log = ReadFile(In("log.txt"));
        EXPECT_NE(log.find("Node ID: " + Field(o.out, "goal_node") + ";\nGOAL!\n"), std::string::npos) << log;
    }
}

// Every node of a trace carries its parent's id and the step it was made in:
// the first node has no parent and step 0; every other appears first in its
// birth step's line, its parent older and there in the line before. The HDF5
// columns hold the same, and a resumed run goes on with the saved lineage.
TEST_F(RunStopResumeTest, EveryNodeOfATraceCarriesItsParentAndBirthStep) {
    Put("grow.txt", kGrow);
    ASSERT_EQ(
        Sim("run --quiet --seed 3 --steps 260 --trace t.jsonl --checkpoint-every 200 --checkpoint-dir ck "
            "--log l.txt grow.txt")
            .status,
        0);
    ASSERT_EQ(Sim("run --quiet --seed 3 --steps 260 --trace t.h5 --log l.txt grow.txt").status, 0);
    const std::regex node(R"re(\{"id":(\d+),.*?"parent":(-?\d+),"born":(-?\d+)\})re");
    std::map<int, std::pair<int, int>> lineage;  // id: parent, born
    std::vector<std::vector<int>> idsByStep;
    const std::vector<std::string> lines = SplitLines(ReadFile(In("t.jsonl")));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<int> ids;
        for (std::sregex_iterator it(lines[i].begin(), lines[i].end(), node), end; it != end; ++it) {
            const int id = std::stoi((*it)[1]);
            const std::pair<int, int> mine{std::stoi((*it)[2]), std::stoi((*it)[3])};
            ids.push_back(id);
            if (!lineage.count(id)) {
                lineage[id] = mine;
                EXPECT_EQ(mine.second, static_cast<int>(i - 1)) << "node " << id << " first seen then";
            }
            EXPECT_EQ(lineage[id], mine) << "node " << id << " changed its lineage";
        }
        idsByStep.push_back(ids);
    }
    ASSERT_GT(lineage.size(), 20u);
    EXPECT_EQ(lineage[0], std::make_pair(-1, 0));
    for (const auto& [id, l] : lineage) {
        if (id == 0) continue;
        EXPECT_LT(l.first, id);
        const std::vector<int>& before = idsByStep.at(static_cast<std::size_t>(l.second - 1));
        EXPECT_TRUE(std::find(before.begin(), before.end(), l.first) != before.end()) << "node " << id;
    }
    std::size_t rows = 0;
    for (const record::NodeRow& r : NodeRows(In("t.h5"))) {
        ++rows;
        EXPECT_EQ(std::make_pair(r.parent, r.born), lineage.at(r.id)) << "node " << r.id;
    }
    EXPECT_GT(rows, lineage.size());
    // Going on from step 200: the nodes made before keep their lineage.
    ASSERT_EQ(Sim("run --quiet --resume ck --steps 260 --trace r.jsonl --log l.txt").status, 0);
    EXPECT_EQ(SplitLines(ReadFile(In("r.jsonl"))).back(), lines.back());
}

}  // namespace
}  // namespace qm
