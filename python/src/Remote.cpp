#include "Remote.h"

#include <pybind11/stl.h>

#include <cmath>

#include "evolve/Evaluation.h"

namespace py = pybind11;

namespace qm::python {

double ScoreRun(const py::object& fitness, const evolve::EvalTask& task, std::unique_ptr<Run> run) {
    // What float() takes but a string: a text is no cost, even "3".
    const py::object value = fitness(py::cast(std::move(run)));
    const double score = PyFloat_AsDouble(value.ptr());
    if (score == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    if (std::isnan(score)) {
        throw py::value_error("the fitness function gave nan for gene " + task.code + " on seed " +
                              std::to_string(task.seed));
    }
    return score;
}

std::string EvaluateTask(const std::string& text, const py::object& fitness, bool history) {
    evolve::EvalTask task;
    if (!evolve::DecodeTask(text, task)) throw py::value_error("not a task: " + text.substr(0, 200));
    task.history = history;
    std::unique_ptr<Run> run;
    evolve::EvalResult result;
    {
        py::gil_scoped_release release;
        result = evolve::EvaluateGene(task, run);
    }
    if (!fitness.is_none() && result.outcome != evolve::EvalResult::Outcome::Error && run)
        result.score = ScoreRun(fitness, task, std::move(run));
    return evolve::EncodeResult(result);
}

std::vector<evolve::EvalResult> DispatchEvaluator::Evaluate(const std::vector<evolve::EvalTask>& tasks) {
    std::vector<std::string> texts;
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
