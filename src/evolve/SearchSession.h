#pragma once
// One search and its folder, as `quillmoth-sim evolve` and quillmoth.evolve
// both run it: the folder locked, a new search begun in it or a stopped one
// taken up from its checkpoint, then generation by generation, each
// recorded in the tables and the checkpoint. What belongs to one caller
// alone (its messages, its own files, what it does between generations)
// comes through a SessionCaller.

#include <optional>
#include <string>

#include "evolve/ArgumentRules.h"
#include "evolve/Search.h"
#include "evolve/SearchError.h"
#include "evolve/SearchOutput.h"

namespace qm::evolve {

// What the caller adds to a session. Every hook may throw; the session
// leaves its folder unlocked when it does.
class SessionCaller {
  public:
    virtual ~SessionCaller() = default;
    // Refuses the search before anything is written, as the caller refuses
    // a bad argument (the command line: SearchError, refused).
    [[noreturn]] virtual void Refuse(const std::string& problem) = 0;
    // Whose rules a checkpoint must keep, as the refusal says.
    virtual std::string Rules() const = 0;
    // Which names of the settings its refusals use.
    virtual Caller Terms() const = 0;

    // A new search, checked and not yet written (`output` is null when it
    // keeps no folder).
    virtual void CheckNew(const SearchSettings& /*settings*/, const SearchOutput* /*output*/) {}
    // A new search's folder locked, before it is made.
    virtual void Locked(const SearchOutput& /*output*/) {}
    // A new search's folder made: the caller's own files in it.
    virtual void Made(const SearchOutput& /*output*/) {}

    // Whether a checkpoint may hold a fitness that is a Python function.
    virtual bool TakesPythonFitness() const { return false; }
    // The folder to resume locked, before its checkpoint is read.
    virtual void CheckResumable(const SearchOutput& /*output*/) {}
    // The checkpoint as read, before the changes given: what the caller cannot go on with.
    virtual void CheckResumed(const SearchOutput& /*output*/, const SearchSettings& /*settings*/) {}

    // Before and after each generation, the latter once it is recorded.
    virtual void BeforeGeneration(int /*generation*/) {}
    virtual void AfterGeneration(const Search& /*search*/, const GenerationReport& /*report*/) {}
    // A generation that failed: the error the caller passes on.
    virtual SearchError Failed(const SearchError& error, int /*generation*/) { return error; }
};

// The settings a resumed search may take anew.
struct SessionChanges {
    std::optional<int> generations;
    std::optional<long long> evaluations;
};

class SearchSession {
  public:
    // A session in `dir`, or none kept when `dir` is not given.
    SearchSession(SessionCaller& caller, const std::optional<std::string>& dir);

    // A new search: its settings checked, then its folder locked and made
    // with the tables' headers.
    void Begin(SearchSettings settings);
    // The search of the folder's checkpoint, with `changes`; its tables
    // trimmed to the generations the checkpoint holds.
    void Resume(const SessionChanges& changes);

    // One generation evaluated, recorded, and reported to the caller.
    GenerationReport RunGeneration(Evaluator& evaluator);
    // Generations until the search is finished.
    void Run(Evaluator& evaluator);

    const Search& State() const { return *search; }
    // The folder, or null when none is kept.
    const SearchOutput* Output() const { return output ? &*output : nullptr; }

  private:
    SessionCaller& caller;
    std::optional<SearchOutput> output;
    std::optional<Search> search;
};

}  // namespace qm::evolve
