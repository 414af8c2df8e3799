#include "History.h"

#include <pybind11/numpy.h>

namespace py = pybind11;

namespace qm::python {

py::dict HistoryOf(const Run& run) {
    const std::optional<RunHistory> history = run.History();
    if (!history) throw py::value_error("the run keeps no history: make it with Run(..., history=True)");
    py::dict series;
    ForEachHistorySeries([&](const char* name, auto member) {
        const std::vector<double>& values = (*history).*member;
        series[name] = py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
    });
    return series;
}

void ObserveBy(Run& run, const py::object& observe, long long every) {
    if (observe.is_none()) return;
    if (every < 1) throw py::value_error("every must be at least 1");
    run.Observe(
        [observe](Run& observed) {
            py::gil_scoped_acquire hold;
            observe(py::cast(&observed, py::return_value_policy::reference));
        },
        every);
}

}  // namespace qm::python
