#include "sim/Commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "api/Run.h"
#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "record/Manifest.h"
#include "record/RunCheckpoint.h"
#include "record/RunState.h"
#include "record/TraceWriter.h"
#include "sim/Progress.h"
#include "sim/RunStats.h"
#include "sim/SameFile.h"
#include "world/NodeManager.h"

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

// Why a file cannot be written at `path` (created or replaced), or nothing.
// Asks the system without touching the file, so a refused run leaves no trace.
std::optional<std::string> CannotWrite(const std::string& path) {
    if (path.empty()) return "no file name";
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return "it is a folder";
        if (access(path.c_str(), W_OK) != 0) return std::strerror(errno);
        return std::nullopt;
    }
    if (errno != ENOENT) return std::strerror(errno);
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
    return std::nullopt;
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

// The closing line; a run that failed before its world existed reports an
// empty world. False when standard output refused it.
bool WriteSummary(std::FILE* out, std::uint32_t seed, long long steps, const NodeManager* world,
                  const char* outcome, const record::Manifest& manifest) {
    JsonOut json;
    json.Raw("{\"seed\":").Int(seed).Raw(",\"steps\":").Int(steps);
    json.Raw(",\"nodes\":").Int(world ? world->GetNodeCount() : 0);
    json.Raw(",\"links\":").Int(world ? static_cast<long long>(world->Links().Size()) : 0);
    json.Raw(",\"centroid\":").Vec(world ? world->GetCentroid() : Vector3{});
    json.Raw(",\"outcome\":\"").Raw(outcome).Raw("\"");
    json.Raw(",\"manifest\":").Raw(manifest.Json().c_str()).Raw("}\n");
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
        default:
            return kExitError;
    }
}

}  // namespace

int Run(const Options& options, std::FILE* out) {
    Diagnostics diagnostics;
    diagnostics.SetLevel(options.debug   ? DebugLevel::Detail
                         : options.quiet ? DebugLevel::Errors
                                         : DebugLevel::Normal);
    if (auto why = RefuseBeforeStart(options)) return Refuse(*why);

    // A resumed run takes its world, gene, seed and options from the checkpoint.
    std::optional<record::RunState> saved;
    if (!options.resume.empty()) {
        try {
            saved = record::ReadCheckpoint(options.resume);
        } catch (const record::RecordError& e) {
            return Refuse("cannot resume: " + e.message);
        }
        if (options.steps < saved->step) {
            return Refuse("--steps " + std::to_string(options.steps) + " ends before the checkpoint's step " +
                          std::to_string(saved->step) + " (N counts from the start of the run)");
        }
    }
    if (!options.checkpointDir.empty() && mkdir(options.checkpointDir.c_str(), 0777) != 0 &&
        errno != EEXIST) {
        return Refuse("cannot make the checkpoint folder '" + Printable(options.checkpointDir, 400) +
                      "': " + std::strerror(errno));
    }
    if (!options.checkpointDir.empty()) record::RemovePartialCheckpoints(options.checkpointDir);
    diagnostics.SetErrorLogPath(options.logFile);

    std::unique_ptr<qm::Run> run;
    if (saved) {
        try {
            run = std::make_unique<qm::Run>(*saved, options.steps, std::move(diagnostics));
        } catch (const record::RecordError& e) {
            return Refuse("cannot resume: " + Printable(options.resume, 400) + ": " + e.message);
        }
    } else {
        run = std::make_unique<qm::Run>(
            GeneFile{options.geneFile},
            RunSettings{options.run.seed, options.goal, options.run.maxNodes, options.steps},
            std::move(diagnostics));
    }
    record::Manifest& manifest = run->Manifest();
    manifest.version = QM_VERSION;
    manifest.steps = options.steps;
    manifest.traceEvery = options.traceEvery;
    const long long first = run->Steps();  // steps completed when the loop starts

    std::unique_ptr<record::TraceWriter> trace;
    if (!options.traceFile.empty()) {
        record::TraceHeader header{manifest.Json(), options.resume, first};
        try {
            trace = record::OpenTraceWriter(options.traceFile, header, out);
        } catch (const record::RecordError& e) {
            return Refuse(e.message);
        }
    }
    OutputFile stats("stats");
    if (!stats.Open(options.statsFile, out)) {
        return Refuse("cannot write the stats file '" + Printable(options.statsFile, 400) + "'");
    }

    const bool started = run->Start();  // false: the run ended at its start, logged
    const NodeManager* world = run->World();
    if (started && options.profile) {
        for (NodeManager* each : run->Driver()->Worlds()) each->EnableProfile(true);
    }

    auto recordStep = [&](long long step) {
        if (trace && step % options.traceEvery == 0) trace->Write(step, *world);
        stats.Write(StatsRow(step, *world));
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
    run->Context().diagnostics.SetSink([&](std::string_view text) {
        progress.Finish();
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    });
    // A write that fails ends the run like an engine error: logged, and on standard error.
    try {
        if (started) {
            stats.Write(kStatsHeader);
            if (!saved) recordStep(0);
            while (run->Step() == RunOutcome::Kind::Running) {
                recordStep(run->Steps());
                checkpoint(run->Steps());
                progress.Update(run->Steps(), world->GetNodeCount());
            }
        }
    } catch (const record::RecordError& e) {
        run->Fail("quillmoth-sim: " + e.message + "\n");
    }
    run->Context().diagnostics.SetSink(nullptr);
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
    if (started && options.profile && !options.quiet) PrintError(ProfileTable(world->Profile()));

    const RunOutcome::Kind kind = run->Outcome().kind;
    const bool failedWrite = !closed || !run->Outcome().logFailure.empty();
    const char* outcome = failedWrite                             ? "error"
                          : kind == RunOutcome::Kind::GoalReached ? "goal"
                          : kind == RunOutcome::Kind::Completed   ? "completed"
                                                                  : "error";
    const int status = Ended(*run, options);  // says so when the log could not be written
    if (!WriteSummary(out, run->Seed(), started ? run->Steps() : 0, world, outcome, manifest)) {
        return Printed(out, kExitError);
    }
    return closed ? status : kExitError;
}

}  // namespace qm::sim
