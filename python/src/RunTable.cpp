#include "RunTable.h"

namespace py = pybind11;

namespace qm::python {
namespace {

const char* OutcomeText(evolve::EvalResult::Outcome outcome) {
    switch (outcome) {
        case evolve::EvalResult::Outcome::Completed:
            return "completed";
        case evolve::EvalResult::Outcome::GoalReached:
            return "goal";
        case evolve::EvalResult::Outcome::Error:
            break;
    }
    return "error";
}

}  // namespace

py::object RunTable(const std::vector<TableRow>& rows) {
    py::list records;
    for (const TableRow& row : rows) {
        const evolve::EvalResult& r = *row.result;
        const bool goal = r.outcome == evolve::EvalResult::Outcome::GoalReached;
        records.append(py::make_tuple(row.gene, row.task->seed, OutcomeText(r.outcome), r.steps,
                                      goal ? r.steps : -1LL, r.closest, r.nodes, r.dx, r.dz, r.height,
                                      row.fitness));
    }
    py::list dtype;
    for (const auto& [name, type] : {std::pair{"gene", "i4"},
                                     {"seed", "u4"},
                                     {"outcome", "U9"},
                                     {"steps", "i8"},
                                     {"goal_step", "i8"},
                                     {"closest", "f8"},
                                     {"nodes", "i4"},
                                     {"dx", "f8"},
                                     {"dz", "f8"},
                                     {"height", "f8"},
                                     {"fitness", "f8"}}) {
        dtype.append(py::make_tuple(name, type));
    }
    py::module_ numpy = py::module_::import("numpy");
    return numpy.attr("array")(records, py::arg("dtype") = dtype).attr("view")(numpy.attr("recarray"));
}

}  // namespace qm::python
