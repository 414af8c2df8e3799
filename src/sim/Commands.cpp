#include "sim/Commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "api/Run.h"
#include "api/SavedRun.h"
#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/RegularFile.h"
#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "record/Manifest.h"
#include "record/RunCheckpoint.h"
#include "record/RunState.h"
#include "record/TraceWriter.h"
#include "record/Writable.h"
#include "sim/Progress.h"
#include "sim/RunStats.h"
#include "sim/SameFile.h"

namespace qm::sim {
namespace {

void PrintError(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

// An output file of the run; "-" is standard output. A write the system
// refuses throws record::RecordError naming the file and the reason.
class OutputFile {
  public:
    explicit OutputFile(const char* what) : what(what) {}
    ~OutputFile() {
        if (owned && file) std::fclose(file);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Open(const std::string& path, std::FILE* standardOut) {
        name = path;
        if (path.empty()) return true;
        if (path == "-") {
            file = standardOut;
            return true;
        }
        file = std::fopen(path.c_str(), "w");
        owned = file != nullptr;
        return owned;
    }
    // Keeps the first `bytes` of the file at `path` and writes after them.
    bool OpenToAppend(const std::string& path, std::uint64_t bytes) {
        name = path;
        if (truncate(path.c_str(), static_cast<off_t>(bytes)) != 0) return false;
        file = std::fopen(path.c_str(), "a");
        owned = file != nullptr;
        return owned;
    }
    bool IsOpen() const { return file != nullptr; }
    void Write(const std::string& text) {
        if (file && std::fwrite(text.data(), 1, text.size(), file) != text.size()) Fail();
    }
    void Flush() {
        if (file && std::fflush(file) != 0) Fail();
    }
    // Writes what is left and closes the file; one that failed before closes quietly.
    void Close() {
        if (!file || broken) return;
        Flush();
        if (!owned) return;
        std::FILE* closing = std::exchange(file, nullptr);
        if (std::fclose(closing) != 0) Fail();
    }

  private:
    [[noreturn]] void Fail() {
        broken = true;
        const std::string shown = name == "-" ? "standard output" : "'" + Printable(name, 400) + "'";
        throw record::RecordError{std::string("cannot write the ") + what + " file " + shown + ": " +
                                  std::strerror(errno)};
    }

    const char* what;
    std::string name;
    std::FILE* file = nullptr;
    bool owned = false;
    bool broken = false;
};

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

// How many bytes of the stats file of a resumed run to keep: the header and
// every row up to the checkpoint's `step`. Throws record::RecordError when it
// does not hold them.
std::uint64_t StatsToContinue(const std::string& path, const std::string& manifestJson, long long step) {
    const std::string name = "'" + Printable(path, 400) + "'";
    if (auto why = NotRegularFile(path))
        throw record::RecordError{"cannot go on with the stats file " + name + ": " + *why};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw record::RecordError{"cannot go on with the stats file " + name + ": " + std::strerror(errno)};
    std::string line;
    if (!std::getline(in, line) || in.eof() || line.rfind("# ", 0) != 0) {
        throw record::RecordError{"cannot go on with the stats file " + name +
                                  ": its first line is not a manifest"};
    }
    if (record::RunIdentity(line.substr(2)) != record::RunIdentity(manifestJson)) {
        throw record::RecordError{"cannot go on with the stats file " + name + ": it is another run's"};
    }
    std::uint64_t kept = line.size() + 1;
    const std::string header(kStatsHeader, std::strlen(kStatsHeader) - 1);
    if (!std::getline(in, line) || in.eof() || line != header) {
        throw record::RecordError{"cannot go on with the stats file " + name +
                                  ": its second line is not the header"};
    }
    kept += line.size() + 1;
    long long last = -1;
    while (std::getline(in, line) && !in.eof()) {  // a last row without its line end is cut short
        char* end = nullptr;
        const long long row = std::strtoll(line.c_str(), &end, 10);
        if (end == line.c_str() || *end != ',' || row <= last || row > step) break;
        last = row;
        kept += line.size() + 1;
    }
    if (last != step) {
        throw record::RecordError{"cannot go on with the stats file " + name + ": it holds rows up to step " +
                                  std::to_string(last) + ", not up to the checkpoint's step " +
                                  std::to_string(step)};
    }
    return kept;
}

}  // namespace

int Run(const Options& options, std::FILE* out) {
    const auto began = std::chrono::steady_clock::now();
    Diagnostics diagnostics;
    diagnostics.SetLevel(options.debug   ? DebugLevel::Detail
                         : options.quiet ? DebugLevel::Errors
                                         : DebugLevel::Normal);
    // A run resumed from a folder goes on from its newest checkpoint that reads whole.
    std::string resume = options.resume;
    std::optional<record::RunState> saved;
    if (!resume.empty() && IsFolder(resume)) {
        std::vector<std::string> skipped;
        auto newest = NewestCheckpoint(resume, &skipped);
        for (const std::string& why : skipped) PrintError("quillmoth-sim: skipped " + why + "\n");
        if (!newest) {
            return Refuse("cannot resume: no checkpoint in '" + Printable(resume, 400) + "' reads whole");
        }
        resume = newest->path;
        saved = std::move(newest->state);
    }
    Options checked = options;
    checked.resume = resume;
    if (auto why = RefuseBeforeStart(checked)) return Refuse(*why);

    // A resumed run takes its world, gene, seed and options from the checkpoint.
    if (!resume.empty() && !saved) {
        try {
            saved = record::ReadCheckpoint(resume);
        } catch (const record::RecordError& e) {
            return Refuse("cannot resume: " + e.message);
        }
    }
    // From a file or a folder alike.
    if (saved && options.physicsOverride) {
        saved->driver.physics = options.run.physics.physics;
        saved->manifest.physics = options.run.physics.physics;
        saved->manifest.physicsOverride = true;
    }
    if (saved && options.steps < saved->step) {
        return Refuse("--steps " + std::to_string(options.steps) + " ends before the checkpoint's step " +
                      std::to_string(saved->step) + " (N counts from the start of the run)");
    }
    diagnostics.SetErrorLogPath(options.logFile);

    std::unique_ptr<qm::Run> run;
    if (saved) {
        try {
            run = std::make_unique<qm::Run>(*saved, options.steps, std::move(diagnostics));
        } catch (const record::RecordError& e) {
            return Refuse("cannot resume: " + Printable(resume, 400) + ": " + e.message);
        }
    } else {
        run = std::make_unique<qm::Run>(GeneFile{options.geneFile},
                                        RunSettings{options.run.seed, options.goal, options.run.maxNodes,
                                                    options.steps, options.run.physics.physics},
                                        std::move(diagnostics));
    }
    run->RecordOptions(options.steps, options.traceEvery);
    const long long first = run->Steps();  // steps completed when the loop starts

    // A checkpoint folder is one run's: another run's checkpoints there would
    // be taken for this one's by --resume DIR.
    if (!options.checkpointDir.empty() && IsFolder(options.checkpointDir) &&
        !(resume.size() > 0 && IsFolder(options.resume) && SameFile(options.resume, options.checkpointDir))) {
        if (auto theirs = NewestCheckpoint(options.checkpointDir, nullptr)) {
            const std::string ours = record::RunIdentity(run->ManifestJson());
            const std::string other = record::RunIdentity(theirs->state.manifest.Json());
            if (ours != other) {
                return Refuse("the checkpoint folder '" + Printable(options.checkpointDir, 400) +
                              "' holds the checkpoints of another run (" + Printable(theirs->path, 400) +
                              ": " + other + "; this run: " + ours +
                              "): give this run another folder, or --resume that one");
            }
        }
    }
    // --append goes on with the files of the run resumed: checked whole before any is touched.
    std::optional<record::TraceContinuation> traceKept;
    std::uint64_t statsKept = 0;
    if (options.append) {
        try {
            if (!options.traceFile.empty()) {
                traceKept = record::CheckTraceToContinue(options.traceFile, run->ManifestJson(), first,
                                                         options.traceEvery);
            }
            if (!options.statsFile.empty())
                statsKept = StatsToContinue(options.statsFile, run->ManifestJson(), first);
        } catch (const record::RecordError& e) {
            return Refuse("--append: " + e.message);
        }
    }
    if (!options.checkpointDir.empty() && mkdir(options.checkpointDir.c_str(), 0777) != 0 &&
        errno != EEXIST) {
        return Refuse("cannot make the checkpoint folder '" + Printable(options.checkpointDir, 400) +
                      "': " + std::strerror(errno));
    }
    if (!options.checkpointDir.empty()) record::RemovePartialCheckpoints(options.checkpointDir);

    std::unique_ptr<record::TraceWriter> trace;
    if (!options.traceFile.empty()) {
        record::TraceHeader header{run->ManifestJson(), resume, first};
        try {
            trace = traceKept ? record::ContinueTraceWriter(*traceKept)
                              : record::OpenTraceWriter(options.traceFile, header, out);
        } catch (const record::RecordError& e) {
            return Refuse(e.message);
        }
    }
    OutputFile stats("stats");
    if (!(options.append && !options.statsFile.empty() ? stats.OpenToAppend(options.statsFile, statsKept)
                                                       : stats.Open(options.statsFile, out))) {
        return Refuse("cannot write the stats file '" + Printable(options.statsFile, 400) + "'");
    }

    const bool started = run->Start();  // false: the run ended at its start, logged
    if (started && options.profile) run->EnableProfile();

    auto recordStep = [&](long long step) {
        if (trace && step % options.traceEvery == 0) run->WriteTrace(*trace, step);
        Frame now = run->View(Frame::Detail::kFigures);
        stats.Write(StatsRow(step, now));
        return now;
    };
    auto checkpoint = [&](long long step) {
        if (options.checkpointEvery == 0 || step % options.checkpointEvery != 0) return;
        // Everything up to this step is on disk before the checkpoint says so: a
        // run killed later leaves whole outputs up to its newest checkpoint.
        stats.Flush();
        if (trace) trace->Flush();
        run->Save(record::CheckpointName(options.checkpointDir, step));
    };

    Progress progress(stderr, options.steps, started && !options.quiet && isatty(STDERR_FILENO));
    // Debug text (the logged error) starts on a line of its own below the bar.
    run->SetDiagnosticsSink([&](std::string_view text) {
        progress.Finish();
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    });
    // A write that fails ends the run like an engine error: logged, and on standard error.
    CatchStopSignals();
    try {
        if (started) {
            if (!options.append) {
                // The manifest (physics included) as a comment line: readers skip it with comment="#".
                stats.Write("# " + run->ManifestJson() + "\n");
                stats.Write(kStatsHeader);
            }
            if (!saved) recordStep(0);
            while (stopSignal == 0 && run->Step() == RunOutcome::Kind::Running) {
                const Frame now = recordStep(run->Steps());
                checkpoint(run->Steps());
                progress.Update(run->Steps(), static_cast<long long>(now.nodes));
            }
            if (!run->Ended() && run->Steps() >= options.steps)
                run->Step();  // the signal came after the last step
            if (!run->Ended()) {
                run->Interrupt();
                // What a resumed run needs to go on from here: the step just made.
                const std::string name = options.checkpointDir.empty()
                                             ? std::string()
                                             : record::CheckpointName(options.checkpointDir, run->Steps());
                if (!name.empty() && access(name.c_str(), F_OK) != 0) {
                    stats.Flush();
                    if (trace) trace->Flush();
                    run->Save(name);
                }
                if (!options.quiet) {
                    progress.Finish();
                    PrintError(std::string("quillmoth-sim: stopped by ") +
                               (stopSignal == SIGINT ? "SIGINT" : "SIGTERM") + " after step " +
                               std::to_string(run->Steps()) +
                               (name.empty()
                                    ? std::string()
                                    : "; " + Printable(name, 400) + " holds it: --resume " +
                                          Printable(options.checkpointDir, 400) + " --append goes on") +
                               "\n");
                }
            }
            // The row of the step the goal cut short: the world as the goal left it.
            if (run->Outcome().kind == RunOutcome::Kind::GoalReached)
                stats.Write(StatsRow(run->Steps() + 1, run->View(Frame::Detail::kFigures)));
        }
    } catch (const record::RecordError& e) {
        run->Fail("quillmoth-sim: " + e.message + "\n");
    }
    run->SetDiagnosticsSink(nullptr);
    progress.Finish();

    // Each output is closed on its own, so one that fails loses nothing of the
    // others; one that fails now, after the run has ended, fails it all the same.
    bool closed = true;
    const auto close = [&closed](const auto& closing) {
        try {
            closing();
        } catch (const record::RecordError& e) {
            PrintError("quillmoth-sim: " + e.message + "\n");
            closed = false;
        }
    };
    close([&] { stats.Close(); });
    close([&] {
        if (trace) trace->Close();
    });
    if (started && options.profile && !options.quiet) PrintError(ProfileTable(run->Profile()));

    const RunOutcome::Kind kind = run->Outcome().kind;
    const bool failedWrite = !closed || !run->Outcome().logFailure.empty();
    const char* outcome = failedWrite                             ? "error"
                          : kind == RunOutcome::Kind::GoalReached ? "goal"
                          : kind == RunOutcome::Kind::Completed   ? "completed"
                          : kind == RunOutcome::Kind::Interrupted ? "interrupted"
                                                                  : "error";
    const int status = Ended(*run, options);  // says so when the log could not be written
    const Frame last = run->View(Frame::Detail::kFigures);
    SummaryExtras extras;
    extras.closest = last.closest;
    if (last.goalStep) {
        extras.goalStep = *last.goalStep;
        extras.goalNode = *last.goalNode;
        extras.closest = std::min<double>(extras.closest, last.goalDistance);
    }
    extras.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (!WriteSummary(out, run->Seed(), started ? run->Steps() : 0, last, outcome, run->ManifestJson(),
                      extras)) {
        return Printed(out, kExitError);
    }
    return closed ? status : kExitError;
}

}  // namespace qm::sim
