#include "sim/Commands.h"

#include <unistd.h>

#include <memory>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "experiment/RunGuard.h"
#include "experiment/SourceTester.h"
#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "sim/Progress.h"
#include "sim/Trace.h"
#include "world/NodeManager.h"

namespace qm::sim {
namespace {

void PrintError(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

// An output file of the run; "-" is standard output.
struct OutputFile {
    std::FILE* file = nullptr;
    bool owned = false;
    ~OutputFile() {
        if (owned && file) std::fclose(file);
    }
    bool Open(const std::string& name, std::FILE* standardOut) {
        if (name.empty()) return true;
        if (name == "-") {
            file = standardOut;
            return true;
        }
        file = std::fopen(name.c_str(), "w");
        owned = file != nullptr;
        return owned;
    }
    void Write(const std::string& text) {
        if (file) std::fwrite(text.data(), 1, text.size(), file);
    }
};

// The closing line; a run that failed before its world existed reports an empty world.
void WriteSummary(std::FILE* out, std::uint32_t seed, long long steps, const NodeManager* world,
                  const char* outcome) {
    JsonOut json;
    json.Raw("{\"seed\":").Int(seed).Raw(",\"steps\":").Int(steps);
    json.Raw(",\"nodes\":").Int(world ? world->GetNodeCount() : 0);
    json.Raw(",\"links\":").Int(world ? static_cast<long long>(world->Links().Size()) : 0);
    json.Raw(",\"centroid\":").Vec(world ? world->GetCentroid() : Vector3{});
    json.Raw(",\"outcome\":\"").Raw(outcome).Raw("\"}\n");
    std::fwrite(json.Text().data(), 1, json.Text().size(), out);
    std::fflush(out);
}

}  // namespace

int Compile(const Options& options, std::FILE* out) {
    try {
        std::string code = GPmanager::GetInstance()->GetCode(options.geneFile.c_str());
        std::fprintf(out, "%s\n", code.c_str());
        return kExitCompleted;
    } catch (const ErrorText& e) {
        PrintError(e.text);
        return kExitError;
    }
}

int Dump(const Options& options, std::FILE* out) {
    try {
        Unit gene;
        gene.Parse(GPmanager::GetInstance()->GetCode(options.geneFile.c_str()));
        std::string text = gene.ToString();
        std::fwrite(text.data(), 1, text.size(), out);
        return kExitCompleted;
    } catch (const ErrorText& e) {
        PrintError(e.text);
        return kExitError;
    } catch (const std::exception& e) {
        PrintError(std::string(e.what()) + "\n");
        return kExitError;
    }
}

int Run(const Options& options, std::FILE* out) {
    SetErrorLogPath(options.logFile);
    const std::uint32_t seed = RunGuard::SeedRandom(options.run.seed);

    OutputFile trace, stats;
    if (!trace.Open(options.traceFile, out)) {
        PrintError("quillmoth-sim: cannot write the trace file '" + options.traceFile + "'\n");
        return kExitUsage;
    }
    if (!stats.Open(options.statsFile, out)) {
        PrintError("quillmoth-sim: cannot write the stats file '" + options.statsFile + "'\n");
        return kExitUsage;
    }

    RunGuard guard;
    std::unique_ptr<PTester> tester = guard.Start([&] {
        auto driver = std::make_unique<SourceTester>(options.geneFile);
        if (options.goal) driver->SetGoal(*options.goal);
        driver->SetNodeLimit(options.run.maxNodes);
        return driver;
    });
    if (!tester) {
        WriteSummary(out, seed, 0, nullptr, "error");
        return kExitError;
    }
    const NodeManager& world = *tester->Worlds().at(0);
    if (options.profile) {
        for (NodeManager* each : tester->Worlds()) each->EnableProfile(true);
    }

    JsonOut line;
    auto record = [&](long long step) {
        if (trace.file) {
            line.Clear();
            AppendTraceLine(line, step, world);
            trace.Write(line.Text());
        }
        if (stats.file) stats.Write(StatsRow(step, world));
    };
    stats.Write(stats.file ? kStatsHeader : "");
    record(0);

    Progress progress(stderr, options.steps, !options.quiet && isatty(STDERR_FILENO));
    // Debug text (the logged error) starts on a line of its own below the bar.
    SetDebugSink([&](std::string_view text) {
        progress.Finish();
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    });
    long long done = 0;
    for (long long step = 1; step <= options.steps; ++step) {
        if (!guard.Step(*tester)) break;
        done = step;
        record(step);
        progress.Update(done, world.GetNodeCount());
    }
    SetDebugSink(nullptr);
    progress.Finish();
    if (trace.file) std::fflush(trace.file);
    if (stats.file) std::fflush(stats.file);
    if (done == options.steps) guard.Complete();
    if (options.profile) PrintError(ProfileTable(world.Profile()));
    switch (guard.Outcome().kind) {
        case RunOutcome::Kind::GoalReached:
            WriteSummary(out, seed, done, &world, "goal");
            return kExitGoal;
        case RunOutcome::Kind::Completed:
            WriteSummary(out, seed, done, &world, "completed");
            return kExitCompleted;
        default:
            WriteSummary(out, seed, done, &world, "error");
            return kExitError;
    }
}

}  // namespace qm::sim
