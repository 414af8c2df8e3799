#include "evolve/SearchSession.h"

#include "base/Diagnostics.h"
#include "evolve/SearchCheckpoint.h"

namespace qm::evolve {

SearchSession::SearchSession(SessionCaller& caller, const std::optional<std::string>& dir) : caller(caller) {
    if (dir) output.emplace(*dir);
}

void SearchSession::Begin(SearchSettings settings) {
    if (const std::string problem = SettingsProblem(settings, caller.Terms()); !problem.empty())
        caller.Refuse(problem);
    caller.CheckNew(settings, Output());
    search.emplace(std::move(settings));
    if (!output) return;
    output->Lock(true);
    caller.Locked(*output);
    output->Create();
    caller.Made(*output);
    output->Begin(*search);
}

void SearchSession::Resume(const SessionChanges& changes) {
    output->Lock(false);
    caller.CheckResumable(*output);
    Checkpoint checkpoint = LoadCheckpoint(output->CheckpointPath(), caller.TakesPythonFitness());
    SearchSettings& s = checkpoint.settings;
    caller.CheckResumed(*output, s);
    if (changes.generations) s.generations = *changes.generations;
    if (changes.evaluations) s.evaluations = *changes.evaluations;
    // Fewer generations than are done would finish at once, saying nothing.
    if (checkpoint.state.done > s.generations) {
        caller.Refuse(FormatString("the search in %s has done %d generations: %s %d is fewer",
                                   Printable(output->Dir(), 400).c_str(), checkpoint.state.done,
                                   ArgumentName(Argument::Generations, caller.Terms()).c_str(),
                                   s.generations));
    }
    if (const std::string problem = SettingsProblem(s, caller.Terms()); !problem.empty()) {
        caller.Refuse("the checkpoint " + Printable(output->CheckpointPath(), 400) + " breaks " +
                      caller.Rules() + " rules: " + problem);
    }
    search.emplace(std::move(checkpoint.settings), std::move(checkpoint.state));
    output->TrimTables(*search);
}

GenerationReport SearchSession::RunGeneration(Evaluator& evaluator) {
    const int generation = search->Done() + 1;
    caller.BeforeGeneration(generation);
    GenerationReport report;
    try {
        report = search->RunGeneration(evaluator);
        if (output) output->Record(*search, report);
    } catch (const SearchError& e) {
        throw caller.Failed(e, generation);
    }
    caller.AfterGeneration(*search, report);
    return report;
}

void SearchSession::Run(Evaluator& evaluator) {
    while (!search->Finished()) RunGeneration(evaluator);
}

}  // namespace qm::evolve
