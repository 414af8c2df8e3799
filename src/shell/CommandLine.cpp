#include "shell/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace qm {
namespace {

// The window's options. The app keeps references into `out`.
struct Options {
    explicit Options(CommandLine& out) {
        app.set_help_flag("-h,--help", "show this text");  // answered before parsing
        app.add_option("GENE_FILE", out.geneFile, "the gene source file (default source.txt)");
        AddRunOptions(app, out.run);
        AddGoalOption(app, out.goal);
        CLI::Option* goal = app.get_option("--goal");
        goal->description(
            "put the goal there instead of 0,-25,250; with --replay, draw the marker there instead of at "
            "the trace's goal");
        app.add_option(
               "--data-dir", out.dataDir,
               "read the art files (floor.bmp, sky.bmp, goal.bmp, goal.x) from DIR (default: the "
               "working folder when it holds them, else the installed ones or the source tree's data folder)")
            ->type_name("DIR");
        app.add_flag("--show-fps", out.showFps,
                     "show frames and world steps per second, nodes and links under the text lines "
                     "(F1 turns it on and off)");
        app.add_option("--steps-first", out.stepsFirst,
                       "run K world steps before the first frame, without drawing (default 0)")
            ->type_name("K")
            ->check(CLI::NonNegativeNumber.description(""));
        CLI::Option* bench =
            app.add_option("--bench-frames", out.benchFrames,
                           "frame benchmark: after the first steps, draw N frames with the world paused, "
                           "print {\"frames\",\"seconds\",\"fps\",\"nodes\",\"links\"} as one JSON line "
                           "and end")
                ->type_name("N")
                ->check(CLI::PositiveNumber.description(""));
        app.add_option("--bench-steps", out.benchSteps,
                       "step benchmark: after the first steps, run the window as usual (drawing when the "
                       "throttle allows) for N more world steps, print {\"steps\",\"seconds\","
                       "\"steps_per_second\",\"frames_drawn\",\"nodes\",\"links\"} as one JSON line and end")
            ->type_name("N")
            ->check(CLI::PositiveNumber.description(""))
            ->excludes(bench);
        app.add_option("--screenshot", out.screenshot,
                       "with --bench-frames: draw one more frame and save it to FILE (BMP)")
            ->type_name("FILE")
            ->needs(bench);
        app.add_flag("--debug", out.debug, "the gene's code string and the program on standard error");
        CLI::Option* resume =
            app.add_option("--resume", out.resume,
                           "go on from a checkpoint of quillmoth-sim run --checkpoint-every: its gene, seed "
                           "and world, goal included (GENE_FILE, --seed and --max-nodes are not used; --goal "
                           "cannot be given)")
                ->type_name("FILE")
                ->excludes(goal);
        CLI::Option* replay =
            app.add_option(
                   "--replay", out.replay,
                   "play a trace of quillmoth-sim run --trace (JSON lines or HDF5) instead of growing "
                   "a gene: Enter pauses, Up/Down change the recorded steps per frame, Left/Right step "
                   "one recorded step, Home goes to the start")
                ->type_name("TRACE")
                ->excludes(resume)
                ->excludes(bench)
                ->excludes("--bench-steps");
        app.add_option("--trace", out.trace,
                       "record every step of the live run as quillmoth-sim run --trace does: JSON lines, or "
                       "HDF5 for a name ending in .h5")
            ->type_name("FILE")
            ->excludes(replay);
        CLI::Option* video =
            app.add_option("--video", out.video,
                           "with --replay: draw every recorded step once, write the frames to this video "
                           "file through ffmpeg, and end")
                ->type_name("FILE")
                ->needs(replay);
        app.add_option("--fps", out.fps, "with --video: frames per second (default 30)")
            ->type_name("N")
            ->check(CLI::Range(1, 240).description(""))
            ->needs(video);
        app.add_option_function<std::string>(
               "--video-size",
               [&out](const std::string& text) {
                   std::string why;
                   if (!ParseVideoSize(text, out.framing, why)) throw CLI::ValidationError(why);
               },
               "with --video: its width and height in pixels (default 640x480; Xvfb's screen must hold it)")
            ->type_name("WxH")
            ->needs(video);
        app.add_option_function<std::string>(
               "--video-camera",
               [&out](const std::string& text) {
                   std::string why;
                   if (!ParseVideoCamera(text, out.framing, why)) throw CLI::ValidationError(why);
               },
               "with --video: follow (the creature, from above and behind; the default), orbit (around it, "
               "a turn every 360 frames) or EX,EY,EZ@TX,TY,TZ (standing at E looking at T)")
            ->type_name("CAMERA")
            ->needs(video);
    }
    CLI::App app{"", "quillmoth"};
};

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine out;
    if (std::find(args.begin(), args.end(), "--help") != args.end() ||
        std::find(args.begin(), args.end(), "-h") != args.end()) {
        out.help = true;
        return out;
    }
    Options options(out);
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes the arguments last first
    try {
        options.app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        out.error = e.what();
    }
    if (out.error.empty() && (!out.resume.empty() || !out.replay.empty()) && out.run.physics.Given())
        out.error = "--physics and --set do not go with --resume or --replay: the file's physics holds";
    return out;
}

std::string HelpText() {
    CommandLine unused;
    Options options(unused);
    return R"(usage: quillmoth [OPTIONS] [GENE_FILE]

Grows a creature from the gene in GENE_FILE ("source.txt" in the working
directory by default) and shows it in a 640 x 480 window. The art files
floor.bmp, sky.bmp, goal.bmp and goal.x are read from --data-dir DIR, else
from the working directory when it holds them, else from the installed ones
(PREFIX/share/quillmoth) or the data folder of the source tree built in.

Options
)" + OptionHelp(options.app) +
           R"(
Mouse
  left button + move               turn the camera in place
  Left Shift + left button + move  pan the camera sideways and up
  Right Shift + left button + move orbit the camera around the point it looks at
  left button + S                  select the node under the pointer (its state shows in green)
  left button + K                  kill the node under the pointer
Keys
  F / B        move the camera forward / backward
  C            centre the camera on the creature
  Space        restart the experiment (a resumed run: from the gene text its checkpoint holds)
  Enter        pause or resume the world
  Up / Down    one more / one fewer world step per frame ("X n" shows the count)
  P            save the picture as quillmoth-YYYYmmdd-HHMMSS.png in the working directory
  F5           save the live run as step-NNNNNNNN.h5 in the working directory, a checkpoint
               that quillmoth --resume and quillmoth-sim run --resume go on from
  Escape       quit
  F1           show or hide the readout of frames and steps per second, nodes and links
  F2           show or hide the live run's step, node count, seed, gene file and "paused"
Drop a gene file on the window to restart the experiment with it.
Replaying a trace (--replay), Enter pauses or resumes the replay, Up / Down
change the recorded steps shown per frame (1 to 64), Left / Right step one
recorded step back / forward (and pause), Home and Space go to the start.

When a node reaches the goal, or an error ends the run, the message is
written to error.lot.txt in the working directory.
)";
}

}  // namespace qm
