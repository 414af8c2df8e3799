// What a run gives out of itself: its frame (the centre of its nodes beside the
// camera's point), the summary of a finished run, and its resumption from a
// folder of checkpoints.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <unistd.h>

#include "api/Gene.h"
#include "api/Run.h"
#include "record/RunCheckpoint.h"

namespace qm {
namespace {

Diagnostics Quiet() {
    Diagnostics quiet;
    quiet.SetSink([](std::string_view) {});
    quiet.SetErrorLogPath("");
    return quiet;
}

std::string DataFile(const std::string& name) {
    const char* data = std::getenv("QM_DATA");
    return std::string(data ? data : "data") + "/" + name;
}

// The mean of a column of the frame's node rows, as a reader of them computes it.
double ColumnMean(const Frame& frame, const char* name) {
    for (const FrameColumn& column : Frame::Columns()) {
        if (std::strcmp(column.name, name) != 0) continue;
        double sum = 0.0;
        for (std::size_t at = 0; at < frame.nodeRows.size(); at += Frame::RowBytes()) {
            float v;
            std::memcpy(&v, frame.nodeRows.data() + at + column.offset, sizeof v);
            sum += v;
        }
        return sum / static_cast<double>(frame.nodes);
    }
    ADD_FAILURE() << "no column " << name;
    return 0.0;
}

// The walker of seed 1 loses a node in step 501: the camera's point (the
// moved nodes over the count before the step) drops to about half, the
// centre of the nodes does not.
TEST(FrameTest, TheCenterIsTheMeanOfTheNodesWhereTheCentroidHalves) {
    qm::Run run(Gene::FromFile(DataFile("genes/walker.txt")), RunSettings{1, {}, DefaultMaxNodes(), {}, {}},
                Quiet());
    run.Step(500);
    const Frame before = run.View();
    run.Step();
    const Frame after = run.View();
    ASSERT_EQ(after.step, 501);
    ASSERT_GT(before.centroid.z, 100.0f);
    EXPECT_LT(after.centroid.z, 0.6f * before.centroid.z) << "the walker no longer shows the jump";
    EXPECT_GT(after.center.z, 0.95f * before.center.z);
    for (const Frame* frame : {&before, &after}) {
        EXPECT_NEAR(frame->center.x, ColumnMean(*frame, "x"), 1e-3);
        EXPECT_NEAR(frame->center.z, ColumnMean(*frame, "z"), 1e-3);
    }
}

// A run run to its end, however it ended, sums up as its outcome and its last
// step's figures, with the goal's step the one after the last counted.
TEST(FrameTest, AFinishedRunSumsUpAsItsOutcomeAndLastStep) {
    const struct {
        const char* gene;
        int maxNodes;
        const char* word;
    } ends[] = {
        {"genes/goal-seeker.txt", DefaultMaxNodes(), "goal"},
        {"genes/walker.txt", DefaultMaxNodes(), "completed"},
        {"genes/goal-seeker.txt", 20, "error"},  // divides past the node cap
    };
    for (const auto& end : ends) {
        SCOPED_TRACE(std::string(end.gene) + " ending as " + end.word);
        qm::Run run(Gene::FromFile(DataFile(end.gene)), RunSettings{1, {}, end.maxNodes, 600, {}}, Quiet());
        while (run.Step() == RunOutcome::Kind::Running) {
        }
        const RunSummary summary = run.Summary();
        const Frame now = run.View(Frame::Detail::kFigures);
        EXPECT_STREQ(OutcomeWord(summary.outcome.kind), end.word);
        EXPECT_EQ(summary.outcome.text, run.Outcome().text);
        EXPECT_EQ(summary.last.step, run.Steps());
        EXPECT_EQ(summary.last.nodes, now.nodes);
        EXPECT_EQ(summary.last.closest, run.Closest());
        const bool goal = summary.outcome.kind == RunOutcome::Kind::GoalReached;
        EXPECT_EQ(summary.last.goalStep, goal ? std::optional(run.Steps() + 1) : std::nullopt);
        EXPECT_EQ(summary.last.goalNode, goal ? std::optional(summary.outcome.goalNode) : std::nullopt);
        EXPECT_EQ(summary.last.step < 600, goal || summary.outcome.kind == RunOutcome::Kind::Error);
    }
}

TEST(FrameTest, ResumeOfAFolderGoesOnFromItsNewestWholeCheckpoint) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("qm-frame-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const Gene gene = Gene::FromFile(DataFile("source.txt"));
    qm::Run straight(gene, RunSettings{3, {}, DefaultMaxNodes(), {}, {}}, Quiet());
    for (long long step : {40, 80}) {
        straight.Step(step - straight.Steps());
        straight.Save(record::CheckpointName(dir.string(), step));
    }
    const std::string at80 = record::CheckpointName(dir.string(), 80);
    std::ofstream(record::CheckpointName(dir.string(), 120)) << "a checkpoint cut short";

    std::unique_ptr<qm::Run> resumed = qm::Run::Resume(dir.string(), Quiet());
    EXPECT_EQ(resumed->Steps(), 80);
    straight.Step(30);
    resumed->Step(30);
    EXPECT_EQ(resumed->View().nodeRows, straight.View().nodeRows);
    EXPECT_EQ(resumed->View().linkIds, straight.View().linkIds);

    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    try {
        qm::Run::Resume(dir.string(), Quiet());
        ADD_FAILURE() << "an empty folder resumed";
    } catch (const CheckpointError& e) {
        EXPECT_NE(e.message.find("reads whole"), std::string::npos) << e.message;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qm
