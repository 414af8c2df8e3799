#include "sim/Commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "api/Run.h"
#include "api/SavedRun.h"
#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "record/Manifest.h"
#include "record/RunCheckpoint.h"
#include "record/RunState.h"
#include "record/Writable.h"
#include "sim/Progress.h"
#include "sim/RunOutputs.h"
#include "sim/RunStats.h"
#include "sim/SameFile.h"

namespace qm::sim {
namespace {

void PrintError(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

// Why checkpoints cannot be written into `dir` (made if missing), or nothing.
std::optional<std::string> CannotWriteInto(const std::string& dir) {
    struct stat info {};
    if (stat(dir.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) return "it is not a folder";
        if (access(dir.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
        return std::nullopt;
    }
    return CannotWrite(dir);
}

// What the summary adds to the world's figures: how the run went.
struct SummaryExtras {
    long long goalStep = -1;  // the step in which a node reached the goal, or -1
    std::int32_t goalNode = -1;
    double closest = std::numeric_limits<double>::infinity();
    double wallSeconds = 0.0;
};

// The closing line; a run that failed before its world existed reports an
// empty world. False when standard output refused it.
bool WriteSummary(std::FILE* out, std::uint32_t seed, long long steps, const Frame& frame,
                  const char* outcome, const std::string& manifestJson, const SummaryExtras& extras) {
    JsonOut json;
    json.Raw("{\"seed\":").Int(seed).Raw(",\"steps\":").Int(steps);
    json.Raw(",\"nodes\":").Int(static_cast<long long>(frame.nodes));
    json.Raw(",\"links\":").Int(static_cast<long long>(frame.links));
    json.Raw(",\"centroid\":").Vec(frame.centroid).Raw(",\"center\":").Vec(frame.center);
    json.Raw(",\"outcome\":\"").Raw(outcome).Raw("\"");
    json.Raw(",\"manifest\":").Raw(manifestJson.c_str());
    if (extras.goalStep >= 0) {
        json.Raw(",\"goal_step\":").Int(extras.goalStep).Raw(",\"goal_node\":").Int(extras.goalNode);
    } else {
        json.Raw(",\"goal_step\":null,\"goal_node\":null");
    }
    json.Raw(",\"closest\":");
    if (std::isfinite(extras.closest)) {
        json.Float(static_cast<float>(extras.closest));
    } else {
        json.Raw("null");
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", extras.wallSeconds);
    json.Raw(",\"wall_seconds\":").Raw(seconds).Raw("}\n");
    return std::fwrite(json.Text().data(), 1, json.Text().size(), out) == json.Text().size() &&
           std::fflush(out) == 0;
}

// What a command prints on standard output is checked like any file: the
// status says whether it got there.
int Printed(std::FILE* out, int status) {
    if (std::fflush(out) == 0 && !std::ferror(out)) return status;
    PrintError(std::string("quillmoth-sim: cannot write standard output: ") + std::strerror(errno) + "\n");
    return kExitError;
}

}  // namespace

// What compile and dump show on standard error: why a file cannot be read,
// and with --debug the compiler's code string.
Diagnostics CompilerDiagnostics(const Options& options) {
    Diagnostics diagnostics;
    diagnostics.SetLevel(options.debug ? DebugLevel::Detail : DebugLevel::Normal);
    return diagnostics;
}

namespace {

// The gene file compiled and then loaded as a run loads it (a code string its
// loader refuses is no gene either), printed as the code string or, with
// `program`, as the program.
int PrintGene(const Options& options, std::FILE* out, bool program) {
    try {
        const std::string code =
            GPmanager::GetInstance()->GetCode(options.geneFile.c_str(), CompilerDiagnostics(options));
        Unit gene;
        gene.Parse(code);
        const std::string text = program ? gene.ToString() : code + "\n";
        std::fwrite(text.data(), 1, text.size(), out);
        return Printed(out, kExitCompleted);
    } catch (const ErrorText& e) {
        // The system's own text, then the same in plain words.
        PrintError(e.text + (e.hint.empty() ? "" : e.hint + "\n"));
        return kExitError;
    } catch (const std::exception& e) {
        PrintError(std::string(e.what()) + "\n");
        return kExitError;
    }
}

}  // namespace

int Compile(const Options& options, std::FILE* out) { return PrintGene(options, out, false); }

int Dump(const Options& options, std::FILE* out) { return PrintGene(options, out, true); }

namespace {

// The signal that asked the run to stop (SIGINT, SIGTERM), or 0. The handler
// only sets it; the run looks at it between two steps.
volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int sig) { stopSignal = sig; }

// From here on SIGINT and SIGTERM stop the run after the step it is making; a
// second one ends the program at once, as if it were not caught.
void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// A usage error of `run`: the message on standard error, status 2, nothing written.
int Refuse(const std::string& message) {
    PrintError("quillmoth-sim: " + message + "\n");
    return kExitUsage;
}

// The checks that stop a run before it starts: every output must be
// writable and a checkpoint to resume must be whole. Nothing is created or
// replaced before they pass. Empty when they do.
std::optional<std::string> RefuseBeforeStart(const Options& o) {
    const std::pair<const char*, const std::string*> outputs[] = {
        {"log", &o.logFile}, {"trace", &o.traceFile}, {"stats", &o.statsFile}};
    for (const auto& [what, name] : outputs) {
        if (name != &o.logFile && (name->empty() || *name == "-")) continue;
        if (auto why = CannotWrite(*name)) {
            return std::string("cannot write the ") + what + " file '" + Printable(*name, 400) + "': " + *why;
        }
    }
    if (!o.checkpointDir.empty()) {
        if (auto why = CannotWriteInto(o.checkpointDir)) {
            return "cannot write checkpoints into '" + Printable(o.checkpointDir, 400) + "': " + *why;
        }
    }
    // An output never replaces what the run reads, nor shares a file with another output.
    const std::string& input = o.resume.empty() ? o.geneFile : o.resume;
    const char* const inputName = o.resume.empty() ? "gene file" : "checkpoint";
    const auto quoted = [](const std::string& name) { return "'" + Printable(name, 400) + "'"; };
    for (std::size_t i = 0; i < std::size(outputs); ++i) {
        const auto& [what, name] = outputs[i];
        if (SameFile(*name, input)) {
            return std::string("the ") + what + " file " + quoted(*name) + " would replace the " + inputName +
                   " " + quoted(input) + ": give the " + what + " file another name";
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (SameFile(*name, *outputs[j].second)) {
                return std::string("the ") + outputs[j].first + " file " + quoted(*outputs[j].second) +
                       " and the " + what + " file " + quoted(*name) + " are one file: give each its own";
            }
        }
    }
    return std::nullopt;
}

// The status of a run that has ended, once its log is checked: a log that
// could not be written fails the run, and the text it would have held is
// shown if it was not (a goal reached under --quiet).
int Ended(const qm::Run& run, const Options& options) {
    const RunOutcome& outcome = run.Outcome();
    if (!outcome.logFailure.empty()) {
        std::string message = "quillmoth-sim: cannot write the log file '" + Printable(options.logFile, 400) +
                              "': " + outcome.logFailure;
        const bool shown = outcome.kind != RunOutcome::Kind::GoalReached || !options.quiet;
        PrintError(message + (shown ? "\n" : "; it would have held\n" + outcome.text + "\n"));
        return kExitError;
    }
    switch (outcome.kind) {
        case RunOutcome::Kind::GoalReached:
            return kExitGoal;
        case RunOutcome::Kind::Completed:
            return kExitCompleted;
        case RunOutcome::Kind::Interrupted:
            return kExitSignalBase + (stopSignal != 0 ? stopSignal : SIGTERM);
        default:
            return kExitError;
    }
}

}  // namespace

namespace {

// The run the options ask for: a new one, or one resumed from a checkpoint or
// the newest whole checkpoint of a folder (its name goes to `resume`). Throws
// UsageError when the run must not start; nothing is written before then.
std::unique_ptr<qm::Run> MakeRun(const Options& options, std::string& resume) {
    Diagnostics diagnostics;
    diagnostics.SetLevel(options.debug   ? DebugLevel::Detail
                         : options.quiet ? DebugLevel::Errors
                                         : DebugLevel::Normal);
    resume = options.resume;
    std::optional<record::RunState> saved;
    if (!resume.empty() && IsFolder(resume)) {
        std::vector<std::string> skipped;
        auto newest = NewestCheckpoint(resume, &skipped);
        for (const std::string& why : skipped) PrintError("quillmoth-sim: skipped " + why + "\n");
        if (!newest)
            throw UsageError{"cannot resume: no checkpoint in '" + Printable(resume, 400) + "' reads whole"};
        resume = newest->path;
        saved = std::move(*newest->state);
    }
    Options checked = options;
    checked.resume = resume;
    if (auto why = RefuseBeforeStart(checked)) throw UsageError{*why};

    // A resumed run takes its world, gene, seed and options from the checkpoint.
    if (!resume.empty() && !saved) {
        try {
            saved = record::ReadCheckpoint(resume);
        } catch (const record::RecordError& e) {
            throw UsageError{"cannot resume: " + e.message};
        }
    }
    // From a file or a folder alike.
    if (saved && options.physicsOverride) {
        saved->driver.physics = options.run.physics.physics;
        saved->manifest.physics = options.run.physics.physics;
        saved->manifest.physicsOverride = true;
    }
    if (saved && options.steps < saved->step) {
        throw UsageError{"--steps " + std::to_string(options.steps) + " ends before the checkpoint's step " +
                         std::to_string(saved->step) + " (N counts from the start of the run)"};
    }
    diagnostics.SetErrorLogPath(options.logFile);

    std::unique_ptr<qm::Run> run;
    if (saved) {
        try {
            run = std::make_unique<qm::Run>(*saved, options.steps, std::move(diagnostics));
        } catch (const record::RecordError& e) {
            throw UsageError{"cannot resume: " + Printable(resume, 400) + ": " + e.message};
        }
    } else {
        run = std::make_unique<qm::Run>(GeneFile{options.geneFile},
                                        RunSettings{options.run.seed, options.goal, options.run.maxNodes,
                                                    options.steps, options.run.physics.physics},
                                        std::move(diagnostics));
    }
    run->RecordOptions(options.steps, options.traceEvery);
    return run;
}

// A run stopped by a signal between two steps: it keeps a checkpoint of the
// step it made last, when it keeps checkpoints, and says how to go on.
void Stop(qm::Run& run, RunOutputs& outputs, const Options& options, Progress& progress) {
    run.Interrupt();
    const std::string name = outputs.SaveStopped(run);
    if (options.quiet) return;
    progress.Finish();
    PrintError(std::string("quillmoth-sim: stopped by ") + (stopSignal == SIGINT ? "SIGINT" : "SIGTERM") +
               " after step " + std::to_string(run.Steps()) +
               (name.empty() ? std::string()
                             : "; " + Printable(name, 400) + " holds it: --resume " +
                                   Printable(options.checkpointDir, 400) + " --append goes on") +
               "\n");
}

// Steps a started run to its end, or until a signal stops it, recording every step.
void StepToTheEnd(qm::Run& run, RunOutputs& outputs, const Options& options, bool resumed,
                  Progress& progress) {
    outputs.Begin(run);
    if (!resumed) outputs.Record(run, 0);
    while (stopSignal == 0 && run.Step() == RunOutcome::Kind::Running) {
        const Frame now = outputs.Record(run, run.Steps());
        outputs.CheckpointIfDue(run, run.Steps());
        progress.Update(run.Steps(), static_cast<long long>(now.nodes));
    }
    if (!run.Ended() && run.Steps() >= options.steps) run.Step();  // the signal came after the last step
    if (!run.Ended()) Stop(run, outputs, options, progress);
    // The row of the step the goal cut short: the world as the goal left it.
    if (run.Outcome().kind == RunOutcome::Kind::GoalReached)
        outputs.WriteRow(run.Steps() + 1, run.View(Frame::Detail::kFigures));
}

// The summary line of a run that has ended, and the program's status.
int Summarise(const qm::Run& run, const Options& options, std::FILE* out, bool started, bool closed,
              double wallSeconds) {
    const RunOutcome::Kind kind = run.Outcome().kind;
    const bool failedWrite = !closed || !run.Outcome().logFailure.empty();
    const char* outcome = failedWrite                             ? "error"
                          : kind == RunOutcome::Kind::GoalReached ? "goal"
                          : kind == RunOutcome::Kind::Completed   ? "completed"
                          : kind == RunOutcome::Kind::Interrupted ? "interrupted"
                                                                  : "error";
    const int status = Ended(run, options);  // says so when the log could not be written
    const Frame last = run.View(Frame::Detail::kFigures);
    SummaryExtras extras;
    extras.closest = last.closest;
    if (last.goalStep) {
        extras.goalStep = *last.goalStep;
        extras.goalNode = *last.goalNode;
        extras.closest = std::min<double>(extras.closest, last.goalDistance);
    }
    extras.wallSeconds = wallSeconds;
    if (!WriteSummary(out, run.Seed(), started ? run.Steps() : 0, last, outcome, run.ManifestJson(),
                      extras)) {
        return Printed(out, kExitError);
    }
    return closed ? status : kExitError;
}

}  // namespace

int Run(const Options& options, std::FILE* out) {
    const auto began = std::chrono::steady_clock::now();
    std::string resume;  // the checkpoint the run goes on from, or empty
    std::unique_ptr<qm::Run> run;
    RunOutputs outputs(options, out);
    try {
        run = MakeRun(options, resume);
        outputs.Open(*run, resume);
    } catch (const UsageError& e) {
        return Refuse(e.message);
    }

    const bool started = run->Start();  // false: the run ended at its start, logged
    if (started && options.profile) run->EnableProfile();
    Progress progress(stderr, options.steps, started && !options.quiet && isatty(STDERR_FILENO));
    // Debug text (the logged error) starts on a line of its own below the bar.
    run->SetDiagnosticsSink([&](std::string_view text) {
        progress.Finish();
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    });
    CatchStopSignals();
    // A write that fails ends the run like an engine error: logged, and on standard error.
    try {
        if (started) StepToTheEnd(*run, outputs, options, !resume.empty(), progress);
    } catch (const record::RecordError& e) {
        run->Fail("quillmoth-sim: " + e.message + "\n");
    }
    run->SetDiagnosticsSink(nullptr);
    progress.Finish();

    const bool closed = outputs.Close();
    if (started && options.profile && !options.quiet) PrintError(ProfileTable(run->Profile()));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return Summarise(*run, options, out, started, closed, seconds);
}

}  // namespace qm::sim
