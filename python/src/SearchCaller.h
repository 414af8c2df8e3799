#pragma once
// quillmoth.evolve's part of a search session: its refusals are ValueErrors
// in its arguments' names; a search whose fitness or descriptors are Python
// functions keeps their fingerprints (qualified name and a hash of the code)
// in DIR/fitness.txt, and a resume with functions that differ is refused;
// each generation is kept for the result and given to `progress`, and
// Ctrl-C stops the search between two generations.

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <vector>

#include "evolve/SearchSession.h"

namespace qm::python {

// The search's Python functions: the fitness (or None) and the descriptors'.
struct SearchFunctions {
    pybind11::object fitness;
    std::vector<pybind11::object> describe;
};

class PythonSearchCaller final : public evolve::SessionCaller {
  public:
    // `specs`, when given, must be a resumed checkpoint's descriptors.
    PythonSearchCaller(SearchFunctions functions, std::optional<std::vector<std::string>> specs,
                       pybind11::object progress);

    [[noreturn]] void Refuse(const std::string& problem) override;
    std::string Rules() const override { return "the search's"; }
    evolve::Caller Terms() const override { return evolve::Caller::Python; }

    void Locked(const evolve::SearchOutput& output) override;
    void Made(const evolve::SearchOutput& output) override;
    bool TakesPythonFitness() const override { return true; }
    void CheckResumable(const evolve::SearchOutput& output) override;
    void CheckResumed(const evolve::SearchOutput& output, const evolve::SearchSettings& settings) override;
    void AfterGeneration(const evolve::Search& search, const evolve::GenerationReport& report) override;

    // evolve's result: the best gene, the generations, the genes of every
    // generation and the grid.
    pybind11::dict Result(const evolve::Search& search) const;

  private:
    SearchFunctions functions;
    std::optional<std::vector<std::string>> specs;
    pybind11::object progress;
    pybind11::list generations, individuals;
};

}  // namespace qm::python
