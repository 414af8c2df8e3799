#include "sim/RunOutputs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <utility>

#include "api/Run.h"
#include "api/SavedRun.h"
#include "base/Errors.h"
#include "base/RegularFile.h"
#include "record/Manifest.h"
#include "record/RunCheckpoint.h"
#include "record/TraceWriter.h"
#include "record/Writable.h"
#include "sim/SameFile.h"

namespace qm::sim {

OutputFile::~OutputFile() {
    if (owned && file) std::fclose(file);
}

bool OutputFile::Open(const std::string& path, std::FILE* standardOut) {
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

bool OutputFile::OpenToAppend(const std::string& path, std::uint64_t bytes) {
    name = path;
    if (truncate(path.c_str(), static_cast<off_t>(bytes)) != 0) return false;
    file = std::fopen(path.c_str(), "a");
    owned = file != nullptr;
    return owned;
}

void OutputFile::Write(const std::string& text) {
    if (file && std::fwrite(text.data(), 1, text.size(), file) != text.size()) Fail();
}

void OutputFile::Flush() {
    if (file && std::fflush(file) != 0) Fail();
}

void OutputFile::Close() {
    if (!file || broken) return;
    Flush();
    if (!owned) return;
    std::FILE* closing = std::exchange(file, nullptr);
    if (std::fclose(closing) != 0) Fail();
}

void OutputFile::Fail() {
    broken = true;
    const std::string shown = name == "-" ? "standard output" : "'" + Printable(name, 400) + "'";
    throw record::RecordError{std::string("cannot write the ") + what + " file " + shown + ": " +
                              std::strerror(errno)};
}

namespace {

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

// A checkpoint folder is one run's: another run's checkpoints there would be
// taken for this one's by --resume DIR. Throws UsageError when it is another's.
void CheckFolderIsOurs(const Options& options, const std::string& manifestJson) {
    const std::string& dir = options.checkpointDir;
    if (dir.empty() || !IsFolder(dir)) return;
    if (!options.resume.empty() && IsFolder(options.resume) && SameFile(options.resume, dir)) return;
    if (auto theirs = NewestCheckpoint(dir, nullptr)) {
        const std::string ours = record::RunIdentity(manifestJson);
        const std::string other = record::RunIdentity(theirs->state->manifest.Json());
        if (ours != other) {
            throw UsageError{"the checkpoint folder '" + Printable(dir, 400) +
                             "' holds the checkpoints of another run (" + Printable(theirs->path, 400) +
                             ": " + other + "; this run: " + ours +
                             "): give this run another folder, or --resume that one"};
        }
    }
}

}  // namespace

RunOutputs::RunOutputs(const Options& options, std::FILE* out) : options(options), out(out) {}

RunOutputs::~RunOutputs() = default;

void RunOutputs::Open(const qm::Run& run, const std::string& resume) {
    const std::string manifestJson = run.ManifestJson();
    const long long first = run.Steps();  // steps completed when the run starts here
    CheckFolderIsOurs(options, manifestJson);
    // --append goes on with the files of the run resumed: checked whole before any is touched.
    std::optional<record::TraceContinuation> traceKept;
    std::uint64_t statsKept = 0;
    if (options.append) {
        try {
            if (!options.traceFile.empty()) {
                traceKept =
                    record::CheckTraceToContinue(options.traceFile, manifestJson, first, options.traceEvery);
            }
            if (!options.statsFile.empty())
                statsKept = StatsToContinue(options.statsFile, manifestJson, first);
        } catch (const record::RecordError& e) {
            throw UsageError{"--append: " + e.message};
        }
    }
    if (!options.checkpointDir.empty()) {
        if (mkdir(options.checkpointDir.c_str(), 0777) != 0 && errno != EEXIST) {
            throw UsageError{"cannot make the checkpoint folder '" + Printable(options.checkpointDir, 400) +
                             "': " + std::strerror(errno)};
        }
        record::RemovePartialCheckpoints(options.checkpointDir);
    }
    if (!options.traceFile.empty()) {
        try {
            trace = traceKept ? record::ContinueTraceWriter(*traceKept)
                              : record::OpenTraceWriter(
                                    options.traceFile, record::TraceHeader{manifestJson, resume, first}, out);
        } catch (const record::RecordError& e) {
            throw UsageError{e.message};
        }
    }
    const bool appending = options.append && !options.statsFile.empty();
    if (!(appending ? stats.OpenToAppend(options.statsFile, statsKept)
                    : stats.Open(options.statsFile, out))) {
        throw UsageError{"cannot write the stats file '" + Printable(options.statsFile, 400) + "'"};
    }
}

void RunOutputs::Begin(const qm::Run& run) {
    if (options.append) return;
    // The manifest (physics included) as a comment line: readers skip it with comment="#".
    stats.Write("# " + run.ManifestJson() + "\n");
    stats.Write(kStatsHeader);
}

Frame RunOutputs::Record(const qm::Run& run, long long step) {
    if (trace && step % options.traceEvery == 0) run.WriteTrace(*trace, step);
    Frame now = run.View(Frame::Detail::kFigures);
    stats.Write(StatsRow(step, now));
    return now;
}

void RunOutputs::CheckpointIfDue(const qm::Run& run, long long step) {
    if (options.checkpointEvery == 0 || step % options.checkpointEvery != 0) return;
    Save(run, record::CheckpointName(options.checkpointDir, step));
}

std::string RunOutputs::SaveStopped(const qm::Run& run) {
    if (options.checkpointDir.empty()) return {};
    std::string name = record::CheckpointName(options.checkpointDir, run.Steps());
    if (access(name.c_str(), F_OK) != 0) Save(run, name);
    return name;
}

void RunOutputs::Save(const qm::Run& run, const std::string& name) {
    // Everything up to this step is on disk before the checkpoint says so: a
    // run killed later leaves whole outputs up to its newest checkpoint.
    stats.Flush();
    if (trace) trace->Flush();
    run.Save(name);
}

bool RunOutputs::Close() {
    // One that fails now, after the run has ended, fails it all the same.
    bool closed = true;
    const auto close = [&closed](const auto& closing) {
        try {
            closing();
        } catch (const record::RecordError& e) {
            const std::string text = "quillmoth-sim: " + e.message + "\n";
            std::fwrite(text.data(), 1, text.size(), stderr);
            std::fflush(stderr);
            closed = false;
        }
    };
    close([&] { stats.Close(); });
    close([&] {
        if (trace) trace->Close();
    });
    return closed;
}

}  // namespace qm::sim
