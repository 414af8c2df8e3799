// `quillmoth --resume`: the window's driver, started from a checkpoint the way
// the program starts it and stepped by its frames, reaches the very state the
// uninterrupted run reaches at the same step.

#include <bit>
#include <cstdint>
#include <fstream>

#include <gtest/gtest.h>

#include "base/RunContext.h"

#include "experiment/RunGuard.h"
#include "node/NodeDrawing.h"
#include "record/RunCheckpoint.h"
#include "record/RunState.h"
#include "shell/FrameStep.h"
#include "shell/InitScene.h"
#include "shell/SavedRuns.h"
#include "support/SceneTestSupport.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

// Bit for bit: a NaN equals itself, 0 and -0 differ.
std::uint64_t Bits(double v) { return std::bit_cast<std::uint64_t>(v); }
std::uint64_t Bits(float v) { return std::bit_cast<std::uint32_t>(v); }
bool SameBits(double a, double b) { return Bits(a) == Bits(b); }
template <typename T, std::size_t N>
bool SameBits(const T (&a)[N], const T (&b)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        if (Bits(a[i]) != Bits(b[i])) return false;
    }
    return true;
}

void ExpectSameRun(const record::RunState& a, const record::RunState& b) {
    EXPECT_EQ(a.randomState, b.randomState);
    EXPECT_EQ(a.nextNodeId, b.nextNodeId);
    EXPECT_EQ(a.partners, b.partners);
    EXPECT_EQ(a.cellNodes, b.cellNodes);
    EXPECT_EQ(a.dying, b.dying);
    EXPECT_EQ(a.geneStarts, b.geneStarts);
    ASSERT_EQ(a.nodes.size(), b.nodes.size());
    for (std::size_t i = 0; i < a.nodes.size(); ++i) {
        const record::NodeRecord& x = a.nodes[i];
        const record::NodeRecord& y = b.nodes[i];
        EXPECT_TRUE(x.id == y.id && x.request == y.request && x.edgeCount == y.edgeCount &&
                    x.onGround == y.onGround && x.dying == y.dying && x.partnerCount == y.partnerCount &&
                    SameBits(x.pos, y.pos) && SameBits(x.vel, y.vel) && SameBits(x.force, y.force) &&
                    SameBits(x.edgeLength, y.edgeLength) && SameBits(x.param, y.param) &&
                    SameBits(x.paramInput, y.paramInput) && SameBits(x.paramFlux, y.paramFlux) &&
                    SameBits(x.diffRate, y.diffRate) && SameBits(x.material, y.material))
            << "node " << x.id << " differs";
    }
}

TEST(ResumeInWindow, FramesGoOnFromTheCheckpointAsTheUninterruptedRun) {
    constexpr int kAt = 40, kEnd = 90;
    test::ScratchFolder folder({"floor.bmp", "sky.bmp", "goal.bmp", "goal.x", "source.txt"});
    record::Manifest manifest;
    manifest.geneFile = "source.txt";
    manifest.seed = 11;
    manifest.steps = kEnd;
    manifest.goal = NodeManager::kDefaultGoal;
    manifest.maxNodes = 100000;

    RunContext context;
    RunGuard guard(context);
    guard.SeedRandom(11);
    SourceTester straight(context, "source.txt");
    straight.Init();
    for (int step = 1; step <= kAt; ++step) ASSERT_TRUE(guard.Step(straight));
    const record::RunState atCheckpoint = record::CaptureRun(straight, kAt, manifest, "");
    record::WriteCheckpoint("at.h5", atCheckpoint);
    for (int step = kAt + 1; step <= kEnd; ++step) ASSERT_TRUE(guard.Step(straight));
    const record::RunState expected = record::CaptureRun(straight, kEnd, manifest, "");
    // The creature grows after the checkpoint: the comparison has something to catch.
    ASSERT_GT(expected.nodes.size(), atCheckpoint.nodes.size());

    // The window's start-up on the recording device, then one step a frame.
    test::FakeServices services;
    Shell shell;
    shell.services = &services;
    auto device = std::make_unique<RecordingDevice>();
    shell.device = std::move(device);
    shell.font = std::make_unique<RecordingFont>();
    shell.input = std::make_unique<test::FakeInput>();
    std::string why;
    shell.run = ResumeRun("at.h5", shell.context.diagnostics, why);
    ASSERT_TRUE(shell.run) << why;
    BuildScene(shell);
    ASSERT_TRUE(shell.tester);
    EXPECT_EQ(shell.tester->Worlds().size(), 1u);
    for (int frame = 0; frame < kEnd - kAt; ++frame) {
        services.now += 16;
        FrameStep(shell);
    }
    EXPECT_EQ(shell.state.stepsRun, static_cast<std::uint64_t>(kEnd - kAt));
    EXPECT_TRUE(services.quits.empty());
    ExpectSameRun(record::CaptureRun(static_cast<const SourceTester&>(*shell.tester), kEnd, manifest, ""),
                  expected);
}

TEST(ResumeInWindow, AFileThatIsNoCheckpointIsRefusedWithTheReason) {
    test::ScratchFolder folder({"source.txt"});
    std::string why;
    EXPECT_FALSE(ResumeRun("source.txt", Diagnostics{}, why));
    EXPECT_EQ(why.rfind("cannot resume: ", 0), 0u) << why;
    EXPECT_NE(why.find("source.txt"), std::string::npos) << why;
    why.clear();
    EXPECT_FALSE(ResumeRun("missing.h5", Diagnostics{}, why));
    EXPECT_NE(why.find("missing.h5"), std::string::npos) << why;
}

}  // namespace
}  // namespace qm
