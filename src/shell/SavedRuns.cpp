#include "shell/SavedRuns.h"

#include "api/Run.h"
#include "base/RunContext.h"
#include "record/RunCheckpoint.h"
#include "record/RunState.h"
#include "shell/ReplayDriver.h"

namespace qm {

std::unique_ptr<Run> ResumeRun(const std::string& path, const Diagnostics& diagnostics, std::string& why) {
    record::RunState saved;
    try {
        saved = record::ReadCheckpoint(path);
    } catch (const record::RecordError& e) {
        why = "cannot resume: " + e.message;
        return nullptr;
    }
    try {
        auto run = std::make_unique<Run>(saved, std::nullopt, diagnostics);
        diagnostics.DebugPrint("resumed from %s at step %lld\n", Printable(path, 400).c_str(), saved.step);
        return run;
    } catch (const record::RecordError& e) {
        why = "cannot resume: " + Printable(path, 400) + ": " + e.message;
        return nullptr;
    }
}

std::unique_ptr<PTester> ReplayDriverFor(RunContext& context, const std::string& path, std::string& why) {
    try {
        return std::make_unique<ReplayDriver>(context, path);
    } catch (const record::RecordError& e) {
        why = "cannot replay: " + e.message;
        return nullptr;
    }
}

}  // namespace qm
