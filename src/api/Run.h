#pragma once
// One run as an object: a gene grown from a seed in a world of its own. The
// run owns everything that decides its steps (its RunContext: the generator,
// the node ids, where its debug text and error log go), so any number of runs
// live in one process and step on any threads, each exactly as it runs alone.
// One run may also be shared by threads: each public call holds the run's own
// lock, so a reader sees the world between two steps, never inside one.
// The window, quillmoth-sim, the search and the Python package all run genes
// through it.

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "api/Frame.h"
#include "api/Gene.h"
#include "api/RunHistory.h"
#include "api/RunSummary.h"
#include "base/Physics.h"
#include "base/RecordError.h"
#include "base/RunContext.h"
#include "base/RunLimits.h"
#include "base/RunOutcome.h"
#include "math/D3dxTypes.h"

namespace qm {

class NodeManager;
class PTester;
namespace record {
struct RunState;
class TraceWriter;
}  // namespace record

// What a checkpoint that cannot be read, restored or written raises.
using CheckpointError = RecordError;

// Where the time of the world's steps went, phase by phase, after Run::EnableProfile.
struct StepTimes {
    long long steps = 0;
    // Each phase's name and nanoseconds, in step order.
    std::vector<std::pair<const char*, std::int64_t>> phases;
};

// Where the goal is when a run names none.
Vector3 DefaultGoal();

struct RunSettings {
    std::optional<std::uint32_t> seed;  // the clock's when not given
    std::optional<Vector3> goal;        // the world's default when not given
    int maxNodes = DefaultMaxNodes();
    std::optional<long long> steps;  // the run is completed after this many steps; no end when not given
    Physics physics;
    bool history = false;  // keep a RunHistory
};

// A gene named by its file, read when the run is made and compiled when it
// starts (a reload reads the file again): what the programs run, so that a
// file that cannot be compiled ends the run with its logged error like any other.
struct GeneFile {
    std::string path;
};

class Run {
  public:
    // Makes the driver of a gene file in place of the run's own SourceTester
    // (the window's tests put a recording one in); the run's goal and node
    // limit are then the factory's to set.
    using DriverFactory =
        std::function<std::unique_ptr<PTester>(RunContext& context, const std::string& geneFile)>;
    // Given the driver once it holds its world (the window's device and input).
    using DriverSetup = std::function<void(PTester&)>;

    // Seeds the run's generator (writing "rand seed = N" to `diagnostics`);
    // the world is made by Start, or by the first Step. A gene made from a
    // file runs the bytes it was compiled from: the file is not read again.
    Run(const Gene& gene, const RunSettings& settings, Diagnostics diagnostics = {});
    Run(const GeneFile& gene, const RunSettings& settings, Diagnostics diagnostics = {});
    // Goes on from a saved run (read and checked by record::ReadCheckpoint)
    // exactly as it would have gone on; its settings are the saved ones, but
    // for `steps`. Throws CheckpointError when the state cannot be restored.
    Run(const record::RunState& saved, std::optional<long long> steps, Diagnostics diagnostics = {});
    // Goes on from a checkpoint file, or from the newest checkpoint of a folder
    // that reads whole (api/SavedRun.h). Throws CheckpointError.
    static std::unique_ptr<Run> Resume(const std::string& path, Diagnostics diagnostics = {});
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // Makes the driver and its world under the start-up guard, then runs
    // `setup` on it there (the window gives it its device, and keeps it to
    // draw and steer); a resumed run, whose driver holds its world already,
    // runs `setup` alone. `make`, when given, makes the driver of a gene-file
    // run. False when that ended the run (a gene file that cannot be
    // compiled: logged); once started, a run only says whether it has a driver.
    bool Start(const DriverSetup& setup = {}, const DriverFactory& make = {});
    // One world step, unless the run has ended; then the outcome. The step
    // after the last of `steps` makes no step: it completes the run (so a
    // program can still record the last step, or fail for it).
    RunOutcome::Kind Step();
    // Up to n steps; a run whose steps are all done is then completed.
    RunOutcome::Kind Step(long long n);
    // The user's reload under the guard: the gene file `name` (the driver's
    // own when empty) compiled again and the world begun anew; the steps go
    // on counting. False when that ended the run, or it had ended or has no
    // driver.
    bool Reset(const std::string& name);
    // Ends the run with an error raised outside its steps (a failed write, a
    // world that cannot be drawn), logged like any other.
    void Fail(const std::string& text);
    // Ends the run between two steps because the program was asked to stop.
    void Interrupt();

    // A copy: another thread may end the run meanwhile.
    RunOutcome Outcome() const;
    bool Ended() const;
    // Steps completed since the run began (a resumed run counts the saved ones).
    long long Steps() const;
    // The least distance from any node to the goal, at the start and after
    // every completed step so far (infinity before the world exists).
    double Closest() const;
    std::uint32_t Seed() const;
    // The run as it is now: what callers read of its world (api/Frame.h).
    Frame View(Frame::Detail detail = Frame::Detail::kWhole) const;
    // How the run ended and its last step's figures, at one moment (api/RunSummary.h).
    RunSummary Summary() const;
    // Writes the world as the trace's step `step`. Throws CheckpointError.
    void WriteTrace(record::TraceWriter& trace, long long step) const;
    // Times each phase of every step of the run's worlds from now on.
    void EnableProfile();
    StepTimes Profile() const;

    // Whether the run has a world: false before it starts, and when its start failed.
    bool HasWorld() const;
    // Whether the world stands still, paused by the window (Enter): a step then makes no step.
    bool Paused() const;

    // The series the run keeps of itself since it began here; none when it keeps none.
    std::optional<RunHistory> History() const;
    // Calls `observer` after every `every`th step (counted as Steps()), once
    // the step is whole; it is called holding the run's lock, so it may read
    // the run but another thread that reads it waits.
    void Observe(std::function<void(Run&)> observer, long long every);

    // Kills the node with this id at the next step, as the mouse does; false
    // when there is no such live node.
    bool Kill(std::int32_t id);

    // Writes the run's trace to `path` as `quillmoth-sim run --trace PATH
    // --trace-every N` does: the world now and after every `every`th step
    // while the run goes on; closed when the run ends or goes. Throws
    // CheckpointError when it cannot be made; a write that fails later
    // ends the run with its error.
    void Trace(const std::string& path, int every);

    // Writes a checkpoint of the run, between two steps. Throws CheckpointError.
    void Save(const std::string& path) const;

    // Where the run's debug text goes from now on; to standard error again when null.
    void SetDiagnosticsSink(DebugSink sink);

    // What the run records of itself (its manifest), as JSON: what traces and checkpoints name.
    std::string ManifestJson() const;
    // What the run was made with: the goal, the world's physics, and the gene
    // file it names (empty for a gene made from text).
    Vector3 Goal() const;
    Physics WorldPhysics() const;
    std::string GeneFileName() const;
    // The program that runs it and the options it was given, as its outputs name them.
    void RecordProgram(const std::string& program);
    void RecordOptions(long long steps, int traceEvery);
    // The gene file's bytes when the run began (kept in checkpoints), or empty.
    std::string GeneSource() const;

  private:
    friend class RunFilm;  // reads the world as a trace's line

    Run(const RunSettings& settings, Diagnostics diagnostics);
    // Runs this file's bytes, and records them as the run's gene source.
    void NameFile(const qm::GeneSource& source);
    bool StartHeld(const DriverSetup& setup, const DriverFactory& make);
    RunOutcome::Kind StepHeld();
    const RunOutcome& OutcomeHeld() const;
    NodeManager* WorldHeld() const;
    void Approach();
    void CloseTrace();

    // Held by every public call. Re-entrant: an observer, called inside a
    // step, reads the run it watches.
    mutable std::recursive_mutex mutex;
    RunContext context;
    // The guard, the driver, the manifest and the open trace (Run.cpp).
    struct Engine;
    std::unique_ptr<Engine> engine;
    std::optional<Gene> gene;
    std::optional<qm::GeneSource> file;  // what a gene-file run compiles when it starts
    std::optional<long long> stepLimit;
    std::optional<Vector3> goal;
    int maxNodes = 0;
    Physics physics;
    bool started = false;
    long long steps = 0;
    double closest = std::numeric_limits<double>::infinity();
    std::string geneSource;
    std::unique_ptr<RunHistory> history;
    std::function<void(Run&)> observer;
    long long observeEvery = 1;
};

}  // namespace qm
