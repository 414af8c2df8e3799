#pragma once
// Where a batch of evaluations runs: child processes of this machine
// (ProcessPool) or the ranks of an MPI job (MpiEvaluator). Results depend on
// the tasks alone, never on which process ran them or in which order.

#include <string>
#include <vector>

#include "evolve/Evaluation.h"

namespace qm::evolve {

class Evaluator {
  public:
    virtual ~Evaluator() = default;
    // The results in the order of the tasks; throws SearchError when a
    // process that held a task was lost.
    virtual std::vector<EvalResult> Evaluate(const std::vector<EvalTask>& tasks) = 0;
    // How many evaluations run at once, and where, for the progress report.
    virtual std::string Describe() const = 0;
};

// Up to `workers` evaluation processes at a time on this machine.
class ProcessPool final : public Evaluator {
  public:
    explicit ProcessPool(int workers) : workers(workers < 1 ? 1 : workers) {}
    std::vector<EvalResult> Evaluate(const std::vector<EvalTask>& tasks) override;
    std::string Describe() const override;

  private:
    int workers;
};

// The processors of this machine (the default number of workers).
int CoreCount();

}  // namespace qm::evolve
