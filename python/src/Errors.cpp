#include "Errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <optional>
#include <regex>

#include "api/Gene.h"

namespace py = pybind11;

namespace qm::python {
namespace {

// Line and column of the place a compiler hint names ("at f.txt:3:9",
// "at line 3:9"), when it names one.
std::optional<std::pair<int, int>> PlaceOf(const std::string& hint) {
    static const std::regex place(R"( at (?:line |.*:)(\d+):(\d+))");
    std::smatch found;
    if (!std::regex_search(hint, found, place)) return std::nullopt;
    return std::pair{std::stoi(found[1]), std::stoi(found[2])};
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

void RegisterErrors(py::module_& m) {
    static py::exception<GeneError> geneError(m, "GeneError", PyExc_ValueError);
    // NOLINTNEXTLINE(performance-unnecessary-value-param): the translator type pybind11 takes
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const GeneError& e) {
            // The plain words first when the compiler has them, as `compile` prints them;
            // .text is the error log's text and .detail why a file could not be read.
            const std::string said = Trimmed(e.detail.empty() ? e.text : e.text + e.detail);
            const std::string message = e.hint.empty() ? said : e.hint + " (" + said + ")";
            py::object error = py::reinterpret_borrow<py::object>(geneError.ptr())(message);
            error.attr("text") = e.text;
            error.attr("detail") = e.detail;
            error.attr("hint") = e.hint;
            const std::optional<std::pair<int, int>> place = PlaceOf(e.hint);
            error.attr("line") = place ? py::object(py::int_(place->first)) : py::object(py::none());
            error.attr("column") = place ? py::object(py::int_(place->second)) : py::object(py::none());
            PyErr_SetObject(geneError.ptr(), error.ptr());
        }
    });
}

void CheckReadable(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) errno = EISDIR;
    // Without waiting for a writer: a FIFO is refused by its reader, not waited on here.
    else if (const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); fd >= 0) {
        close(fd);
        return;
    }
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw py::error_already_set();
}

void ThrowOSError(const std::string& message) {
    PyErr_SetString(PyExc_OSError, message.c_str());
    throw py::error_already_set();
}

}  // namespace qm::python
