#include "Arrays.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "record/NodeColumns.h"
#include "world/NodeManager.h"

namespace py = pybind11;

namespace qm::python {
namespace {

const char* NumpyFormat(record::ColumnType type) {
    switch (type) {
        case record::ColumnType::kInt32:
            return "<i4";
        case record::ColumnType::kUInt8:
            return "u1";
        case record::ColumnType::kFloat32:
            return "<f4";
        case record::ColumnType::kFloat64:
            return "<f8";
    }
    return "<i4";
}

// The trace's node row, read through the columns of a node (its step left out).
py::dtype NodeDtype() {
    py::list names, formats, offsets;
    for (const record::NodeColumn& column : record::NodeColumns()) {
        for (std::size_t i = 0; i < column.names.size(); ++i) {
            names.append(column.names[i]);
            formats.append(NumpyFormat(column.type));
            offsets.append(column.offset + i * record::ColumnSize(column.type));
        }
    }
    py::dict layout;
    layout["names"] = names;
    layout["formats"] = formats;
    layout["offsets"] = offsets;
    layout["itemsize"] = sizeof(record::NodeRow);
    return py::dtype::from_args(layout);
}

}  // namespace

py::array NodeArray(const NodeManager* world) {
    const py::dtype dtype = NodeDtype();
    const std::size_t n = world ? world->NodeMap().size() : 0;
    py::array out(dtype, std::vector<py::ssize_t>{static_cast<py::ssize_t>(n)});
    // Zeroed, and rows copied whole: the bytes between columns are zero, so equal worlds give equal bytes.
    auto* rows = static_cast<char*>(out.mutable_data());
    std::memset(rows, 0, n * sizeof(record::NodeRow));
    if (world) {
        for (const auto& [id, node] : world->NodeMap()) {
            const record::NodeRow row = record::NodeRowOf(0, *node);
            std::memcpy(rows, &row, sizeof row);
            rows += sizeof row;
        }
    }
    return out;
}
py::array LinkArray(const NodeManager* world) {
    const std::size_t m = world ? world->Links().Size() : 0;
    py::array_t<std::int32_t> out({static_cast<py::ssize_t>(m), static_cast<py::ssize_t>(2)});
    auto view = out.mutable_unchecked<2>();
    py::ssize_t i = 0;
    if (world) {
        for (const auto& [pair, one] : world->Links().Pairs()) {
            view(i, 0) = pair.first->id;
            view(i, 1) = pair.second->id;
            ++i;
        }
    }
    return out;
}

}  // namespace qm::python
