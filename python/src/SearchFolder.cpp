#include "SearchFolder.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Errors.h"
#include "evolve/SearchCheckpoint.h"

namespace py = pybind11;

namespace qm::python {
namespace {

std::string FingerprintPath(const evolve::SearchOutput& output) { return output.Dir() + "/fitness.txt"; }

std::string Fingerprint(const py::object& fitness) {
    return py::module_::import("quillmoth._fingerprint").attr("fingerprint")(fitness).cast<std::string>();
}

// What the folder says of the function its search began with; empty for a
// folder without it (a search without a function, or from before it was kept).
std::string KeptFingerprint(const evolve::SearchOutput& output) {
    std::ifstream in(FingerprintPath(output));
    std::string line;
    std::getline(in, line);
    return line;
}

std::string Name(const std::string& fingerprint) { return fingerprint.substr(0, fingerprint.find(' ')); }

}  // namespace

void BeginFolder(evolve::SearchOutput& output, const evolve::Search& search, const py::object& fitness) {
    output.Lock(true);
    std::error_code error;
    if (std::filesystem::exists(output.CheckpointPath(), error)) {
        throw py::value_error(output.Dir() + " holds a search already: continue it with evolve(resume=\"" +
                              output.Dir() + "\"), or give another out");
    }
    output.Create();
    if (!fitness.is_none()) evolve::WriteFile(FingerprintPath(output), Fingerprint(fitness) + "\n");
    output.Begin(search);
}

evolve::Search ResumeFolder(evolve::SearchOutput& output, std::optional<int> generations,
                            std::optional<long long> evaluations, const py::object& fitness) {
    output.Lock(false);
    CheckReadable(output.CheckpointPath());
    evolve::Checkpoint checkpoint = evolve::LoadCheckpoint(output.CheckpointPath(), true);
    evolve::SearchSettings& s = checkpoint.settings;
    const bool custom = s.task.kind == evolve::Task::Kind::Custom;
    if (custom && fitness.is_none())
        throw py::value_error(output.Dir() +
                              " holds a search whose fitness is a Python function: give it again "
                              "as fitness=");
    if (!custom && !fitness.is_none())
        throw py::value_error(output.Dir() + " holds a search of task " + evolve::TaskText(s.task) +
                              ": give no fitness function");
    if (const std::string kept = KeptFingerprint(output); custom && !kept.empty()) {
        const std::string given = Fingerprint(fitness);
        if (Name(given) != Name(kept)) {
            throw py::value_error("the fitness function " + Name(given) + " is not the search's own, " +
                                  Name(kept) + " (" + FingerprintPath(output) + ")");
        }
        if (given != kept) {
            throw py::value_error("the code of the fitness function " + Name(given) +
                                  " differs from the code the search began with (" + FingerprintPath(output) +
                                  "): the search would not be the one it was");
        }
    }
    if (generations) s.generations = *generations;
    if (evaluations) s.evaluations = *evaluations;
    if (const std::string problem = evolve::SettingsProblem(s); !problem.empty())
        throw py::value_error("the checkpoint " + output.CheckpointPath() +
                              " breaks the search's rules: " + problem);
    evolve::Search search(std::move(checkpoint.settings), std::move(checkpoint.state));
    output.TrimTables(search);
    return search;
}

}  // namespace qm::python
