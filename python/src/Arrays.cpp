#include "Arrays.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace py = pybind11;

namespace qm::python {
namespace {

// The frame's rows, read through their columns.
py::dtype NodeDtype() {
    py::list names, formats, offsets;
    for (const FrameColumn& column : Frame::Columns()) {
        names.append(column.name);
        formats.append(std::string(column.bytes == 1 ? "" : "<") + column.kind +
                       std::to_string(column.bytes));
        offsets.append(column.offset);
    }
    py::dict layout;
    layout["names"] = names;
    layout["formats"] = formats;
    layout["offsets"] = offsets;
    layout["itemsize"] = Frame::RowBytes();
    return py::dtype::from_args(layout);
}

}  // namespace

py::array NodeArray(const Frame& frame) {
    const std::size_t n = frame.nodeRows.size() / Frame::RowBytes();
    py::array out(NodeDtype(), std::vector<py::ssize_t>{static_cast<py::ssize_t>(n)});
    if (n > 0) std::memcpy(out.mutable_data(), frame.nodeRows.data(), frame.nodeRows.size());
    return out;
}

py::array LinkArray(const Frame& frame) {
    py::array_t<std::int32_t> out(
        {static_cast<py::ssize_t>(frame.linkIds.size()), static_cast<py::ssize_t>(2)});
    auto view = out.mutable_unchecked<2>();
    py::ssize_t i = 0;
    for (const auto& [a, b] : frame.linkIds) {
        view(i, 0) = a;
        view(i, 1) = b;
        ++i;
    }
    return out;
}

}  // namespace qm::python
