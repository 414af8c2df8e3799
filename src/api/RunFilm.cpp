#include "api/RunFilm.h"

#include "api/Run.h"
#include "record/RecordError.h"
#include "record/TraceJson.h"
#include "record/TraceReader.h"
#include "share/RunPage.h"

namespace qm {

namespace {

// The run's world as a trace step: written and read back through the trace's
// own line, so the page shows exactly what a trace of the run would.
record::TraceFrame FrameOf(const Run& run) {
    record::TraceFrame frame;
    long long step = 0;
    const std::string line = RunFilm::TraceLineOf(run, step);
    frame.step = step;
    if (line.empty()) return frame;
    record::TraceLineKind kind{};
    std::string manifest, error;
    if (!record::ParseTraceLine(line, kind, frame, manifest, error))
        throw record::RecordError{"the run's step cannot be read back: " + error};
    return frame;
}

}  // namespace

std::string RunFilm::TraceLineOf(const Run& run, long long& step) {
    std::lock_guard hold(run.mutex);
    step = run.steps;
    const NodeManager* world = run.WorldHeld();
    if (!world) return "";
    record::JsonOut out;
    record::AppendTraceLine(out, run.steps, *world);
    return out.Text();
}

void RunFilm::Add(const Run& run) {
    const auto& kept = frames->Frames();
    if (!kept.empty() && kept.back().step >= run.Steps()) return;
    if (run.Steps() % frames->Every() == 0) frames->Add(FrameOf(run));
}

RunOutcome::Kind RunFilm::Step(Run& run, long long n) {
    Add(run);
    RunOutcome::Kind kind = run.Outcome().kind;
    for (long long i = 0; i < n && !run.Ended(); ++i) {
        kind = run.Step();
        Add(run);
    }
    return kind;
}

RunFilm::RunFilm(long long every) : frames(std::make_unique<share::PageFrames>(every)) {}

RunFilm::~RunFilm() = default;

std::size_t RunFilm::Count() const { return frames->Frames().size(); }

long long RunFilm::Every() const { return frames->Every(); }

std::string RunFilm::Page(const Run& run) const { return share::RunPage(run.ManifestJson(), *frames); }

std::string PageOfRun(const Run& run) {
    const record::TraceFrame frame = FrameOf(run);
    return share::RunPage(run.ManifestJson(), {&frame});
}

std::string PageOfTrace(const std::string& path, long long every) {
    record::TraceReader reader(path);
    share::PageFrames frames(every);
    record::TraceFrame frame;
    std::size_t read = 0;
    while (reader.Read(read, frame)) {
        ++read;
        frames.Add(frame);
    }
    if (frames.Frames().empty()) {
        throw record::RecordError{
            read == 0
                ? (reader.Stopped().empty() ? path + ": the trace holds no recorded step" : reader.Stopped())
                : path + ": none of its recorded steps is a multiple of " + std::to_string(every)};
    }
    return share::RunPage(reader.ManifestJson(), frames);
}

}  // namespace qm
