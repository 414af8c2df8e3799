#include <cstdlib>
#include <cstring>
#include <new>

#include "api/RunMany.h"
#include "base/Diagnostics.h"
#include "evolve/Evaluator.h"
#include "evolve/SearchError.h"

namespace qm::evolve {

std::optional<int> InjectedFault(const char* what) {
    const char* fault = std::getenv("QM_EVOLVE_FAULT");
    if (!fault) return std::nullopt;
    const std::size_t n = std::strlen(what);
    if (std::strncmp(fault, what, n) != 0 || fault[n] != ':') return std::nullopt;
    return std::atoi(fault + n + 1);
}

ThreadEvaluator::ThreadEvaluator(int workers, Evaluate1 evaluate)
    : workers(workers < 1 ? 1 : workers), evaluate(evaluate), faultyTask(InjectedFault("worker")) {}

std::string ThreadEvaluator::Describe() const {
    return FormatString("%d worker thread%s", workers, workers == 1 ? "" : "s");
}

// Every evaluation is a run of its own, so which thread takes which task
// changes no result. The first failure stops the others from taking more.
std::vector<EvalResult> ThreadEvaluator::Evaluate(const std::vector<Evaluation>& tasks) {
    std::vector<EvalResult> results(tasks.size());
    try {
        RunMany(tasks.size(), workers, [&](std::size_t i) {
            if (faultyTask == tasks[i].index) throw SearchError{"a fault was injected"};
            results[i] = evaluate(tasks[i]);
        });
    } catch (const SearchError& e) {
        throw SearchError{"an evaluation failed: " + e.message};
    } catch (const std::bad_alloc&) {
        throw SearchError{"an evaluation failed: it ran out of memory"};
    }
    return results;
}

}  // namespace qm::evolve
