// One frame at a time on the recording device, with a scripted clock and
// scripted keyboard and mouse: timing and throttle, camera commands, the
// driver commands, picking, the world steps and their errors, and drawing.

#include <algorithm>
#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "node/NodeDrawing.h"
#include "shell/FrameStep.h"
#include "support/DebugCapture.h"
#include "support/SceneTestSupport.h"
#include "support/TestFiles.h"
#include "support/WorldFixture.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

class FrameStepTest : public test::ShellFixture {
  protected:
    // Runs one frame `ms` milliseconds after the previous one.
    void Frame(std::uint32_t ms = 16) {
        services.now += ms;
        FrameStep(shell);
    }
    int Presents() const { return static_cast<int>(device->CallsStartingWith("Present").size()); }

    test::DebugCapture debug{shell.ShownContext().diagnostics};
};

TEST_F(FrameStepTest, FirstFrameCountsOneMillisecondAndDraws) {
    FrameStep(shell);
    EXPECT_EQ(shell.state.frameRate, 1000.0f);
    EXPECT_EQ(shell.state.lastFrameTime, services.now);
    EXPECT_EQ(shell.state.framesSinceDraw, 1u);
    EXPECT_EQ(Presents(), 1);
}

TEST_F(FrameStepTest, ZeroIntervalIsAnInfiniteRateAndDraws) {
    Frame(16);
    Frame(0);
    EXPECT_TRUE(std::isinf(shell.state.frameRate));
    EXPECT_EQ(Presents(), 2);
}

TEST_F(FrameStepTest, SlowFramesPutDrawingOffButNeverTheSteps) {
    Frame(16);  // drawn; framesSinceDraw = 1
    // 100 ms frames: each needs 3 frames since the last drawing (100 / 33.3).
    Frame(100);  // 2 < 3: not drawn
    Frame(100);  // 3: drawn
    Frame(100);  // 2: not drawn
    EXPECT_EQ(Presents(), 2);
    EXPECT_EQ(Tester().actions, 4);
    EXPECT_EQ(shell.state.framesSinceDraw, 2u);
}

TEST_F(FrameStepTest, TheClockMayWrapAround) {
    services.now = 0xFFFFFFF0u;
    FrameStep(shell);
    Frame(32);  // now wraps past zero; the interval is still 32 ms
    EXPECT_NEAR(shell.state.frameRate, 31.25f, 1e-3f);
}

TEST_F(FrameStepTest, LightAndLightingAreSetEveryFrameDrawnOrNot) {
    Frame(16);
    device->calls.clear();
    Frame(100);  // not drawn
    EXPECT_EQ(Presents(), 0);
    EXPECT_EQ(device->CallsStartingWith("SetLight"), std::vector<std::string>{"SetLight 0"});
    EXPECT_EQ(device->CallsStartingWith("LightEnable"), std::vector<std::string>{"LightEnable 0 1"});
    EXPECT_EQ(device->renderStates[RenderState::Lighting], 1u);
    EXPECT_EQ(device->lights[0], shell.light);
    EXPECT_EQ(device->CallsStartingWith("SetTransform View").size(), 1u);
}

TEST_F(FrameStepTest, DrawsSkyFloorWorldGoalInOrderOnWhite) {
    Frame();
    const auto& calls = device->calls;
    auto at = [&](const std::string& call) {
        return std::find(calls.begin(), calls.end(), call) - calls.begin();
    };
    EXPECT_LT(at("Clear 0xFFFFFFFF 1 0"), at("BeginScene"));
    EXPECT_LT(at("BeginScene"), at("DrawMeshSubset 0"));
    EXPECT_LT(at("EndScene"), at("Present"));
    // Draws: the sky, the floor strip, the node and its shadow, the goal.
    ASSERT_EQ(device->draws.size(), 5u);
    EXPECT_EQ(device->draws[0].mesh, &shell.sky->GetMesh());
    EXPECT_EQ(device->draws[1].kind, DrawRecord::Kind::TriangleStrip);
    EXPECT_EQ(device->draws[2].mesh, shell.nodeDrawing.NodeMesh());
    EXPECT_EQ(device->draws[3].mesh, shell.nodeDrawing.ShadowOutlineMesh());
    EXPECT_EQ(device->draws[4].mesh, &shell.goal->GetMesh());
    // The world is drawn lit, with the floor's world transform and stage states.
    EXPECT_TRUE(device->draws[2].lighting);
    EXPECT_EQ(device->draws[2].texture, 0u);
    EXPECT_EQ(device->draws[2].addressU, kAddressMirror);
    EXPECT_EQ(device->draws[2].minFilter, kFilterLinear);
}

TEST_F(FrameStepTest, AStepsCountAboveOneIsShownLast) {
    shell.state.overlayShown = false;  // its lines come after the text lines (below)
    shell.state.stepsPerFrame = 3;
    Frame();
    ASSERT_FALSE(font->calls.empty());
    EXPECT_EQ(font->calls.back().text, "X 3");
    EXPECT_EQ(Tester().actions, 3);
}

TEST_F(FrameStepTest, AUserQuittingStopsTheStepsOfAFrame) {
    shell.state.stepsPerFrame = 5;
    services.quitFromCall = 2;  // asked after each step but the last
    Frame();
    EXPECT_EQ(Tester().actions, 2);
    EXPECT_EQ(Presents(), 1);  // the frame still draws; the next one quits
}

TEST_F(FrameStepTest, AStepCutShortForAQuittingUserQuitsWithoutALogOrADrawing) {
    Tester().actionFails = [] {
        ErrorText stop{"the step was interrupted: the program is quitting\n"};
        stop.interrupted = true;
        throw stop;
    };
    Frame();
    EXPECT_EQ(services.quits, std::vector<int>{0});
    EXPECT_FALSE(std::filesystem::exists("error.lot.txt"));
    EXPECT_EQ(Presents(), 0);
}

TEST_F(FrameStepTest, OneStepAFrameShowsNoCount) {
    Frame();
    for (const auto& call : font->calls) EXPECT_NE(call.text.substr(0, 2), "X ");
}

TEST_F(FrameStepTest, TextLinesAreDrawnMeasuredThenGreenAtTheirRows) {
    std::vector<std::string> lines{"first", "second line", "3"};
    DrawTextLines(*font, lines);
    ASSERT_EQ(font->calls.size(), 6u);
    for (int i = 0; i < 3; ++i) {
        const auto& measure = font->calls[static_cast<std::size_t>(2 * i)];
        const auto& draw = font->calls[static_cast<std::size_t>(2 * i + 1)];
        EXPECT_EQ(measure.text, lines[static_cast<std::size_t>(i)]);
        EXPECT_EQ(measure.format, kDtCalcRect);
        EXPECT_EQ(measure.color, 0u);
        EXPECT_EQ(measure.rectIn.left, 10);
        EXPECT_EQ(measure.rectIn.top, 20 * i);
        EXPECT_EQ(draw.format, kDtBottom);
        EXPECT_EQ(draw.color, 0xFF00FF00u);
        // Drawn in the rectangle the measuring pass filled in.
        EXPECT_EQ(draw.rectIn, measure.rectOut);
        EXPECT_EQ(draw.rectIn.right, 10 + RecordingFont::kCharWidth * static_cast<int>(lines[i].size()));
        EXPECT_EQ(draw.rectIn.bottom, 20 * i + RecordingFont::kLineHeight);
    }
}

TEST_F(FrameStepTest, OnlyTheLastStepsTextLinesStay) {
    shell.state.stepsPerFrame = 2;
    int step = 0;
    Tester().actionFails = [&] { shell.ShownContext().textLines.Add("step " + std::to_string(++step)); };
    Frame();
    EXPECT_EQ(shell.ShownContext().textLines.Lines(), (std::vector<std::string>{"step 2", "X 2"}));
}

TEST_F(FrameStepTest, MouseDragTurnsTheCameraHalfADegreePerUnit) {
    input->mouse.lX = 10;
    input->mouse.rgbButtons[0] = kKeyDown;
    Frame();
    EXPECT_FLOAT_EQ(shell.state.turnX, 10 * 0.008726646f);
    EXPECT_EQ(shell.state.turnY, 0.0f);
    // A yaw of 0.0873 rad to the right.
    const Vector3 d = shell.camera->direction;
    EXPECT_NEAR(d.x, 20.0f * std::sin(0.08726646f), 1e-4f);
    EXPECT_NEAR(d.z, 20.0f * std::cos(0.08726646f), 1e-4f);
}

TEST_F(FrameStepTest, MotionWithoutTheButtonDoesNotTurn) {
    input->mouse.lX = 10;
    input->mouse.lY = -7;
    Frame();
    EXPECT_EQ(shell.camera->direction, Vector3(0, 0, 20));
}

TEST_F(FrameStepTest, LeftShiftPansThreeTimesTheTurn) {
    input->mouse.lX = 4;
    input->mouse.lY = 2;
    input->mouse.rgbButtons[0] = kKeyDown;
    input->Hold(kDikLShift);
    Frame();
    EXPECT_NEAR(shell.camera->eye.x, 3.0f * 4 * 0.008726646f, 1e-6f);
    EXPECT_NEAR(shell.camera->eye.y, 3.0f * 2 * 0.008726646f, 1e-6f);
    EXPECT_EQ(shell.camera->direction, Vector3(0, 0, 20));
}

TEST_F(FrameStepTest, RightShiftOrbitsAroundThePointLookedAt) {
    input->mouse.lY = 30;
    input->mouse.rgbButtons[0] = kKeyDown;
    input->Hold(kDikRShift);
    Frame();
    const Vector3 target = shell.camera->eye + shell.camera->direction;
    EXPECT_NEAR(target.x, 0.0f, 1e-4f);
    EXPECT_NEAR(target.y, 0.0f, 1e-4f);
    EXPECT_NEAR(target.z, 0.0f, 1e-4f);
    EXPECT_GT(shell.camera->eye.y, 0.0f);  // moved up to look down on it
}

TEST_F(FrameStepTest, FAndBTogetherMoveBackward) {
    input->Hold(kDikF);
    Frame();
    EXPECT_NEAR(shell.camera->eye.z, -18.0f, 1e-5f);
    input->Hold(kDikB);
    Frame();
    EXPECT_NEAR(shell.camera->eye.z, -20.0f, 1e-5f);
}

TEST_F(FrameStepTest, SpaceRestartsWithTheDroppedNameEveryFrameItIsHeld) {
    input->Hold(kDikSpace);
    Frame();
    Frame();
    EXPECT_EQ(Tester().resets, (std::vector<std::string>{"", ""}));
}

TEST_F(FrameStepTest, ADroppedFileRestartsOnceWithIt) {
    folder.Write("other.txt", "0");
    shell.state.droppedFileName = (folder.Path() / "other.txt").string();
    shell.state.resetRequested = true;
    Frame();
    Frame();
    EXPECT_EQ(Tester().resets, std::vector<std::string>{shell.state.droppedFileName});
    EXPECT_FALSE(shell.state.resetRequested);
    EXPECT_EQ(Tester().FileName(), shell.state.droppedFileName);
}

TEST_F(FrameStepTest, ADroppedFileThatIsNoGeneIsLoggedAndQuits) {
    folder.Write("notes.txt", "hello there");
    shell.state.droppedFileName = (folder.Path() / "notes.txt").string();
    shell.state.resetRequested = true;
    Frame();
    EXPECT_EQ(services.quits, std::vector<int>{0});
    EXPECT_EQ(ReadFile("error.lot.txt"),
              "PTester::Reset()\nGPmanager::GetCode; 不正な関数名が検出されました: hello\n");
    // Not a step error, and no step follows that could overwrite the log.
    EXPECT_EQ(debug.Text().find("Restore"), std::string::npos);
    EXPECT_EQ(Tester().actions, 0);
    EXPECT_EQ(Presents(), 1);
}

TEST_F(FrameStepTest, EscapeHaltsQuitsAndStillDraws) {
    input->Hold(kDikEscape);
    Frame();
    EXPECT_EQ(Tester().halts, 1);
    EXPECT_EQ(services.quits, std::vector<int>{0});
    EXPECT_EQ(Presents(), 1);
    EXPECT_EQ(Tester().actions, 1);
}

TEST_F(FrameStepTest, CCentresTheCameraOnTheCreature) {
    Frame();  // a first Apply fixes lookAt at the origin
    input->Hold(kDikC);
    const Vector3 c = Tester().GetCentroid();
    Frame();
    EXPECT_NEAR(shell.camera->lookAt.x, c.x, 1e-4f);
    EXPECT_NEAR(shell.camera->lookAt.y, c.y, 1e-4f);
    EXPECT_NEAR(shell.camera->lookAt.z, c.z, 1e-4f);
}

TEST_F(FrameStepTest, ThePointerGoesToTheDriverEveryFrame) {
    shell.state.pointerX = 123;
    shell.state.pointerY = 45;
    Frame();
    EXPECT_EQ(Tester().mouseMoves, (std::vector<std::pair<int, int>>{{123, 45}}));
}

TEST_F(FrameStepTest, PickWithKIsMadeInThe640By480Frame) {
    shell.state.windowWidth = 1280;
    shell.state.windowHeight = 960;
    shell.state.pointerX = 640;
    shell.state.pointerY = 480;
    shell.state.pickArmed = true;
    input->Hold(kDikK);
    input->Hold(kDikS);  // K wins
    Frame();
    ASSERT_EQ(Tester().clicks.size(), 1u);
    EXPECT_EQ(Tester().clicks[0].x, 320);
    EXPECT_EQ(Tester().clicks[0].y, 240);
    EXPECT_EQ(Tester().clicks[0].key, 75);
    EXPECT_EQ(shell.state.pointerX, 320);
    EXPECT_EQ(shell.state.pointerY, 240);
    EXPECT_FALSE(shell.state.pickArmed);
    Frame();
    EXPECT_EQ(Tester().clicks.size(), 1u);  // a second pick needs a new press
}

TEST_F(FrameStepTest, PickWithSSelects) {
    shell.state.pointerX = 100;
    shell.state.pointerY = 50;
    shell.state.pickArmed = true;
    input->Hold(kDikS);
    Frame();
    ASSERT_EQ(Tester().clicks.size(), 1u);
    EXPECT_EQ(Tester().clicks[0].key, 83);
    EXPECT_EQ(Tester().clicks[0].x, 100);
}

TEST_F(FrameStepTest, ArmedWithoutKOrSStaysArmed) {
    shell.state.pickArmed = true;
    Frame();
    Frame();
    EXPECT_TRUE(Tester().clicks.empty());
    EXPECT_TRUE(shell.state.pickArmed);
}

// Looks at the seed node and arms a pick at the centre of the picture. The
// pick of a frame uses the view the previous frame set.
void AimAtTheSeedNode(Shell& shell) {
    const TNode* node = shell.tester->Worlds()[0]->NodeMap().begin()->second;
    shell.camera->CenterOn(node->pos);
    shell.state.pointerX = 320;
    shell.state.pointerY = 240;
}

TEST_F(FrameStepTest, SelectingTheNodeAtTheCentreShowsItsLines) {
    Frame();
    AimAtTheSeedNode(shell);
    Frame();
    TNode* node = Tester().Worlds()[0]->NodeMap().begin()->second;
    EXPECT_TRUE(shell.ShownContext().textLines.Lines().empty());
    shell.state.pickArmed = true;
    input->Hold(kDikS);
    Frame();
    EXPECT_EQ(Tester().Worlds()[0]->SelectedNode(), node);
    EXPECT_FALSE(shell.ShownContext().textLines.Lines().empty());
    // Drawn in green after the frame's steps.
    ASSERT_FALSE(font->calls.empty());
    EXPECT_EQ(font->calls.back().color, 0xFF00FF00u);
}

TEST_F(FrameStepTest, KillingTheNodeAtTheCentreEmptiesTheWorld) {
    Frame();
    AimAtTheSeedNode(shell);
    Frame();
    shell.state.pickArmed = true;
    input->Hold(kDikK);
    Frame();
    EXPECT_EQ(Tester().Worlds()[0]->GetNodeCount(), 0);
}

TEST_F(FrameStepTest, APickThatMissesClearsTheSelection) {
    Frame();
    AimAtTheSeedNode(shell);
    Frame();
    shell.state.pickArmed = true;
    input->Hold(kDikS);
    Frame();
    ASSERT_NE(Tester().Worlds()[0]->SelectedNode(), nullptr);
    shell.state.pointerX = 5;
    shell.state.pointerY = 5;
    shell.state.pickArmed = true;
    Frame();
    EXPECT_EQ(Tester().Worlds()[0]->SelectedNode(), nullptr);
}

TEST_F(FrameStepTest, AFailedReadReacquiresAndSkipsTheInputButNotTheSteps) {
    input->mouseReadable = false;
    input->mouse.lX = 50;
    input->mouse.rgbButtons[0] = kKeyDown;
    input->Hold(kDikEscape);
    Frame();
    EXPECT_EQ(input->acquires, 1);
    EXPECT_EQ(input->mouseReads, 1);
    EXPECT_EQ(input->keyReads, 1);  // both reads are always tried
    EXPECT_EQ(shell.camera->direction, Vector3(0, 0, 20));
    EXPECT_TRUE(services.quits.empty());
    EXPECT_TRUE(Tester().mouseMoves.empty());
    EXPECT_EQ(Tester().actions, 1);
    EXPECT_EQ(Presents(), 1);
}

TEST_F(FrameStepTest, AStepErrorIsLoggedEndsTheStepsAndTheFrameStillDraws) {
    shell.state.stepsPerFrame = 3;
    Tester().actionFails = [] { throw ErrorText{"GOAL!\n"}; };
    Frame();
    EXPECT_EQ(ReadFile("error.lot.txt"), "PTester::Action()\nGOAL!\n");
    EXPECT_EQ(Tester().actions, 1);  // the remaining two steps are not run
    EXPECT_EQ(services.quits, std::vector<int>{0});
    EXPECT_NE(debug.Text().find("PTester::Action()\nGOAL!\n\nRestore\n"), std::string::npos);
    EXPECT_EQ(Presents(), 1);
}

TEST_F(FrameStepTest, AnythingElseFromAStepArrivesAsTheDriversSignatureLine) {
    Tester().actionFails = [] { throw 42; };
    Frame();
    EXPECT_EQ(services.quits, std::vector<int>{0});
    EXPECT_EQ(ReadFile("error.lot.txt"), "PTester::Action()\n");
}

TEST_F(FrameStepTest, AnErrorCodeWhileDrawingQuitsWithoutALog) {
    Tester().renderFails = [] { throw ErrorCode{kEFail}; };
    Frame();
    EXPECT_EQ(services.quits, std::vector<int>{0});
    EXPECT_FALSE(std::filesystem::exists("error.lot.txt"));
    EXPECT_EQ(Presents(), 0);
    EXPECT_TRUE(shell.state.drawFailed);  // the program then ends with a failure status
}

// The readout is off until asked for; then it is one more green line, under
// the selected node's lines and the step count, with the rates of the last
// full second.
TEST_F(FrameStepTest, TheReadoutShowsTheRatesOfTheLastSecondUnderTheTextLines) {
    Tester().actionFails = [this] { shell.ShownContext().textLines.Add("Node ID:0"); };
    shell.state.overlayShown = false;
    shell.state.stepsPerFrame = 2;
    Frame();  // the readout's first second begins
    for (const auto& call : font->calls) EXPECT_EQ(call.text.find("fps"), std::string::npos);

    // 40 frames in the second, 25 ms each, every one drawn, two steps each.
    shell.readout.shown = true;
    for (int i = 0; i < 40; ++i) Frame(25);
    EXPECT_FLOAT_EQ(shell.readout.framesPerSecond, 40.0f);
    EXPECT_FLOAT_EQ(shell.readout.stepsPerSecond, 80.0f);
    font->calls.clear();
    Frame(25);
    ASSERT_EQ(font->calls.size(), 6u);  // measured and drawn: the node, "X 2", the readout
    EXPECT_EQ(font->calls[4].text, "40.0 fps, 80.0 steps/s, 1 nodes, 0 links");
    EXPECT_EQ(font->calls[5].rectIn.top, 40);
    EXPECT_EQ(font->calls[5].color, 0xFF00FF00u);
}

// The overlay of the live run comes last: its step and nodes, seed and gene
// file, and "paused" while the world is; hidden, nothing of it is drawn.
TEST_F(FrameStepTest, TheOverlaySaysTheStepTheSeedTheGeneAndThePause) {
    const auto drawn = [this] {
        std::vector<std::string> texts;
        for (const auto& call : font->calls) {
            if (call.color != 0) texts.push_back(call.text);  // the drawing pass, not the measuring one
        }
        return texts;
    };
    shell.state.stepsPerFrame = 2;
    Frame();
    EXPECT_EQ(drawn(), (std::vector<std::string>{"X 2", "step 2, 1 nodes", "seed 1, gene source.txt"}));
    EXPECT_EQ(font->calls.back().rectIn.top, 40);
    Tester().KeyDown(kPauseKey);
    font->calls.clear();
    Frame();
    EXPECT_EQ(drawn(), (std::vector<std::string>{"X 2", "step 2, 1 nodes", "seed 1, gene source.txt",
                                                 "paused (Enter goes on)"}));
    shell.state.overlayShown = false;
    font->calls.clear();
    Frame();
    EXPECT_EQ(drawn(), std::vector<std::string>{"X 2"});
}

TEST_F(FrameStepTest, APausedWorldCountsNoSteps) {
    shell.readout.shown = true;
    Tester().KeyDown(kPauseKey);
    for (int i = 0; i < 50; ++i) Frame(25);
    EXPECT_FLOAT_EQ(shell.readout.stepsPerSecond, 0.0f);
    EXPECT_GT(shell.readout.framesPerSecond, 0.0f);
    EXPECT_EQ(shell.state.stepsRun, 0u);
}

TEST_F(FrameStepTest, ATextErrorWhileDrawingIsLoggedAndQuits) {
    Tester().renderFails = [] { throw ErrorText{"node render\n"}; };
    Frame();
    EXPECT_EQ(services.quits, std::vector<int>{0});
    EXPECT_EQ(ReadFile("error.lot.txt"), "node render\n");
}

TEST_F(FrameStepTest, AFailedPresentResetsTheDevice) {
    device->presentSucceeds = false;
    Frame();
    EXPECT_EQ(device->CallsStartingWith("Reset").size(), 1u);
    EXPECT_NE(debug.Text().find("Reset!\n"), std::string::npos);
    EXPECT_TRUE(services.quits.empty());
}

TEST_F(FrameStepTest, NothingIsDrawnWhileDrawingIsDisabled) {
    Tester().SetDrawEnabled(false);
    Frame();
    EXPECT_EQ(Tester().renders, 0);
    EXPECT_EQ(Presents(), 0);
    EXPECT_EQ(Tester().actions, 1);
    EXPECT_EQ(shell.state.framesSinceDraw, 1u);  // the throttle passed all the same
}

}  // namespace
}  // namespace qm
