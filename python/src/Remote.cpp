#include "Remote.h"

#include <pybind11/stl.h>

#include "Arguments.h"
#include "Descriptors.h"
#include "base/Diagnostics.h"
#include "evolve/Evaluation.h"

namespace py = pybind11;

namespace qm::python {

namespace {

double Measure(const py::object& function, const py::object& run, const evolve::EvalTask& task,
               const std::string& what) {
    return MeasureOf(function(run), what, Printable(task.code, 120), task.seed);
}

}  // namespace

void ScoreRun(const py::object& fitness, const std::vector<py::object>& describe,
              const evolve::EvalTask& task, std::unique_ptr<Run> run, evolve::EvalResult& result) {
    const py::object held = py::cast(std::move(run));
    for (std::size_t k = 0; k < describe.size(); ++k)
        result.python[k] = Measure(describe[k], held, task, "descriptor python" + std::to_string(k + 1));
    if (!fitness.is_none()) result.score = Measure(fitness, held, task, "fitness function");
}

std::string EvaluateTask(const std::string& text, const py::object& fitness, bool history,
                         const py::object& descriptors) {
    const std::vector<py::object> describe = ReadDescriptors(descriptors).functions;
    evolve::EvalTask task;
    if (!evolve::DecodeTask(text, task)) throw py::value_error("not a task: " + text.substr(0, 200));
    task.history = history;
    std::unique_ptr<Run> run;
    evolve::EvalResult result;
    {
        py::gil_scoped_release release;
        result = evolve::EvaluateGene(task, run);
    }
    if (result.outcome != evolve::EvalResult::Outcome::Error && run)
        ScoreRun(fitness, describe, task, std::move(run), result);
    return evolve::EncodeResult(result);
}

std::vector<evolve::EvalResult> DispatchEvaluator::Evaluate(const std::vector<evolve::EvalTask>& tasks) {
    std::vector<std::string> texts;
    texts.reserve(tasks.size());
    for (const evolve::EvalTask& task : tasks) texts.push_back(evolve::EncodeTask(task));
    const auto answers = dispatch(texts).cast<std::vector<std::string>>();
    if (answers.size() != tasks.size()) throw py::value_error("the dispatch gave another number of results");
    std::vector<evolve::EvalResult> results(tasks.size());
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        if (!evolve::DecodeResult(answers[i], results[i]))
            throw py::value_error("not a result: " + answers[i].substr(0, 200));
    }
    return results;
}

}  // namespace qm::python
