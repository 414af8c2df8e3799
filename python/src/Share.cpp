// The Python package's web pages of runs (quillmoth.show): a run's frames
// kept in memory as it steps, and the page of those frames or of a trace.

#include "Share.h"

#include "api/Run.h"
#include "api/RunFilm.h"

namespace py = pybind11;

namespace qm::python {

void BindShare(py::module_& m) {
    py::class_<RunFilm>(m, "_Film", "A run's frames kept for its page, every k-th step.")
        .def(py::init<long long>(), py::arg("every") = 1)
        .def(
            "step",
            [](RunFilm& film, Run& run, long long n) {
                py::gil_scoped_release release;
                film.Step(run, n);  // the outcome is the run's: Run.outcome
            },
            py::arg("run"), py::arg("n"))
        .def("add", &RunFilm::Add, py::arg("run"))
        .def("page", &RunFilm::Page, py::arg("run"))
        .def("__len__", &RunFilm::Count)
        .def_property_readonly("every", &RunFilm::Every);
    m.def("_page_of_run", &PageOfRun, py::arg("run"));
    m.def(
        "_page_of_trace",
        [](const std::string& path, long long every) {
            try {
                return PageOfTrace(path, every);
            } catch (const TraceError& e) {
                throw py::value_error(e.message);
            }
        },
        py::arg("path"), py::arg("every") = 1);
}

}  // namespace qm::python
