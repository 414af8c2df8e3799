// The window program's command line.

#include <gtest/gtest.h>

#include "shell/CommandLine.h"

namespace qm {
namespace {

TEST(CommandLine, NoArgumentsMeansTheClockSeedAndSourceTxt) {
    const CommandLine c = ParseCommandLine({});
    EXPECT_FALSE(c.help);
    EXPECT_FALSE(c.run.seed);
    EXPECT_EQ(c.geneFile, "source.txt");
    EXPECT_FALSE(c.debug);  // the compiler's code string and the program stay off standard error
    EXPECT_TRUE(c.error.empty());
    EXPECT_TRUE(ParseCommandLine({"--debug", "mine.txt"}).debug);
    // The node limit is what the window's own nodes cost (it draws them), not a headless run's.
    EXPECT_EQ(c.run.maxNodes, DefaultMaxNodes(kWindowBytesPerNode));
    EXPECT_LT(c.run.maxNodes, RunOptions{}.maxNodes);
    EXPECT_NE(HelpText().find("(default: a quarter of this machine's memory, " +
                              std::to_string(c.run.maxNodes) + " nodes)"),
              std::string::npos);
}

TEST(CommandLine, SeedAndGeneFileInEitherOrder) {
    CommandLine c = ParseCommandLine({"--seed", "42", "genes/chain.txt"});
    ASSERT_TRUE(c.run.seed);
    EXPECT_EQ(*c.run.seed, 42u);
    EXPECT_EQ(c.geneFile, "genes/chain.txt");
    c = ParseCommandLine({"mine.txt", "--seed", "7"});
    EXPECT_EQ(*c.run.seed, 7u);
    EXPECT_EQ(c.geneFile, "mine.txt");
}

TEST(CommandLine, Help) {
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
    EXPECT_TRUE(ParseCommandLine({"-h"}).help);
    const std::string text = HelpText();
    EXPECT_NE(text.find("usage: quillmoth [OPTIONS] [GENE_FILE]"), std::string::npos);
    EXPECT_NE(text.find("--seed N"), std::string::npos);
    EXPECT_NE(text.find("Escape"), std::string::npos);
    EXPECT_NE(text.find("error.lot.txt"), std::string::npos);
}

TEST(CommandLine, ResumeReplayAndVideo) {
    CommandLine c = ParseCommandLine({"--replay", "run.h5", "--video", "run.mp4", "--fps", "24"});
    EXPECT_TRUE(c.error.empty()) << c.error;
    EXPECT_EQ(c.replay, "run.h5");
    EXPECT_EQ(c.video, "run.mp4");
    EXPECT_EQ(c.fps, 24);
    EXPECT_EQ(ParseCommandLine({"--replay", "run.h5"}).fps, 30);
    EXPECT_EQ(ParseCommandLine({"--resume", "ck/step-00000080.h5"}).resume, "ck/step-00000080.h5");
    // What makes no sense together is refused: a video needs a replay, a
    // replay is no resumed run and no benchmark, the rate is 1 to 240.
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--video", "a.mp4"},
                                               {"--replay", "a.jsonl", "--resume", "b.h5"},
                                               {"--replay", "a.jsonl", "--bench-frames", "3"},
                                               {"--replay", "a.jsonl", "--video", "a.mp4", "--fps", "0"},
                                               {"--replay", "a.jsonl", "--fps", "30"}}) {
        EXPECT_FALSE(ParseCommandLine(args).error.empty()) << args[0] << " " << args[2];
    }
    const std::string help = HelpText();
    for (const char* text :
         {"--resume FILE", "--replay TRACE", "--video FILE", "--fps N", "quillmoth-YYYYmmdd"}) {
        EXPECT_NE(help.find(text), std::string::npos) << text;
    }
}

TEST(CommandLine, AVideoIsFramedAsAsked) {
    using Camera = VideoFraming::Camera;
    struct Case {
        std::vector<std::string> framing;
        int width, height;
        Camera camera;
        Vector3 eye, at;
    };
    const Case cases[] = {
        {{}, 640, 480, Camera::Follow, {}, {}},
        {{"--video-size", "1280x720"}, 1280, 720, Camera::Follow, {}, {}},
        {{"--video-camera", "orbit", "--video-size", "320x240"}, 320, 240, Camera::Orbit, {}, {}},
        {{"--video-camera", "0,20.5,-60@1,-25,2e1"}, 640, 480, Camera::Fixed, {0, 20.5f, -60}, {1, -25, 20}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--replay", "a.h5", "--video", "a.mp4"};
        args.insert(args.end(), c.framing.begin(), c.framing.end());
        const CommandLine line = ParseCommandLine(args);
        ASSERT_TRUE(line.error.empty()) << line.error;
        EXPECT_EQ(line.framing.width, c.width);
        EXPECT_EQ(line.framing.height, c.height);
        EXPECT_EQ(line.framing.camera, c.camera);
        EXPECT_EQ(line.framing.eye, c.eye);
        EXPECT_EQ(line.framing.at, c.at);
    }
    const std::pair<const char*, const char*> mistakes[] = {{"--video-size", "641x480"},
                                                            {"--video-size", "8x8"},
                                                            {"--video-size", "8000x480"},
                                                            {"--video-size", "640*480"},
                                                            {"--video-size", "x480"},
                                                            {"--video-camera", "above"},
                                                            {"--video-camera", "1,2@3,4,5"},
                                                            {"--video-camera", "1,2,3@1,2,3"},
                                                            {"--video-camera", "0,9,0@0,-25,0"},
                                                            {"--video-camera", "1,2,nan@0,0,0"}};
    for (const auto& [option, value] : mistakes) {
        EXPECT_FALSE(ParseCommandLine({"--replay", "a.h5", "--video", "a.mp4", option, value}).error.empty())
            << option << " " << value;
    }
    EXPECT_FALSE(
        ParseCommandLine({"--replay", "a.h5", "--video-size", "320x240"}).error.empty());  // no video
}

TEST(CommandLine, TheReadoutAndTheBenchmarks) {
    CommandLine c = ParseCommandLine({});
    EXPECT_FALSE(c.showFps);
    EXPECT_EQ(c.stepsFirst, 0);
    EXPECT_EQ(c.benchFrames, 0);
    EXPECT_EQ(c.benchSteps, 0);
    c = ParseCommandLine(
        {"--show-fps", "--bench-frames", "50", "--steps-first", "1300", "--screenshot", "a.bmp", "grow.txt"});
    EXPECT_TRUE(c.error.empty()) << c.error;
    EXPECT_TRUE(c.showFps);
    EXPECT_EQ(c.benchFrames, 50);
    EXPECT_EQ(c.stepsFirst, 1300);
    EXPECT_EQ(c.screenshot, "a.bmp");
    EXPECT_EQ(c.geneFile, "grow.txt");
    c = ParseCommandLine({"--bench-steps", "99"});
    EXPECT_TRUE(c.error.empty()) << c.error;
    EXPECT_EQ(c.benchSteps, 99);
    const std::string help = HelpText();
    for (const char* text : {"--show-fps", "--bench-frames N", "--steps-first K", "--bench-steps N", "F1"}) {
        EXPECT_NE(help.find(text), std::string::npos) << text;
    }
}

TEST(CommandLine, BenchmarkMistakes) {
    EXPECT_FALSE(ParseCommandLine({"--bench-frames", "0"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--bench-frames", "-5"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--steps-first", "-1"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--screenshot", "a.bmp"}).error.empty());  // only with --bench-frames
    EXPECT_FALSE(ParseCommandLine({"--bench-frames", "5", "--bench-steps", "5"}).error.empty());
}

TEST(CommandLine, Mistakes) {
    EXPECT_FALSE(ParseCommandLine({"--seed"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--seed", "-3"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--seed", "12x"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--speed"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"a.txt", "b.txt"}).error.empty());
}

}  // namespace
}  // namespace qm
