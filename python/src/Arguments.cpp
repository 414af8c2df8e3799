#include "Arguments.h"

#include <cmath>

#include "base/Diagnostics.h"

namespace py = pybind11;

namespace qm::python {
namespace {

std::string Shown(const py::handle& value) { return Printable(py::repr(value).cast<std::string>(), 80); }

std::string TypeName(const py::handle& value) {
    return py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>();
}

[[noreturn]] void OutOfRange(evolve::Argument argument, const std::string& given) {
    throw py::value_error(evolve::RangeText(argument, evolve::Caller::Python) + ", not " + given);
}

}  // namespace

long long IntegerArgument(const py::handle& value, evolve::Argument argument) {
    const std::string name = evolve::ArgumentName(argument, evolve::Caller::Python);
    // A bool is an int to Python, but True is no count of anything.
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr()))
        throw py::type_error(name + " takes a whole number, not " + Shown(value) + " (" + TypeName(value) +
                             ")");
    const py::int_ whole = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(whole.ptr(), &overflow);
    if (overflow != 0 || !evolve::Allowed(argument, static_cast<double>(n)))
        OutOfRange(argument, Shown(value));
    return n;
}

std::optional<long long> OptionalIntegerArgument(const py::handle& value, evolve::Argument argument) {
    if (value.is_none()) return std::nullopt;
    return IntegerArgument(value, argument);
}

std::optional<Vector3> GoalArgument(const std::optional<std::array<float, 3>>& goal) {
    if (!goal) return std::nullopt;
    const auto [x, y, z] = *goal;
    if (!(std::isfinite(x) && std::isfinite(y) && std::isfinite(z))) {
        throw py::value_error("goal takes three finite numbers, not " +
                              FormatString("(%g, %g, %g)", static_cast<double>(x), static_cast<double>(y),
                                           static_cast<double>(z)));
    }
    return Vector3{x, y, z};
}

double MeasureOf(const py::object& value, const std::string& what, const std::string& gene,
                 std::uint32_t seed) {
    const std::string where = " for gene " + gene + " on seed " + std::to_string(seed);
    // What float() takes but a text or a bool: "3" and True are no measures.
    if (PyBool_Check(value.ptr()) ||
        !(PyFloat_Check(value.ptr()) || PyIndex_Check(value.ptr()) || py::hasattr(value, "__float__"))) {
        throw py::type_error("the " + what + " gave " + Shown(value) + " (" + TypeName(value) +
                             "), not a real number," + where);
    }
    const double measure = PyFloat_AsDouble(value.ptr());
    if (measure == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    if (!std::isfinite(measure))
        throw py::value_error("the " + what + " gave " + Shown(value) + where +
                              ": it must be a finite number");
    return measure;
}

}  // namespace qm::python
