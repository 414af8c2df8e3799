#include "record/NodeColumns.h"

#include <array>

namespace qm::record {
namespace {

constexpr const char* kId[] = {"id"};
constexpr const char* kPos[] = {"x", "y", "z"};
constexpr const char* kVel[] = {"vx", "vy", "vz"};
constexpr const char* kParams[] = {"p0", "p1", "p2", "p3", "p4", "p5", "p6", "p7", "p8", "p9"};
constexpr const char* kRates[] = {"d0", "d1", "d2", "d3", "d4", "d5", "d6", "d7", "d8", "d9"};
constexpr const char* kEdges[] = {"edges"};
constexpr const char* kRequest[] = {"request"};
constexpr const char* kGround[] = {"ground"};
constexpr const char* kEdgeLength[] = {"edge_length"};
constexpr const char* kColor[] = {"r", "g", "b"};
constexpr const char* kParent[] = {"parent"};
constexpr const char* kBorn[] = {"born"};
static_assert(std::size(kParams) == paramCount && std::size(kRates) == paramCount);

using enum ColumnType;
const NodeColumn kColumns[] = {
    {"id", kId, kInt32, offsetof(NodeRow, id), 1},
    {"pos", kPos, kFloat32, offsetof(NodeRow, pos), 1},
    {"vel", kVel, kFloat32, offsetof(NodeRow, vel), 1},
    {"param", kParams, kFloat64, offsetof(NodeRow, p), 1},
    {"diff", kRates, kFloat64, offsetof(NodeRow, d), 1},
    {"edges", kEdges, kInt32, offsetof(NodeRow, edges), 1},
    {"request", kRequest, kInt32, offsetof(NodeRow, request), 1},
    {"ground", kGround, kUInt8, offsetof(NodeRow, ground), 1},
    {"edgeLength", kEdgeLength, kFloat64, offsetof(NodeRow, edgeLength), 1},
    {"color", kColor, kFloat32, offsetof(NodeRow, color), 1},
    {"parent", kParent, kInt32, offsetof(NodeRow, parent), 2},
    {"born", kBorn, kInt32, offsetof(NodeRow, born), 2},
};

}  // namespace

std::span<const NodeColumn> NodeColumns() { return kColumns; }

NodeRow NodeRowOf(long long step, const TNode& n) {
    NodeRow r{};  // padding zeroed too: the file's bytes depend on nothing but the state
    r.step = step;
    r.id = n.id;
    r.edges = n.edgeCount;
    r.request = n.request;
    r.ground = n.onGround ? 1 : 0;
    r.pos[0] = n.pos.x;
    r.pos[1] = n.pos.y;
    r.pos[2] = n.pos.z;
    r.vel[0] = n.vel.x;
    r.vel[1] = n.vel.y;
    r.vel[2] = n.vel.z;
    for (std::size_t i = 0; i < paramCount; ++i) {
        r.p[i] = n.param[i];
        r.d[i] = n.diffRate[i];
    }
    r.edgeLength = n.edgeLength;
    r.color[0] = n.material.Diffuse.r;
    r.color[1] = n.material.Diffuse.g;
    r.color[2] = n.material.Diffuse.b;
    r.parent = n.parent;
    r.born = n.born;
    return r;
}

}  // namespace qm::record
