#include "SearchFolder.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Errors.h"
#include "evolve/SearchCheckpoint.h"
#include "evolve/SearchFiles.h"

namespace py = pybind11;

namespace qm::python {
namespace {

std::string FingerprintPath(const evolve::SearchOutput& output) { return output.Dir() + "/fitness.txt"; }

// A line per function: "fitness NAME HASH", "python1 NAME HASH", ...
std::vector<std::string> Fingerprints(const SearchFunctions& functions) {
    const py::object fingerprint = py::module_::import("quillmoth._fingerprint").attr("fingerprint");
    std::vector<std::string> lines;
    if (!functions.fitness.is_none())
        lines.push_back("fitness " + fingerprint(functions.fitness).cast<std::string>());
    for (std::size_t k = 0; k < functions.describe.size(); ++k) {
        lines.push_back("python" + std::to_string(k + 1) + " " +
                        fingerprint(functions.describe[k]).cast<std::string>());
    }
    return lines;
}

// What the folder says of the functions its search began with; none for a
// folder without them (a search without functions, or from before they were kept).
std::vector<std::string> KeptFingerprints(const evolve::SearchOutput& output) {
    std::ifstream in(FingerprintPath(output));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// "python1 module.name": the role and the function's name, without the hash.
std::string Name(const std::string& line) { return line.substr(0, line.rfind(' ')); }

std::string Joined(const std::vector<std::string>& specs) {
    std::string text;
    for (const std::string& given : specs) text += (text.empty() ? "" : ", ") + given;
    return text;
}

void CheckFunctions(const evolve::SearchOutput& output, const SearchFunctions& functions) {
    const std::vector<std::string> kept = KeptFingerprints(output);
    if (kept.empty()) return;
    const std::vector<std::string> given = Fingerprints(functions);
    for (std::size_t i = 0; i < std::max(kept.size(), given.size()); ++i) {
        if (i < kept.size() && i < given.size() && kept[i] == given[i]) continue;
        if (i >= given.size() || i >= kept.size() || Name(given[i]) != Name(kept[i])) {
            throw py::value_error("the functions given (" + (i < given.size() ? Name(given[i]) : "none") +
                                  ") are not the search's own (" +
                                  (i < kept.size() ? Name(kept[i]) : "none") + ", " +
                                  FingerprintPath(output) + ")");
        }
        throw py::value_error("the code of " + Name(given[i]) +
                              " differs from the code the search began with (" + FingerprintPath(output) +
                              "): the search would not be the one it was");
    }
}

}  // namespace

void BeginFolder(evolve::SearchOutput& output, const evolve::Search& search,
                 const SearchFunctions& functions) {
    output.Lock(true);
    std::error_code error;
    if (std::filesystem::exists(output.CheckpointPath(), error)) {
        throw py::value_error(output.Dir() + " holds a search already: continue it with evolve(resume=\"" +
                              output.Dir() + "\"), or give another out");
    }
    output.Create();
    std::string text;
    for (const std::string& line : Fingerprints(functions)) text += line + "\n";
    if (!text.empty()) evolve::WriteFile(FingerprintPath(output), text);
    output.Begin(search);
}

evolve::Search ResumeFolder(evolve::SearchOutput& output, std::optional<int> generations,
                            std::optional<long long> evaluations,
                            const std::optional<std::vector<std::string>>& specs,
                            const SearchFunctions& functions) {
    output.Lock(false);
    CheckReadable(output.CheckpointPath());
    evolve::Checkpoint checkpoint = evolve::LoadCheckpoint(output.CheckpointPath(), true);
    evolve::SearchSettings& s = checkpoint.settings;
    const bool custom = s.task.kind == evolve::Task::Kind::Custom;
    if (custom && functions.fitness.is_none())
        throw py::value_error(output.Dir() +
                              " holds a search whose fitness is a Python function: give it again "
                              "as fitness=");
    if (!custom && !functions.fitness.is_none())
        throw py::value_error(output.Dir() + " holds a search of task " + evolve::TaskText(s.task) +
                              ": give no fitness function");
    const bool described = !evolve::PythonDescriptorIn(s.descriptors).empty();
    if ((specs && *specs != s.descriptors) || (described && !specs)) {
        throw py::value_error("the search in " + output.Dir() + " has the descriptors " +
                              Joined(s.descriptors) +
                              (described ? ": give them again, each function with its range" : ""));
    }
    CheckFunctions(output, functions);
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
