#include "Arrays.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "world/NodeManager.h"

namespace py = pybind11;

namespace qm::python {
namespace {

struct NodeRow {
    std::int32_t id;
    float x, y, z, vx, vy, vz;
    double p[paramCount];
    double d[paramCount];
    std::int32_t edges, request;
    std::uint8_t ground;
    double edgeLength;
    float r, g, b;
};

py::dtype NodeDtype() {
    py::list names, formats, offsets;
    auto add = [&](const std::string& name, const char* format, std::size_t offset) {
        names.append(name);
        formats.append(format);
        offsets.append(offset);
    };
    add("id", "<i4", offsetof(NodeRow, id));
    const char* motion[] = {"x", "y", "z", "vx", "vy", "vz"};
    for (std::size_t i = 0; i < 6; ++i) add(motion[i], "<f4", offsetof(NodeRow, x) + i * sizeof(float));
    for (std::size_t i = 0; i < paramCount; ++i)
        add("p" + std::to_string(i), "<f8", offsetof(NodeRow, p) + i * 8);
    for (std::size_t i = 0; i < paramCount; ++i)
        add("d" + std::to_string(i), "<f8", offsetof(NodeRow, d) + i * 8);
    add("edges", "<i4", offsetof(NodeRow, edges));
    add("request", "<i4", offsetof(NodeRow, request));
    add("ground", "u1", offsetof(NodeRow, ground));
    add("edge_length", "<f8", offsetof(NodeRow, edgeLength));
    add("r", "<f4", offsetof(NodeRow, r));
    add("g", "<f4", offsetof(NodeRow, g));
    add("b", "<f4", offsetof(NodeRow, b));
    py::dict layout;
    layout["names"] = names;
    layout["formats"] = formats;
    layout["offsets"] = offsets;
    layout["itemsize"] = sizeof(NodeRow);
    return py::dtype::from_args(layout);
}

NodeRow RowOf(const TNode& n) {
    NodeRow r{};
    r.id = n.id;
    r.x = n.pos.x;
    r.y = n.pos.y;
    r.z = n.pos.z;
    r.vx = n.vel.x;
    r.vy = n.vel.y;
    r.vz = n.vel.z;
    std::memcpy(r.p, n.param.data(), sizeof r.p);
    std::memcpy(r.d, n.diffRate.data(), sizeof r.d);
    r.edges = n.edgeCount;
    r.request = n.request;
    r.ground = n.onGround ? 1 : 0;
    r.edgeLength = n.edgeLength;
    r.r = n.material.Diffuse.r;
    r.g = n.material.Diffuse.g;
    r.b = n.material.Diffuse.b;
    return r;
}

}  // namespace

py::array NodeArray(const NodeManager* world) {
    const py::dtype dtype = NodeDtype();
    const std::size_t n = world ? world->NodeMap().size() : 0;
    py::array out(dtype, std::vector<py::ssize_t>{static_cast<py::ssize_t>(n)});
    auto* rows = static_cast<NodeRow*>(out.mutable_data());
    std::size_t i = 0;
    if (world) {
        for (const auto& [id, node] : world->NodeMap()) rows[i++] = RowOf(*node);
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
