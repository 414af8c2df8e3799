#pragma once
// Evaluations away from the search's process: a Python function hands the
// search's tasks (as the text EncodeEvaluation writes) to other processes, such as
// the ranks of an MPI job through mpi4py, which evaluate each with
// EvaluateTask and send the result's text back. A result depends on its task
// alone, so the search is the same wherever its tasks ran.

#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <vector>

#include "api/Run.h"
#include "evolve/Evaluator.h"

namespace qm::python {

// The search's Python functions of a finished run: each descriptor's value
// into result.python, then fitness(run) (when given) into result.score.
// Refuses what is not a real number, and nan.
void ScoreRun(const pybind11::object& fitness, const std::vector<pybind11::object>& describe,
              const evolve::Evaluation& task, std::unique_ptr<Run> run, evolve::EvalResult& result);

// One task's text evaluated here, its run given to the functions (keeping
// its RunHistory with `history`): the result's text. `descriptors` as evolve takes them.
std::string EvaluateTask(const std::string& text, const pybind11::object& fitness, bool history,
                         const pybind11::object& descriptors);

// Hands every batch to dispatch(list of task texts) -> list of result texts, in the same order.
class DispatchEvaluator final : public evolve::Evaluator {
  public:
    explicit DispatchEvaluator(pybind11::object dispatch) : dispatch(std::move(dispatch)) {}
    std::vector<evolve::EvalResult> Evaluate(const std::vector<evolve::Evaluation>& tasks) override;
    std::string Describe() const override { return "evaluations handed out by Python"; }

  private:
    pybind11::object dispatch;
};

}  // namespace qm::python
