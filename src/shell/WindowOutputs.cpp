#include "shell/WindowOutputs.h"

#include <filesystem>

#include "base/Diagnostics.h"
#include "record/RecordError.h"
#include "record/RunCheckpoint.h"
#include "shell/Shell.h"

namespace qm {

std::string FullPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    return error ? path : full.lexically_normal().string();
}

std::string SaveLiveCheckpoint(const Shell& shell, const std::string& folder) {
    if (!shell.run) return "nothing to save: a replay is no run";
    if (shell.run->Ended()) return "nothing to save: the run has ended";
    const std::string path = record::CheckpointName(folder, shell.run->Steps());
    if (auto why = CannotWrite(path))
        return "cannot save the checkpoint " + Printable(FullPath(path), 400) + ": " + *why;
    try {
        shell.run->Save(path);
    } catch (const record::RecordError& e) {
        return "cannot save the checkpoint: " + e.message;
    }
    return "checkpoint of step " + std::to_string(shell.run->Steps()) + " saved as " +
           Printable(FullPath(path), 400);
}

std::string StartLiveTrace(Shell& shell, const std::string& path, const std::string& resumedFrom) {
    if (!shell.run || !shell.run->HasWorld()) return "";  // a run that failed to start records nothing
    Run& run = *shell.run;
    record::TraceHeader header{run.ManifestJson(), resumedFrom, run.Steps()};
    try {
        shell.trace = record::OpenTraceWriter(path, header, stdout);
        if (resumedFrom.empty()) run.WriteTrace(*shell.trace, run.Steps());
    } catch (const record::RecordError& e) {
        shell.trace.reset();
        return e.message;
    }
    return "";
}

}  // namespace qm
