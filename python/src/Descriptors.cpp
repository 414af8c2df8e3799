#include "Descriptors.h"

#include "base/Diagnostics.h"
#include "evolve/Behaviour.h"
#include "evolve/Search.h"

namespace py = pybind11;

namespace qm::python {
namespace {

std::string Number(const py::handle& value, const std::string& what) {
    if (!py::isinstance<py::int_>(value) && !py::isinstance<py::float_>(value))
        throw py::type_error(what + " takes numbers for its range and cells");
    return FormatString("%.17g", value.cast<double>());
}

// NAME:LOW:HIGH[:CELLS] of a tuple's name and the numbers after it.
std::string RangedName(const std::string& name, const py::tuple& item, const std::string& what) {
    if (item.size() != 3 && item.size() != 4)
        throw py::value_error(what + " needs (name or function, low, high) or (…, low, high, cells)");
    std::string text = name;
    for (std::size_t i = 1; i < item.size(); ++i) text += ":" + Number(item[i], what);
    return text;
}

}  // namespace

DescriptorArgs ReadDescriptors(const py::object& given) {
    DescriptorArgs args;
    if (given.is_none()) return args;
    if (py::isinstance<py::str>(given)) throw py::type_error("descriptors takes a list, not one name");
    args.specs.emplace();
    for (const py::handle item : given) {
        if (py::isinstance<py::str>(item)) {
            const std::string text = item.cast<std::string>();
            if (!evolve::PythonDescriptorIn({text}).empty())
                throw py::value_error("python1 to python3 are given as (function, low, high[, cells])");
            args.specs->push_back(text);
            continue;
        }
        if (!py::isinstance<py::tuple>(item) || py::len(item) == 0)
            throw py::type_error(
                "a descriptor is a name, a (name, low, high[, cells]) or a "
                "(function, low, high[, cells])");
        const py::tuple tuple = py::reinterpret_borrow<py::tuple>(item);
        if (py::isinstance<py::str>(tuple[0])) {
            const std::string name = tuple[0].cast<std::string>();
            args.specs->push_back(RangedName(name, tuple, "descriptor " + name));
        } else if (PyCallable_Check(tuple[0].ptr())) {
            args.functions.push_back(py::reinterpret_borrow<py::object>(tuple[0]));
            if (args.functions.size() > static_cast<std::size_t>(evolve::kMaxDescriptors))
                throw py::value_error(FormatString("at most %d descriptors", evolve::kMaxDescriptors));
            const std::string name = "python" + std::to_string(args.functions.size());
            if (tuple.size() < 3)
                throw py::value_error("a descriptor function needs its range: (function, low, high)");
            args.specs->push_back(RangedName(name, tuple, "the descriptor function"));
        } else {
            throw py::type_error("a descriptor tuple starts with a name or a function");
        }
    }
    return args;
}

}  // namespace qm::python
