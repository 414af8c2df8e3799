#pragma once
// The files a run of quillmoth-sim writes as it goes: the trace, the stats
// file and the checkpoints. All are checked and opened before the first step,
// written after every step, and closed each on its own when the run ends.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "api/Frame.h"
#include "sim/Options.h"
#include "sim/RunStats.h"

namespace qm {
class Run;
namespace record {
class TraceWriter;
}  // namespace record
}  // namespace qm

namespace qm::sim {

// An output file of the run; "-" is standard output. A write the system
// refuses throws record::RecordError naming the file and the reason.
class OutputFile {
  public:
    explicit OutputFile(const char* what) : what(what) {}
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Open(const std::string& path, std::FILE* standardOut);
    // Keeps the first `bytes` of the file at `path` and writes after them.
    bool OpenToAppend(const std::string& path, std::uint64_t bytes);
    void Write(const std::string& text);
    void Flush();
    // Writes what is left and closes the file; one that failed before closes quietly.
    void Close();

  private:
    [[noreturn]] void Fail();

    const char* what;
    std::string name;
    std::FILE* file = nullptr;
    bool owned = false;
    bool broken = false;
};

class RunOutputs {
  public:
    RunOutputs(const Options& options, std::FILE* out);
    ~RunOutputs();
    RunOutputs(const RunOutputs&) = delete;
    RunOutputs& operator=(const RunOutputs&) = delete;

    // Checks that the checkpoint folder is this run's and, with --append, that
    // the files go on from the step the run starts at; then makes the folder
    // and opens the files. `resume` is the checkpoint the run goes on from, or
    // empty. Throws UsageError before anything is written when one fails.
    void Open(const qm::Run& run, const std::string& resume);
    // The stats file's manifest and header lines, unless it goes on from a resumed run's.
    void Begin(const qm::Run& run);
    // Records step `step` of the run: its trace frame when due, its stats row.
    // Returns what was recorded.
    Frame Record(const qm::Run& run, long long step);
    // The stats row of a step that did not finish (the one a goal cut short).
    void WriteRow(long long step, const Frame& frame) { stats.Write(StatsRow(step, frame)); }
    // A checkpoint of step `step` when it falls due.
    void CheckpointIfDue(const qm::Run& run, long long step);
    // A checkpoint of the step a stopped run made last, unless there is one:
    // its name, or empty when the run keeps no checkpoints.
    std::string SaveStopped(const qm::Run& run);
    // Closes every file, each on its own, so one that fails loses nothing of
    // the others; says why on standard error. False when one failed.
    bool Close();

  private:
    void Save(const qm::Run& run, const std::string& name);

    const Options& options;
    std::FILE* out;
    std::unique_ptr<record::TraceWriter> trace;
    OutputFile stats{"stats"};
};

}  // namespace qm::sim
