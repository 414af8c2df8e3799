#include "SearchCaller.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "Errors.h"
#include "api/Gene.h"

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

py::dict ReportDict(const evolve::GenerationReport& r) {
    return py::dict(py::arg("generation") = r.generation, py::arg("best") = r.best,
                    py::arg("median") = r.median, py::arg("worst") = r.worst,
                    py::arg("evaluations") = r.evaluations, py::arg("total_evaluations") = r.totalEvaluations,
                    py::arg("archive_cells") = r.archiveCells);
}

// A gene's behaviour by descriptor name; None for a gene that failed, as
// individuals.csv leaves its fields empty.
py::dict Behaviour(const evolve::BehaviourSpace& space, const evolve::ScoredGene& gene) {
    py::dict values;
    const std::vector<double> v = space.Values(gene.runs);
    for (std::size_t i = 0; i < space.Size(); ++i) {
        values[space.Axis(i).name] =
            gene.fitness >= evolve::kWorstFitness ? py::object(py::none()) : py::object(py::float_(v[i]));
    }
    return values;
}

}  // namespace

PythonSearchCaller::PythonSearchCaller(SearchFunctions functions,
                                       std::optional<std::vector<std::string>> specs, py::object progress)
    : functions(std::move(functions)), specs(std::move(specs)), progress(std::move(progress)) {}

void PythonSearchCaller::Refuse(const std::string& problem) { throw py::value_error(problem); }

void PythonSearchCaller::Locked(const evolve::SearchOutput& output) {
    std::error_code error;
    if (std::filesystem::exists(output.CheckpointPath(), error)) {
        throw py::value_error(output.Dir() + " holds a search already: continue it with evolve(resume=\"" +
                              output.Dir() + "\"), or give another out");
    }
}

void PythonSearchCaller::Made(const evolve::SearchOutput& output) {
    std::string text;
    for (const std::string& line : Fingerprints(functions)) text += line + "\n";
    if (!text.empty()) evolve::WriteFile(FingerprintPath(output), text);
}

void PythonSearchCaller::CheckResumable(const evolve::SearchOutput& output) {
    CheckReadable(output.CheckpointPath());
}

void PythonSearchCaller::CheckResumed(const evolve::SearchOutput& output, const evolve::SearchSettings& s) {
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
}

void PythonSearchCaller::AfterGeneration(const evolve::Search& search,
                                         const evolve::GenerationReport& report) {
    generations.append(ReportDict(report));
    for (const evolve::ScoredGene& gene : search.Generation()) {
        individuals.append(py::dict(
            py::arg("id") = gene.origin.id, py::arg("generation") = gene.generation,
            py::arg("parents") = gene.origin.parents, py::arg("operator") = gene.origin.op,
            py::arg("fitness") = gene.fitness, py::arg("descriptors") = Behaviour(search.Space(), gene),
            py::arg("length") = gene.code.size(), py::arg("code") = evolve::CodeString(gene.code)));
    }
    if (!progress.is_none()) progress(ReportDict(report));
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

py::dict PythonSearchCaller::Result(const evolve::Search& search) const {
    py::list archive;
    for (const auto& [cell, gene] : search.Grid()) {
        archive.append(py::dict(py::arg("cell") = py::tuple(py::cast(search.Space().Coordinates(cell))),
                                py::arg("descriptors") = Behaviour(search.Space(), gene),
                                py::arg("fitness") = gene.fitness, py::arg("id") = gene.origin.id,
                                py::arg("code") = evolve::CodeString(gene.code)));
    }
    return py::dict(py::arg("best") = Gene::FromCode(evolve::CodeString(search.Best().code)),
                    py::arg("best_fitness") = search.Best().fitness, py::arg("generations") = generations,
                    py::arg("individuals") = individuals, py::arg("archive") = archive);
}

}  // namespace qm::python
