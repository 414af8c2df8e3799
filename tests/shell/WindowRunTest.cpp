// The window meets the run: where the goal marker stands, where the art files
// are found, what Space reloads after --resume, and the files the window
// writes on request (F5's checkpoint, --trace, and the check before any write).

#include <filesystem>
#include <fstream>
#include <optional>

#include <gtest/gtest.h>

#include "cli/RunOptions.h"
#include "node/NodeDrawing.h"
#include "record/Manifest.h"
#include "record/RunCheckpoint.h"
#include "record/RunState.h"
#include "shell/CommandLine.h"
#include "shell/InitScene.h"
#include "shell/ReplayDriver.h"
#include "shell/SavedRuns.h"
#include "shell/WindowOutputs.h"
#include "support/SceneTestSupport.h"
#include "support/TestFiles.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// The starter creature: it grows a few nodes in the first tens of steps.
std::string Grower() { return ReadFile((test::DataFolder() / "source.txt").string()); }

// A shell on the recording device around a live run of `source.txt`.
struct WindowRun {
    explicit WindowRun(std::optional<Vector3> goal = std::nullopt) : folder(test::kArtFiles) {
        folder.Write("source.txt", Grower());
        Prepare();
        RunSettings settings;
        settings.seed = 5;
        settings.goal = goal;
        shell.run = std::make_unique<Run>(GeneFile{"source.txt"}, settings, shell.context.diagnostics);
    }
    void Prepare() {
        shell.services = &services;
        shell.device = std::make_unique<RecordingDevice>();
        shell.font = std::make_unique<RecordingFont>();
        shell.input = std::make_unique<test::FakeInput>();
    }

    test::ScratchFolder folder;
    test::FakeServices services;
    Shell shell;
};

TEST(WindowGoal, TheMarkerStandsTenUnitsOverTheGoalOfWhatIsOnShow) {
    const Vector3 moved{0.0f, -25.0f, 100.0f};
    struct Case {
        const char* what;
        std::optional<Vector3> goal;
        Vector3 marker;
    };
    for (const Case& c :
         {Case{"the default goal", std::nullopt, {0.0f, -15.0f, 250.0f}},
          Case{"--goal", moved, {0.0f, -15.0f, 100.0f}},
          Case{"--goal off the axis", Vector3{30.0f, -5.0f, -40.0f}, {30.0f, 5.0f, -40.0f}}}) {
        // The live run, then the same run resumed from its checkpoint, then its trace replayed.
        WindowRun live(c.goal);
        BuildScene(live.shell);
        ASSERT_TRUE(live.shell.tester) << c.what;
        EXPECT_EQ(live.shell.goal->Position(), c.marker) << c.what << ": the live run";
        EXPECT_EQ(live.shell.run->View(Frame::Detail::kFigures).goal,
                  c.goal.value_or(NodeManager::kDefaultGoal))
            << c.what;
        ASSERT_TRUE(live.shell.Step() && live.shell.Step());
        live.shell.run->Save("at.h5");
        ASSERT_EQ(StartLiveTrace(live.shell, "run.jsonl", ""), "");
        live.shell.trace->Close();

        Shell resumed;
        resumed.services = &live.services;
        resumed.device = std::make_unique<RecordingDevice>();
        std::string why;
        resumed.run = ResumeRun("at.h5", resumed.context.diagnostics, why);
        ASSERT_TRUE(resumed.run) << why;
        BuildScene(resumed);
        EXPECT_EQ(resumed.goal->Position(), c.marker) << c.what << ": the resumed run";

        const ReplayDriver replay(live.shell.context, "run.jsonl");
        ASSERT_TRUE(replay.Goal()) << c.what;
        EXPECT_EQ(GoalMarkerPosition(*replay.Goal()), c.marker) << c.what << ": the trace";
    }
}

TEST(WindowGoal, GoalsAreReadFromCommandLinesAndManifests) {
    struct Case {
        std::string text;
        std::optional<Vector3> goal;
    };
    for (const Case& c :
         {Case{"0,-25,100", Vector3{0, -25, 100}}, Case{"1.5,2e1,-3", Vector3{1.5f, 20, -3}},
          Case{"0,-25", std::nullopt}, Case{"0,-25,100,4", std::nullopt}, Case{"0,,100", std::nullopt},
          Case{"a,b,c", std::nullopt}, Case{"0,-25,1e99", std::nullopt}, Case{"0,-25,nan", std::nullopt},
          Case{"", std::nullopt}}) {
        EXPECT_EQ(ParseGoal(c.text), c.goal) << c.text;
        const CommandLine line = ParseCommandLine({"--goal", c.text});
        EXPECT_EQ(line.goal, c.goal) << c.text;
        EXPECT_EQ(line.error.empty(), c.goal.has_value()) << c.text << ": " << line.error;
    }
    record::Manifest manifest;
    manifest.goal = {3.0f, -25.0f, 77.5f};
    manifest.geneFile = "\"options\":{\"goal\":[1,2,3]}";  // a file name cannot pose as the goal
    struct Json {
        std::string text;
        std::optional<Vector3> goal;
    };
    for (const Json& j : {Json{manifest.Json(), Vector3{3.0f, -25.0f, 77.5f}},
                          Json{"{\"options\":{\"goal\":[1,2]}}", std::nullopt},
                          Json{"{\"options\":{\"goal\":[1,2,x]}}", std::nullopt},
                          Json{"{\"options\":{\"goal\":[1,2,3", std::nullopt}, Json{"", std::nullopt}}) {
        EXPECT_EQ(record::ManifestGoal(j.text), j.goal) << j.text;
    }
}

TEST(WindowCommandLine, GoalDataDirAndTraceGoWhereTheyMakeSense) {
    const CommandLine c = ParseCommandLine({"--goal", "1,2,3", "--data-dir", "/opt/art", "--trace", "t.h5"});
    EXPECT_TRUE(c.error.empty()) << c.error;
    EXPECT_EQ(c.dataDir, "/opt/art");
    EXPECT_EQ(c.trace, "t.h5");
    EXPECT_TRUE(ParseCommandLine({"--goal", "1,2,3", "--replay", "t.jsonl"}).error.empty());
    // A resumed run's goal is its checkpoint's; a replay records nothing new.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--goal", "1,2,3", "--resume", "a.h5"}, {"--trace", "t.jsonl", "--replay", "r.jsonl"}}) {
        EXPECT_FALSE(ParseCommandLine(args).error.empty()) << args[0] << " " << args[2];
    }
    for (const char* text : {"--goal X,Y,Z", "--data-dir DIR", "--trace FILE", "F5"}) {
        EXPECT_NE(HelpText().find(text), std::string::npos) << text;
    }
}

TEST(WindowArt, TheArtFilesAreFoundBesideTheProgramOrWhereTold) {
    test::ScratchFolder folder({});
    const fs::path prefix = folder.Path() / "prefix";
    const fs::path program = prefix / "bin" / "quillmoth";
    fs::create_directories(prefix / "bin");
    const auto art = [&](const fs::path& dir) {
        fs::create_directories(dir);
        std::ofstream(dir / "floor.bmp") << "BM";
    };
    // Nowhere yet: the scene says what is missing.
    EXPECT_EQ(FindArtFolder("", program), "");
    EXPECT_EQ(FindArtFolder("/some/art", program), "/some/art/");
    EXPECT_EQ(FindArtFolder("/some/art/", program), "/some/art/");
    art(prefix / "data");  // a build folder inside the source tree
    EXPECT_EQ(FindArtFolder("", program), (prefix / "data").string() + "/");
    art(prefix / "share" / "quillmoth");  // installed: preferred
    EXPECT_EQ(FindArtFolder("", program), (prefix / "share" / "quillmoth").string() + "/");
    art(folder.Path());  // the working folder comes first
    EXPECT_EQ(FindArtFolder("", program), "");
    EXPECT_EQ(FindArtFolder("elsewhere", program), "elsewhere/");
}

TEST(WindowResume, SpaceReloadsTheGeneTextTheCheckpointHolds) {
    WindowRun first;
    BuildScene(first.shell);
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(first.shell.Step());
    ASSERT_GT(first.shell.run->View(Frame::Detail::kFigures).nodes, 1u);
    first.shell.run->Save("at.h5");
    // Resumed where the gene file is not, and where another gene has its name.
    for (const char* present : {"", "SETP ( 0 1 )"}) {
        fs::remove("source.txt");
        if (*present) first.folder.Write("source.txt", present);
        Shell shell;
        shell.services = &first.services;
        shell.device = std::make_unique<RecordingDevice>();
        std::string why;
        shell.run = ResumeRun("at.h5", shell.context.diagnostics, why);
        ASSERT_TRUE(shell.run) << why;
        BuildScene(shell);
        ASSERT_TRUE(shell.tester);
        EXPECT_TRUE(shell.Reset("")) << shell.Outcome().text;
        EXPECT_EQ(shell.run->View(Frame::Detail::kFigures).nodes, 1u) << "the world begins anew";
        EXPECT_EQ(shell.run->GeneSource(), Grower());
        for (int i = 0; i < 30; ++i) ASSERT_TRUE(shell.Step()) << "source.txt: '" << present << "'";
        EXPECT_GT(shell.run->View(Frame::Detail::kFigures).nodes, 1u) << "the saved gene grows again";
        // A dropped file is read from then on, and kept by the next checkpoint.
        first.folder.Write("other.txt", "SETP ( 0 1 )");
        EXPECT_TRUE(shell.Reset("other.txt"));
        EXPECT_EQ(shell.run->GeneSource(), "SETP ( 0 1 )");
    }
}

TEST(WindowOutputs, WritesAreCheckedBeforehandAndNamedByTheirFullPaths) {
    WindowRun window;
    BuildScene(window.shell);
    fs::create_directory("folder");
    std::ofstream("there.txt") << "x";
    struct Case {
        const char* path;
        std::optional<std::string> why;
    };
    for (const Case& c : {Case{"new.png", std::nullopt}, Case{"there.txt", std::nullopt},
                          Case{"folder/new.png", std::nullopt}, Case{"folder", "it is a folder"},
                          Case{"missing/new.png", "No such file or directory"}, Case{"", "no file name"}}) {
        EXPECT_EQ(CannotWrite(c.path), c.why) << c.path;
    }
    const std::string here = fs::current_path().string();
    EXPECT_EQ(FullPath("a/../b.png"), here + "/b.png");
    EXPECT_EQ(FullPath("/tmp/x.mp4"), "/tmp/x.mp4");

    // F5: a checkpoint named as quillmoth-sim names its own, that goes on.
    for (int i = 0; i < 12; ++i) ASSERT_TRUE(window.shell.Step());
    EXPECT_EQ(SaveLiveCheckpoint(window.shell),
              "checkpoint of step 12 saved as " + here + "/step-00000012.h5");
    EXPECT_EQ(record::ReadCheckpoint("step-00000012.h5").step, 12);
    EXPECT_EQ(SaveLiveCheckpoint(window.shell, "missing"),
              "cannot save the checkpoint " + here + "/missing/step-00000012.h5: No such file or directory");
    Shell replaying;
    EXPECT_EQ(SaveLiveCheckpoint(replaying), "nothing to save: a replay is no run");
}

TEST(WindowOutputs, TheTraceHoldsEveryStepTheWorldMadeAndNoPausedOne) {
    WindowRun window;
    BuildScene(window.shell);
    ASSERT_EQ(StartLiveTrace(window.shell, "live.jsonl", ""), "");
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(window.shell.Step());
    window.shell.tester->KeyDown(kPauseKey);  // Enter: the frames go on, the world does not
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(window.shell.Step());
    EXPECT_EQ(window.shell.run->Steps(), 5);
    window.shell.tester->KeyDown(kPauseKey);
    ASSERT_TRUE(window.shell.Step());
    window.shell.trace->Close();

    ReplayDriver replay(window.shell.context, "live.jsonl");
    EXPECT_EQ(replay.CountSteps(), 7u);  // steps 0 to 6
    EXPECT_EQ(replay.Show(6), 6u);
    EXPECT_EQ(replay.Frame().step, 6);
    EXPECT_EQ(replay.Frame().nodes.size(), window.shell.run->View(Frame::Detail::kFigures).nodes);
    // A trace that cannot be made says why, and the run is not touched.
    EXPECT_NE(StartLiveTrace(window.shell, "missing/live.jsonl", ""), "");
    EXPECT_FALSE(window.shell.Ended());
}

}  // namespace
}  // namespace qm
