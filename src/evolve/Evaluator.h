#pragma once
// Where a batch of evaluations runs: threads of this process (ThreadEvaluator) or
// the ranks of an MPI job (MpiEvaluator). Results depend on the tasks alone,
// never on which thread or process ran them or in which order.

#include <optional>
#include <string>
#include <vector>

#include "evolve/Evaluation.h"

namespace qm::evolve {

class Evaluator {
  public:
    virtual ~Evaluator() = default;
    // The results in the order of the tasks; throws SearchError when an
    // evaluation failed or a process that held one was lost.
    virtual std::vector<EvalResult> Evaluate(const std::vector<Evaluation>& tasks) = 0;
    // How many evaluations run at once, and where, for the progress report.
    virtual std::string Describe() const = 0;
};

// Up to `workers` evaluations at a time, each on a thread of this process.
// No process boundary is needed: a run owns all its state, and the node
// limit bounds what a gene can take. `evaluate` is EvaluateGene but in tests.
class ThreadEvaluator final : public Evaluator {
  public:
    using Evaluate1 = EvalResult (*)(const Evaluation&);
    explicit ThreadEvaluator(int workers, Evaluate1 evaluate = EvaluateGene);
    std::vector<EvalResult> Evaluate(const std::vector<Evaluation>& tasks) override;
    std::string Describe() const override;

  private:
    int workers;
    Evaluate1 evaluate;
    std::optional<int> faultyTask;  // QM_EVOLVE_FAULT=worker:N, read once
};

// The number N when QM_EVOLVE_FAULT is "what:N" (worker, rank): which task or
// rank is to fail, a test of how the search reports a failed evaluation or a
// lost rank. Read by each evaluator once.
std::optional<int> InjectedFault(const char* what);

}  // namespace qm::evolve
