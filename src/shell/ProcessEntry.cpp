#include "shell/ProcessEntry.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "api/Run.h"
#include "base/Diagnostics.h"
#include "experiment/RunGuard.h"
#include "experiment/SourceTester.h"
#include "platform/SdlWindow.h"
#include "record/RecordError.h"
#include "shell/FrameBench.h"
#include "shell/FrameStep.h"
#include "shell/InitScene.h"
#include "shell/ReplayDriver.h"
#include "shell/ReplayVideo.h"
#include "shell/SavedRuns.h"
#include "shell/SdlShellServices.h"
#include "shell/Shell.h"
#include "shell/Shutdown.h"
#include "shell/VideoEncoder.h"
#include "shell/WindowOutputs.h"
#include "shell/WndProc.h"

namespace qm {

namespace {

// The one line a failed run leaves on standard error, after every debug text.
int Failure(const std::string& what) {
    std::fprintf(stderr, "quillmoth: %s\n", what.c_str());
    std::fflush(stderr);
    return kExitFailure;
}

// A command line that names a file the window cannot use: said before anything opens.
int Refuse(const std::string& what) {
    std::fprintf(stderr, "quillmoth: %s\n", what.c_str());
    std::fflush(stderr);
    return kExitUsage;
}

// What is read before the window: a resumed run or a replay. Neither when
// neither is asked for; `why` says what cannot be used.
bool PrepareSavedRun(Shell& shell, const CommandLine& options, std::string& why) {
    if (!options.replay.empty()) {
        shell.replay = ReplayDriverFor(shell.context, options.replay, why);
        shell.state.replaying = true;
        if (!shell.replay) return false;
        // The marker stands where the recorded run's goal was, unless told otherwise.
        const auto* replay = static_cast<const ReplayDriver*>(shell.replay.get());
        shell.goalShown = options.goal.value_or(replay->Goal().value_or(NodeManager::kDefaultGoal));
        return true;
    }
    if (!options.resume.empty()) {
        shell.run = ResumeRun(options.resume, shell.context.diagnostics, why);
        return shell.run != nullptr;
    }
    return true;
}

std::string DisplayName() {
    const char* display = std::getenv("DISPLAY");
    if (display && *display) return std::string("display ") + display;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) return std::string("Wayland display ") + wayland;
    return "a display (DISPLAY is not set)";
}

// What ended the run, for its one stderr line: a gene file that cannot be
// read is named with the system's reason; any other error points at the log.
std::string RunFailure(Shell& shell) {
    // A replay reads no gene; a reload may have put another in the run's driver.
    const auto* driver = dynamic_cast<const SourceTester*>(shell.tester);
    // A resumed run that reloads its saved text reads no file either.
    const std::string geneFile = driver      ? (driver->ReloadsFromText() ? "" : driver->FileName())
                                 : shell.run ? shell.run->GeneFileName()
                                             : "";
    const std::string reason = geneFile.empty() ? "" : UnreadableReason(geneFile);
    if (!reason.empty()) return "cannot read gene file " + Printable(geneFile, 400) + ": " + reason;
    if (shell.state.drawFailed) return "drawing the scene failed";
    const RunOutcome& outcome = shell.Outcome();
    if (outcome.text.empty()) return "the run ended with an error";
    const std::string log = Printable(shell.ShownContext().diagnostics.ErrorLogPath(), 400);
    if (!outcome.logFailure.empty()) {
        return "the run ended with an error (above), which could not be written to " + log + ": " +
               outcome.logFailure;
    }
    return "the run ended with an error, written to " + log;
}

// The benchmark's JSON line; nothing, and why in `why`, when it failed.
std::optional<std::string> RunBenchmark(Shell& shell, SdlWindow& window, const CommandLine& options,
                                        std::string& why) {
    // A benchmark needs the grown creature: a run that ended on the way failed it.
    if (!shell.tester || shell.Ended()) {
        why = shell.Outcome().kind == RunOutcome::Kind::GoalReached
                  ? "a node reached the goal before the benchmark"
                  : RunFailure(shell);
        return std::nullopt;
    }
    if (options.benchFrames > 0) {
        FrameBenchResult result;
        if (!RunFrameBench(shell, options.benchFrames, options.screenshot, result, why)) return std::nullopt;
        return FrameBenchJson(result);
    }
    StepBenchResult result;
    if (!RunStepBench(shell, window, options.benchSteps, result, why)) {
        if (shell.Outcome().kind == RunOutcome::Kind::Error) why = RunFailure(shell);
        return std::nullopt;
    }
    return StepBenchJson(result);
}

// Writes the rest of the live run's trace; empty when that went well (or there is none).
std::string CloseTrace(Shell& shell) {
    if (!shell.trace) return "";
    try {
        shell.trace->Close();
    } catch (const record::RecordError& e) {
        return e.message;
    }
    shell.trace.reset();
    return "";
}

bool RunFirstSteps(Shell& shell, int steps) {
    for (int i = 0; i < steps; ++i) {
        if (!shell.Step()) return false;
    }
    return true;
}

}  // namespace

int RunMessagePump(Shell& shell, SdlWindow& window) {
    WindowMessage message;
    while (true) {
        if (window.PeekMessage(message)) {
            if (message.type == WindowMessage::Type::Quit) return static_cast<int>(message.key);
            WndProc(shell, message);
        } else {
            FrameStep(shell);
        }
    }
}

int ProcessEntry(const CommandLine& options) {
    Shell shell;
    shell.context.diagnostics.SetLevel(options.debug ? DebugLevel::Detail : DebugLevel::Normal);
    shell.artFolder = FindArtFolder(options.dataDir);
    shell.readout.shown = options.showFps;
    shell.state.overlayShown = !options.benchFrames && !options.benchSteps;

    // What the command line names must be usable before any window opens.
    std::string ffmpeg;
    if (!options.video.empty()) {
        ffmpeg = FindOnPath("ffmpeg");
        if (ffmpeg.empty()) {
            return Refuse(
                "cannot make a video: ffmpeg is not installed or not on PATH (Debian package ffmpeg)");
        }
    }
    if (!options.dataDir.empty() && !UnreadableReason(shell.artFolder + "floor.bmp").empty()) {
        return Refuse("cannot use --data-dir " + Printable(options.dataDir, 400) +
                      ": it holds no readable floor.bmp (" + UnreadableReason(shell.artFolder + "floor.bmp") +
                      ")");
    }
    const std::pair<const char*, const std::string*> outputs[] = {{"video", &options.video},
                                                                  {"trace", &options.trace}};
    for (const auto& [what, name] : outputs) {
        if (name->empty() || *name == "-") continue;
        if (auto cannot = CannotWrite(*name)) {
            return Refuse(std::string("cannot write the ") + what + " file " +
                          Printable(FullPath(*name), 400) + ": " + *cannot);
        }
    }
    std::string refused;
    if (!PrepareSavedRun(shell, options, refused)) return Refuse(refused);

    // The window is used without a test: without one, the graphics start-up
    // below fails with its message.
    if (!options.video.empty()) {  // the video is the window's picture
        shell.state.windowWidth = options.framing.width;
        shell.state.windowHeight = options.framing.height;
    }
    std::unique_ptr<SdlWindow> window =
        SdlWindow::Create("Quillmoth", shell.state.windowWidth, shell.state.windowHeight);
    std::string startFailure;
    if (!window) {
        const std::string reason = SdlWindow::LastError();
        shell.context.diagnostics.DebugPrint("The window cannot be opened: %s\n", reason.c_str());
        startFailure = "cannot open a window on " + DisplayName() + ": " + reason;
    }
    std::unique_ptr<SdlShellServices> services;
    if (window) services = std::make_unique<SdlShellServices>(*window);
    shell.services = services.get();

    // A new run is seeded as it is made; a resumed run has its generator from
    // the checkpoint, and a replay draws none.
    if (!shell.run && !shell.replay) {
        RunSettings settings;
        settings.seed = options.run.seed;
        settings.maxNodes = options.run.maxNodes;
        settings.physics = options.run.physics.physics;
        settings.goal = options.goal;
        shell.run = std::make_unique<Run>(GeneFile{options.geneFile}, settings, shell.context.diagnostics);
        shell.run->RecordProgram("quillmoth");
        // What repeats the run, in words (the engine's own "rand seed" line is debug text).
        if (!options.benchFrames && !options.benchSteps) {
            std::fprintf(stderr, "quillmoth: seed %u (--seed %u repeats the run)\n", shell.run->Seed(),
                         shell.run->Seed());
        }
    }
    std::string why;
    if (InitScene(shell, window.get(), {}, &why) < 0) {
        return Failure(!startFailure.empty() ? startFailure : why + " (on " + DisplayName() + ")");
    }
    if (InitInput(shell, *window) < 0)
        return Failure("cannot read the keyboard and mouse: " + SdlWindow::LastError());

    if (!options.trace.empty()) {
        const std::string failed = StartLiveTrace(shell, options.trace, options.resume);
        if (!failed.empty()) {
            Shutdown(shell);
            return Failure(failed);
        }
    }
    if (shell.tester && !RunFirstSteps(shell, options.stepsFirst)) services->PostQuit(0);

    if (!options.video.empty()) {
        auto* replay = dynamic_cast<ReplayDriver*>(shell.tester);
        bool made = false;
        if (replay) {
            VideoEncoder encoder(ffmpeg, options.video, options.fps);
            made = RecordVideo(shell, *replay, encoder, options.framing, why);
            if (made) {
                std::fprintf(stderr, "quillmoth: wrote %s: %d frames at %d per second\n",
                             Printable(FullPath(options.video), 400).c_str(), encoder.Frames(), options.fps);
            } else {
                why = "cannot make the video " + Printable(options.video, 400) + ": " + why;
            }
        } else {
            why = RunFailure(shell);
        }
        Shutdown(shell);
        return made ? kExitSuccess : Failure(why);
    }

    if (options.benchFrames > 0 || options.benchSteps > 0) {
        const std::optional<std::string> line = RunBenchmark(shell, *window, options, why);
        if (line) std::printf("%s\n", line->c_str());
        std::fflush(stdout);
        Shutdown(shell);
        return line ? kExitSuccess : Failure(why);
    }

    const int exitCode = RunMessagePump(shell, *window);
    const std::string traceFailure = CloseTrace(shell);
    const bool failed = shell.Outcome().kind == RunOutcome::Kind::Error || shell.state.drawFailed;
    if (failed) why = RunFailure(shell);
    Shutdown(shell);
    if (!failed && !traceFailure.empty()) return Failure(traceFailure);
    return failed ? Failure(why) : exitCode;
}

}  // namespace qm
