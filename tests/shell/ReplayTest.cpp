// Replaying a trace in the window, without a window: the cursor's moves at
// both ends of a trace, the replay drawing what the live world drew at the
// same step, a trace cut short, and the keys reaching the replay.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

#include <gtest/gtest.h>

#include "base/RunContext.h"

#include "base/KeyCodes.h"
#include "experiment/RunGuard.h"
#include "node/NodeDrawing.h"
#include "record/Manifest.h"
#include "record/TraceWriter.h"
#include "shell/ReplayCursor.h"
#include "shell/ReplayDriver.h"
#include "shell/WndProc.h"
#include "support/DebugCapture.h"
#include "support/SceneTestSupport.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

TEST(ReplayCursor, PlaysAtItsSpeedAndHoldsTheLastStepOnceTheEndIsKnown) {
    ReplayCursor c;
    c.Advance();
    EXPECT_EQ(c.Index(), 1u);
    c.Faster();
    c.Faster();
    c.Advance();
    EXPECT_EQ(c.Index(), 4u);
    EXPECT_EQ(c.KnownCount(), 0u);
    c.EndsAt(6);
    c.Advance();
    EXPECT_EQ(c.Index(), 5u);
    c.Advance();
    EXPECT_EQ(c.Index(), 5u);
    // An end found before the position pulls it back onto the last step.
    c.EndsAt(3);
    EXPECT_EQ(c.Index(), 2u);
    EXPECT_EQ(c.KnownCount(), 3u);
}

TEST(ReplayCursor, SpeedStaysBetweenOneAndTheMost) {
    ReplayCursor c;
    c.Slower();
    EXPECT_EQ(c.Speed(), 1);
    for (int i = 0; i < ReplayCursor::kMaxSpeed + 5; ++i) c.Faster();
    EXPECT_EQ(c.Speed(), ReplayCursor::kMaxSpeed);
    c.Slower();
    EXPECT_EQ(c.Speed(), ReplayCursor::kMaxSpeed - 1);
}

TEST(ReplayCursor, StepsPauseAndStopAtBothEndsAndHomeKeepsPlaying) {
    ReplayCursor c;
    c.StepBack();
    EXPECT_EQ(c.Index(), 0u);
    EXPECT_TRUE(c.Paused());
    c.Advance();  // paused: no move
    EXPECT_EQ(c.Index(), 0u);
    c.EndsAt(3);
    c.StepForward();
    c.StepForward();
    c.StepForward();
    EXPECT_EQ(c.Index(), 2u);
    c.StepBack();
    EXPECT_EQ(c.Index(), 1u);

    c.TogglePause();
    EXPECT_FALSE(c.Paused());
    c.Home();
    EXPECT_EQ(c.Index(), 0u);
    EXPECT_FALSE(c.Paused());
    c.Advance();
    EXPECT_EQ(c.Index(), 1u);
}

// A run of the starter creature recorded as a trace, in a scratch folder; the
// live driver is kept at its last step.
class ReplayDriverTest : public ::testing::Test {
  protected:
    static constexpr int kSteps = 60;

    void Record(const std::string& trace) {
        RunGuard guard(liveContext);
        guard.SeedRandom(5);
        live = std::make_unique<SourceTester>(liveContext, "source.txt");
        live->Init();
        const NodeManager& world = *live->Worlds()[0];
        record::Manifest manifest;
        manifest.geneFile = "source.txt";
        manifest.seed = 5;
        manifest.steps = kSteps;
        manifest.goal = NodeManager::kDefaultGoal;
        manifest.maxNodes = 100000;
        std::unique_ptr<record::TraceWriter> writer;
        try {
            writer = record::OpenTraceWriter(trace, {manifest.Json(), "", 0}, nullptr);
        } catch (const record::RecordError& e) {
            FAIL() << e.message;
        }
        writer->Write(0, world);
        for (int step = 1; step <= kSteps; ++step) {
            ASSERT_TRUE(guard.Step(*live));
            writer->Write(step, world);
        }
        writer->Flush();
    }

    // The cubes (position, material) and the links (both ends, either way
    // round) a device was asked to draw.
    using Cube = std::tuple<float, float, float, float, float, float>;
    using Line = std::set<std::tuple<float, float, float>>;
    static std::vector<Cube> Cubes(const RecordingDevice& d) {
        std::vector<Cube> cubes;
        for (const DrawRecord& r : d.draws) {
            if (r.kind != DrawRecord::Kind::MeshSubset || r.alphaBlend) continue;
            cubes.emplace_back(r.world.m[3][0], r.world.m[3][1], r.world.m[3][2], r.material.Diffuse.r,
                               r.material.Diffuse.g, r.material.Ambient.b);
        }
        return cubes;
    }
    static std::set<Line> Lines(const RecordingDevice& d) {
        std::set<Line> lines;
        for (const DrawRecord& r : d.draws) {
            if (r.kind != DrawRecord::Kind::LineList) continue;
            Line line;
            for (const ColorVertex& v : r.lineVertices) line.emplace(v.x, v.y, v.z);
            lines.insert(line);
        }
        return lines;
    }

    void SetUp() override { drawing.Init(device); }

    test::ScratchFolder folder{{"source.txt"}};
    RecordingDevice device;
    NodeDrawing drawing;
    RunContext liveContext;  // the recorded run's
    RunContext context;      // the replay's
    std::unique_ptr<SourceTester> live;
};

TEST_F(ReplayDriverTest, DrawsTheRecordedStepAsTheLiveWorldDrewIt) {
    for (const char* trace : {"run.jsonl", "run.h5"}) {
        SCOPED_TRACE(trace);
        Record(trace);
        RecordingDevice liveDevice;
        live->Render(liveDevice, drawing);

        ReplayDriver replay(context, trace);
        for (int i = 0; i < 20; ++i) replay.KeyDown(static_cast<int>(kVkUp));  // 21 steps a frame
        for (int i = 0; i < 3; ++i) replay.Action();
        EXPECT_EQ(replay.Frame().step, kSteps);
        EXPECT_EQ(replay.Cursor().KnownCount(), static_cast<std::size_t>(kSteps + 1));
        device.draws.clear();
        replay.Render(device, drawing);

        // The starter creature has divided and linked by then: there is something to compare.
        ASSERT_GT(live->Worlds()[0]->GetNodeCount(), 4);
        ASSERT_GT(Lines(liveDevice).size(), 2u);
        EXPECT_EQ(Cubes(device), Cubes(liveDevice));
        EXPECT_EQ(Lines(device), Lines(liveDevice));
        // The camera's C centres on the nodes shown.
        EXPECT_NEAR(replay.GetCentroid().y, live->GetCentroid().y, 1e-3f);
    }
}

TEST_F(ReplayDriverTest, ACutTracePlaysToItsLastWholeStepAndSaysWhereItStopped) {
    Record("run.jsonl");
    const auto size = std::filesystem::file_size("run.jsonl");
    std::filesystem::resize_file("run.jsonl", size - 40);  // into the last step's line

    test::DebugCapture debug(context.diagnostics);
    ReplayDriver replay(context, "run.jsonl");
    EXPECT_EQ(replay.Show(1000), static_cast<std::size_t>(kSteps - 1));
    EXPECT_EQ(replay.Frame().step, kSteps - 1);
    EXPECT_NE(debug.Text().find("stops after step 59"), std::string::npos) << debug.Text();
    replay.Action();  // at the end: stays, and the text lines say where the trace stopped
    EXPECT_EQ(replay.Frame().step, kSteps - 1);
    EXPECT_EQ(replay.StatusLine(), "step 59 (60 of 60)");
    // Said once, not every frame.
    replay.Action();
    EXPECT_EQ(debug.Text().find("stops after"), debug.Text().rfind("stops after"));

    // Home, then one recorded step forward and back.
    replay.KeyDown(static_cast<int>(kVkHome));
    replay.KeyDown(static_cast<int>(kVkRight));
    replay.Action();
    EXPECT_EQ(replay.Frame().step, 1);
    replay.KeyDown(static_cast<int>(kVkLeft));
    replay.Action();
    EXPECT_EQ(replay.Frame().step, 0);
    EXPECT_EQ(replay.StatusLine(), "step 0 (1 of 60), paused");
}

TEST_F(ReplayDriverTest, ATraceWithoutAWholeStepIsRefused) {
    Record("run.jsonl");
    std::ifstream in("run.jsonl");
    std::string manifestLine;
    std::getline(in, manifestLine);
    folder.Write("cut.jsonl", manifestLine + "\n{\"step\":0,\"nodes\":[");
    EXPECT_THROW(ReplayDriver(context, "cut.jsonl"), record::RecordError);
}

TEST_F(ReplayDriverTest, TheWindowsKeysReachTheReplay) {
    Record("run.jsonl");
    test::FakeServices services;
    Shell shell;
    shell.services = &services;
    shell.state.replaying = true;
    shell.replay = std::make_unique<ReplayDriver>(shell.context, "run.jsonl");
    shell.tester = shell.replay.get();
    const auto& replay = static_cast<const ReplayDriver&>(*shell.tester);
    auto release = [&](std::uint32_t key) {
        WindowMessage m;
        m.type = WindowMessage::Type::KeyUp;
        m.key = key;
        WndProc(shell, m);
    };

    release(kVkUp);
    release(kVkUp);
    EXPECT_EQ(replay.Cursor().Speed(), 3);
    EXPECT_EQ(shell.state.stepsPerFrame, 1);  // the world's steps per frame stay as they are
    release(kVkDown);
    EXPECT_EQ(replay.Cursor().Speed(), 2);
    release(kVkReturn);
    EXPECT_TRUE(replay.Cursor().Paused());
    release(kVkRight);
    release(kVkRight);
    EXPECT_EQ(replay.Cursor().Index(), 2u);
    release(kVkHome);
    EXPECT_EQ(replay.Cursor().Index(), 0u);
    release(kVkP);
    EXPECT_TRUE(shell.state.screenshotRequested);
}

}  // namespace
}  // namespace qm
