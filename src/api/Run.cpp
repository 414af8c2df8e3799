#include "api/Run.h"

#include "api/SavedRun.h"
#include "experiment/RunGuard.h"
#include "experiment/SourceTester.h"
#include "gp/GeneLimits.h"
#include "record/Manifest.h"
#include "record/RunCheckpoint.h"
#include "record/RunState.h"
#include "record/Sha256.h"
#include "record/TraceWriter.h"
#include "world/NodeManager.h"

namespace qm {

// What the run keeps of the engine, out of its header: callers see values only.
struct Run::Engine {
    explicit Engine(RunContext& context) : guard(context) {}
    RunGuard guard;
    std::unique_ptr<PTester> driver;
    record::Manifest manifest;
    std::unique_ptr<record::TraceWriter> trace;
};

Vector3 DefaultGoal() { return NodeManager::kDefaultGoal; }

Run::Run(const RunSettings& settings, Diagnostics diagnostics)
    : engine(std::make_unique<Engine>(context)),
      stepLimit(settings.steps),
      goal(settings.goal),
      maxNodes(settings.maxNodes),
      physics(settings.physics),
      history(settings.history ? std::make_unique<RunHistory>() : nullptr) {
    context.diagnostics = std::move(diagnostics);
    engine->manifest.version = QM_VERSION;
    engine->manifest.seed = engine->guard.SeedRandom(settings.seed);
    engine->manifest.steps = settings.steps.value_or(0);
    engine->manifest.goal = settings.goal.value_or(NodeManager::kDefaultGoal);
    engine->manifest.maxNodes = settings.maxNodes;
    engine->manifest.physics = settings.physics;
}

Run::Run(const Gene& gene, const RunSettings& settings, Diagnostics diagnostics)
    : Run(settings, std::move(diagnostics)) {
    // A gene of a file runs as a gene-file run of the bytes it was compiled
    // from, so that its manifest and checkpoints name the file.
    if (gene.Source()) {
        NameFile(*gene.Source());
    } else {
        this->gene = gene;
    }
}

Run::Run(const GeneFile& file, const RunSettings& settings, Diagnostics diagnostics)
    : Run(settings, std::move(diagnostics)) {
    NameFile(qm::GeneSource::Read(file.path));
}

void Run::NameFile(const qm::GeneSource& source) {
    file = source;
    engine->manifest.geneFile = source.path;
    geneSource = source.read.Read() ? source.read.bytes : std::string();
    engine->manifest.geneSha256 = source.sha256;
}

Run::Run(const record::RunState& saved, std::optional<long long> stepLimit, Diagnostics diagnostics)
    : engine(std::make_unique<Engine>(context)),
      stepLimit(stepLimit),
      steps(saved.step),
      geneSource(saved.geneSource) {
    engine->manifest = saved.manifest;
    context.diagnostics = std::move(diagnostics);
    context.step = saved.step;
    engine->driver = record::RestoreRun(context, saved);
    closest = saved.closest;
    // The gene file may not be where the run began: a reload takes the saved text.
    if (auto* tester = dynamic_cast<SourceTester*>(engine->driver.get()); tester && !geneSource.empty())
        tester->ReloadFromText(geneSource);
    Approach();
}

std::unique_ptr<Run> Run::Resume(const std::string& path, Diagnostics diagnostics) {
    return std::make_unique<Run>(*ReadSavedRun(path).state, std::nullopt, std::move(diagnostics));
}

Run::~Run() {
    try {
        CloseTrace();
    } catch (const record::RecordError&) {  // a run that goes has no one to tell
    }
}

void Run::Trace(const std::string& path, int every) {
    std::lock_guard hold(mutex);
    if (!StartHeld({}, {}) || engine->guard.Ended())
        throw record::RecordError{"the run has ended: there is nothing to trace"};
    engine->manifest.traceEvery = every < 1 ? 1 : every;
    engine->trace =
        record::OpenTraceWriter(path, record::TraceHeader{engine->manifest.Json(), "", 0}, stdout);
    engine->trace->Write(steps, *WorldHeld());
}

void Run::CloseTrace() {
    if (!engine->trace) return;
    std::unique_ptr<record::TraceWriter> closing = std::move(engine->trace);
    closing->Close();
}

bool Run::Start(const DriverSetup& setup, const DriverFactory& make) {
    std::lock_guard hold(mutex);
    return StartHeld(setup, make);
}

bool Run::StartHeld(const DriverSetup& setup, const DriverFactory& make) {
    if (started) return engine->driver != nullptr;
    started = true;
    // Only a resumed run has its driver before it starts.
    if (engine->driver) {
        if (setup) engine->driver = engine->guard.Adopt(std::move(engine->driver), setup);
        return engine->driver != nullptr;
    }
    // A file that could not be read when the run was made is read as it starts.
    if (file && !file->read.Read()) NameFile(qm::GeneSource::Read(file->path));
    engine->driver = engine->guard.Start(
        [&]() -> std::unique_ptr<PTester> {
            if (make && !gene) return make(context, file->path);
            auto made = gene ? std::make_unique<SourceTester>(context, gene->Elements())
                             : std::make_unique<SourceTester>(context, file->path, file->read);
            if (goal) made->SetGoal(*goal);
            made->SetNodeLimit(maxNodes);
            made->SetPhysics(physics);
            return made;
        },
        setup);
    if (engine->driver) Approach();
    return engine->driver != nullptr;
}

bool Run::Reset(const std::string& name) {
    std::lock_guard hold(mutex);
    if (!engine->driver || Ended() || !engine->guard.Reset(*engine->driver, name)) return false;
    // A reload reads its file anew: what a checkpoint saves is the text now running.
    const auto* tester = dynamic_cast<const SourceTester*>(engine->driver.get());
    if (tester && tester->FileBytes()) {
        const GeneBytes& read = *tester->FileBytes();
        NameFile({tester->FileName(), read, read.Read() ? record::Sha256Hex(read.bytes) : std::string()});
    }
    return true;
}

RunOutcome::Kind Run::Step() {
    std::lock_guard hold(mutex);
    return StepHeld();
}

RunOutcome::Kind Run::StepHeld() {
    if (!StartHeld({}, {}) || engine->guard.Ended()) return engine->guard.Outcome().kind;
    if (stepLimit && steps >= *stepLimit) {
        engine->guard.Complete();
        CloseTrace();
        return engine->guard.Outcome().kind;
    }
    context.step = steps + 1;  // the births of this step
    // A paused world (the window's Enter) makes no step, though its driver is called.
    const std::vector<NodeManager*>& worlds = engine->driver->Worlds();  // a factory's driver may hold none
    const bool moving = worlds.empty() || worlds.front()->IsRunning();
    if (engine->guard.Step(*engine->driver)) {
        if (moving) ++steps;
        Approach();
        if (history && moving && !worlds.empty()) history->Append(steps, *worlds.front(), closest);
        if (engine->trace && moving && steps % engine->manifest.traceEvery == 0) {
            // A trace that cannot be written ends the run, as for quillmoth-sim run.
            try {
                engine->trace->Write(steps, *worlds.front());
            } catch (const record::RecordError& e) {
                engine->trace.reset();
                engine->guard.Fail(e.message);
            }
        }
        if (observer && moving && steps % observeEvery == 0) observer(*this);
    }
    if (engine->guard.Ended()) {
        try {
            CloseTrace();
        } catch (const record::RecordError& e) {
            engine->guard.Fail(e.message);
        }
    }
    return engine->guard.Outcome().kind;
}

RunOutcome::Kind Run::Step(long long n) {
    // Held once for all n steps: a reader waits for the last of them.
    std::lock_guard hold(mutex);
    for (long long i = 0; i < n && !engine->guard.Ended(); ++i) StepHeld();
    if (stepLimit && steps >= *stepLimit && !engine->guard.Ended()) StepHeld();
    return engine->guard.Outcome().kind;
}

void Run::Fail(const std::string& text) {
    std::lock_guard hold(mutex);
    engine->guard.Fail(text);
}

void Run::Interrupt() {
    std::lock_guard hold(mutex);
    engine->guard.Interrupt();
}

RunOutcome Run::Outcome() const {
    std::lock_guard hold(mutex);
    return engine->guard.Outcome();
}

bool Run::Ended() const {
    std::lock_guard hold(mutex);
    return engine->guard.Ended();
}

long long Run::Steps() const {
    std::lock_guard hold(mutex);
    return steps;
}

double Run::Closest() const {
    std::lock_guard hold(mutex);
    return closest;
}

std::uint32_t Run::Seed() const {
    std::lock_guard hold(mutex);
    return engine->manifest.seed;
}

std::optional<RunHistory> Run::History() const {
    std::lock_guard hold(mutex);
    if (!history) return std::nullopt;
    return *history;
}

void Run::Observe(std::function<void(Run&)> observer, long long every) {
    std::lock_guard hold(mutex);
    this->observer = std::move(observer);
    observeEvery = every < 1 ? 1 : every;
}

std::string Run::GeneSource() const {
    std::lock_guard hold(mutex);
    return geneSource;
}

// Computed as the run's stats compute it.
void Run::Approach() {
    if (engine->driver->Worlds().empty()) return;  // a driver made by a factory may hold none
    const NodeManager& world = *engine->driver->Worlds().front();
    for (const auto& [id, node] : world.NodeMap()) {
        const double d = Vec3Length(world.GoalPos() - node->pos);
        if (d < closest) closest = d;
    }
}

bool Run::HasWorld() const {
    std::lock_guard hold(mutex);
    return WorldHeld() != nullptr;
}

bool Run::Paused() const {
    std::lock_guard hold(mutex);
    const NodeManager* world = WorldHeld();
    return world && !world->IsRunning();
}

void Run::SetDiagnosticsSink(DebugSink sink) {
    std::lock_guard hold(mutex);
    context.diagnostics.SetSink(std::move(sink));
}

std::string Run::ManifestJson() const {
    std::lock_guard hold(mutex);
    return engine->manifest.Json();
}

Vector3 Run::Goal() const {
    std::lock_guard hold(mutex);
    return engine->manifest.goal;
}

Physics Run::WorldPhysics() const {
    std::lock_guard hold(mutex);
    return engine->manifest.physics;
}

std::string Run::GeneFileName() const {
    std::lock_guard hold(mutex);
    return engine->manifest.geneFile;
}

void Run::RecordProgram(const std::string& program) {
    std::lock_guard hold(mutex);
    engine->manifest.program = program;
}

void Run::RecordOptions(long long steps, int traceEvery) {
    std::lock_guard hold(mutex);
    engine->manifest.version = QM_VERSION;  // a resumed run is now this version's
    engine->manifest.steps = steps;
    engine->manifest.traceEvery = traceEvery;
}

const RunOutcome& Run::OutcomeHeld() const { return engine->guard.Outcome(); }

NodeManager* Run::WorldHeld() const { return engine->driver ? engine->driver->Worlds().at(0) : nullptr; }

void Run::WriteTrace(record::TraceWriter& trace, long long step) const {
    std::lock_guard hold(mutex);
    if (const NodeManager* world = WorldHeld()) trace.Write(step, *world);
}

void Run::EnableProfile() {
    std::lock_guard hold(mutex);
    if (!engine->driver) return;
    for (NodeManager* world : engine->driver->Worlds()) world->EnableProfile(true);
}

StepTimes Run::Profile() const {
    std::lock_guard hold(mutex);
    StepTimes times;
    const NodeManager* world = WorldHeld();
    if (!world) return times;
    const StepProfile& profile = world->Profile();
    times.steps = profile.steps;
    for (int i = 0; i < kStepPhaseCount; ++i) {
        times.phases.emplace_back(StepPhaseName(static_cast<StepPhase>(i)),
                                  profile.nanoseconds[static_cast<std::size_t>(i)]);
    }
    return times;
}

bool Run::Kill(std::int32_t id) {
    std::lock_guard hold(mutex);
    NodeManager* world = WorldHeld();
    if (!world) return false;
    auto at = world->NodeMap().find(id);
    if (at == world->NodeMap().end() || at->second->dying) return false;
    world->dead(at->second);
    return true;
}

void Run::Save(const std::string& path) const {
    std::lock_guard hold(mutex);
    if (!engine->driver) throw record::RecordError{"the run has no world to save: it ended at its start"};
    const auto& tester = static_cast<const SourceTester&>(*engine->driver);
    record::RunState state = record::CaptureRun(tester, steps, engine->manifest, geneSource);
    state.closest = static_cast<float>(closest);
    record::WriteCheckpoint(path, state);
}

}  // namespace qm
