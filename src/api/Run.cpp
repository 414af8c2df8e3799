#include "api/Run.h"

#include <sys/stat.h>

#include <fstream>

#include "base/RegularFile.h"
#include "gp/GeneLimits.h"
#include "record/RunCheckpoint.h"
#include "record/RunState.h"
#include "record/Sha256.h"
#include "record/TraceWriter.h"
#include "world/NodeManager.h"

namespace qm {

Vector3 DefaultGoal() { return NodeManager::kDefaultGoal; }
namespace {

// The gene file's bytes for the manifest, read apart from the compiler; so
// only from a regular file, which reads the same twice (not from a pipe).
// Nothing when it cannot be read: the driver then says why, as for any run.
std::optional<std::string> ReadSource(const std::string& path) {
    std::string why;
    return ReadRegularFile(path, why);
}

}  // namespace

Run::Run(const RunSettings& settings, Diagnostics diagnostics)
    : stepLimit(settings.steps),
      goal(settings.goal),
      maxNodes(settings.maxNodes),
      physics(settings.physics),
      history(settings.history ? std::make_unique<RunHistory>() : nullptr) {
    context.diagnostics = std::move(diagnostics);
    manifest.version = QM_VERSION;
    manifest.seed = guard.SeedRandom(settings.seed);
    manifest.steps = settings.steps.value_or(0);
    manifest.goal = settings.goal.value_or(NodeManager::kDefaultGoal);
    manifest.maxNodes = settings.maxNodes;
    manifest.physics = settings.physics;
}

Run::Run(const Gene& gene, const RunSettings& settings, Diagnostics diagnostics)
    : Run(settings, std::move(diagnostics)) {
    // A gene of a file is read from it again, as the programs read it.
    if (gene.File().empty()) {
        this->gene = gene;
    } else {
        NameFile(gene.File());
    }
}

Run::Run(const GeneFile& file, const RunSettings& settings, Diagnostics diagnostics)
    : Run(settings, std::move(diagnostics)) {
    NameFile(file.path);
}

void Run::NameFile(const std::string& path) {
    geneFile = path;
    manifest.geneFile = path;
    std::optional<std::string> source = ReadSource(path);
    geneSource = source.value_or(std::string());
    manifest.geneSha256 = source ? record::Sha256Hex(geneSource) : std::string();
}

Run::Run(const record::RunState& saved, std::optional<long long> stepLimit, Diagnostics diagnostics)
    : stepLimit(stepLimit), steps(saved.step), manifest(saved.manifest), geneSource(saved.geneSource) {
    context.diagnostics = std::move(diagnostics);
    context.step = saved.step;
    driver = record::RestoreRun(context, saved);
    closest = saved.closest;
    // The gene file may not be where the run began: a reload takes the saved text.
    if (auto* tester = dynamic_cast<SourceTester*>(driver.get()); tester && !geneSource.empty())
        tester->ReloadFromText(geneSource);
    Approach();
}

std::unique_ptr<Run> Run::Load(const std::string& path, Diagnostics diagnostics) {
    return std::make_unique<Run>(record::ReadCheckpoint(path), std::nullopt, std::move(diagnostics));
}

Run::~Run() {
    try {
        CloseTrace();
    } catch (const record::RecordError&) {  // a run that goes has no one to tell
    }
}

void Run::Trace(const std::string& path, int every) {
    if (!Start() || Ended()) throw record::RecordError{"the run has ended: there is nothing to trace"};
    manifest.traceEvery = every < 1 ? 1 : every;
    trace = record::OpenTraceWriter(path, record::TraceHeader{manifest.Json(), "", 0}, stdout);
    trace->Write(steps, *World());
}

void Run::CloseTrace() {
    if (!trace) return;
    std::unique_ptr<record::TraceWriter> closing = std::move(trace);
    closing->Close();
}

bool Run::Start(const RunGuard::DriverSetup& setup, const DriverFactory& make) {
    if (started) return driver != nullptr;
    started = true;
    // Only a resumed run has its driver before it starts.
    if (driver) {
        if (setup) driver = guard.Adopt(std::move(driver), setup);
        return driver != nullptr;
    }
    driver = guard.Start(
        [&]() -> std::unique_ptr<PTester> {
            if (make && !gene) return make(context, geneFile);
            auto made = gene ? std::make_unique<SourceTester>(context, gene->Elements())
                             : std::make_unique<SourceTester>(context, geneFile);
            if (goal) made->SetGoal(*goal);
            made->SetNodeLimit(maxNodes);
            made->SetPhysics(physics);
            return made;
        },
        setup);
    if (driver) Approach();
    return driver != nullptr;
}

bool Run::Reset(const std::string& name) {
    if (!driver || Ended() || !guard.Reset(*driver, name)) return false;
    // A reload reads its file anew: what a checkpoint saves is the text now running.
    if (!gene || !name.empty()) {
        const auto* tester = dynamic_cast<const SourceTester*>(driver.get());
        if (tester && !tester->ReloadsFromText()) NameFile(tester->FileName());
    }
    return true;
}

RunOutcome::Kind Run::Step() {
    if (!Start() || Ended()) return Outcome().kind;
    if (stepLimit && steps >= *stepLimit) {
        guard.Complete();
        CloseTrace();
        return Outcome().kind;
    }
    context.step = steps + 1;  // the births of this step
    // A paused world (the window's Enter) makes no step, though its driver is called.
    const std::vector<NodeManager*>& worlds = driver->Worlds();  // a factory's driver may hold none
    const bool moving = worlds.empty() || worlds.front()->IsRunning();
    if (guard.Step(*driver)) {
        if (moving) ++steps;
        Approach();
        if (history && moving && !worlds.empty()) history->Append(steps, *worlds.front(), closest);
        if (trace && moving && steps % manifest.traceEvery == 0) {
            // A trace that cannot be written ends the run, as for quillmoth-sim run.
            try {
                trace->Write(steps, *worlds.front());
            } catch (const record::RecordError& e) {
                trace.reset();
                Fail(e.message);
            }
        }
        if (observer && moving && steps % observeEvery == 0) observer(*this);
    }
    if (Ended()) {
        try {
            CloseTrace();
        } catch (const record::RecordError& e) {
            Fail(e.message);
        }
    }
    return Outcome().kind;
}

RunOutcome::Kind Run::Step(long long n) {
    for (long long i = 0; i < n && !Ended(); ++i) Step();
    if (stepLimit && steps >= *stepLimit && !Ended()) Step();
    return Outcome().kind;
}

// Computed as the run's stats compute it.
void Run::Approach() {
    if (driver->Worlds().empty()) return;  // a driver made by a factory may hold none
    const NodeManager& world = *driver->Worlds().front();
    for (const auto& [id, node] : world.NodeMap()) {
        const double d = Vec3Length(world.GoalPos() - node->pos);
        if (d < closest) closest = d;
    }
}

NodeManager* Run::World() const { return driver ? driver->Worlds().at(0) : nullptr; }

bool Run::Kill(std::int32_t id) {
    NodeManager* world = World();
    if (!world) return false;
    auto at = world->NodeMap().find(id);
    if (at == world->NodeMap().end() || at->second->dying) return false;
    world->dead(at->second);
    return true;
}

void Run::Save(const std::string& path) const {
    if (!driver) throw record::RecordError{"the run has no world to save: it ended at its start"};
    const auto& tester = static_cast<const SourceTester&>(*driver);
    record::RunState state = record::CaptureRun(tester, steps, manifest, geneSource);
    state.closest = static_cast<float>(closest);
    record::WriteCheckpoint(path, state);
}

}  // namespace qm
