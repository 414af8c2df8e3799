#include "node/NodeDrawing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "device/Device.h"
#include "device/Mesh.h"
#include "math/D3dxMath.h"
#include "node/TNode.h"

namespace qm {
namespace {

// Black, `alpha` opaque.
Material BlackMaterial(float alpha) {
    Material m;
    m.Diffuse.a = alpha;
    return m;
}

// The outline of the node cube seen along `direction`: the hexagon of the six
// corners that are neither nearest nor farthest along it, as a fan of four
// triangles. Its shadow is the cube's shadow, covered once instead of twice.
// Nothing when the direction runs along a face, where the corners do not
// make a hexagon.
std::optional<Mesh> CubeOutline(const Vector3& direction) {
    if (direction.x == 0.0f || direction.y == 0.0f || direction.z == 0.0f) return std::nullopt;
    const float h = nodeSize * 0.5f;
    std::vector<Vector3> corners;
    corners.reserve(8);
    for (int i = 0; i < 8; ++i) corners.push_back({i & 1 ? h : -h, i & 2 ? h : -h, i & 4 ? h : -h});
    const auto along = [&direction](const Vector3& c) { return Vec3Dot(c, direction); };
    const auto [nearest, farthest] =
        std::minmax_element(corners.begin(), corners.end(),
                            [&](const Vector3& a, const Vector3& b) { return along(a) < along(b); });
    const Vector3 dropped[2] = {*nearest, *farthest};
    std::erase_if(corners, [&](const Vector3& c) { return c == dropped[0] || c == dropped[1]; });

    // Around the direction, in the plane across it.
    const Vector3 u = Vec3Normalize(Vec3Cross(direction, {0.0f, 0.0f, 1.0f}));
    const Vector3 v = Vec3Cross(Vec3Normalize(direction), u);
    std::sort(corners.begin(), corners.end(), [&](const Vector3& a, const Vector3& b) {
        return std::atan2(Vec3Dot(a, v), Vec3Dot(a, u)) < std::atan2(Vec3Dot(b, v), Vec3Dot(b, u));
    });

    Mesh mesh;
    mesh.hasNormals = false;
    for (const Vector3& c : corners) mesh.vertices.push_back({c, {}, 0.0f, 0.0f});
    for (std::uint32_t i = 1; i + 1 < mesh.vertices.size(); ++i) {
        mesh.indices.insert(mesh.indices.end(), {0u, i, i + 1});
    }
    mesh.subsets.push_back({0, mesh.FaceCount()});
    return mesh;
}

}  // namespace

NodeDrawing::NodeDrawing()
    : shadowMaterial(BlackMaterial(kShadowAlpha)), shadowLayersMaterial(BlackMaterial(kShadowLayersAlpha)) {}

void NodeDrawing::Init(Device&) {
    if (!mesh) mesh = MakeBox(nodeSize, nodeSize, nodeSize);
    lineWorld = MatrixIdentity();
}

void NodeDrawing::InitShadow(const Vector3& lightDirection) {
    Plane plane = PlaneFromPointNormal({0.0f, kShadowPlaneY, 0.0f}, {0.0f, 1.0f, 0.0f});
    Vector4 light{-lightDirection.x, -lightDirection.y, -lightDirection.z, 0.0f};
    shadow = MatrixShadow(light, plane);
    shadowOutline = CubeOutline(lightDirection);
}

void NodeDrawing::DrawLine(Device& device, const Vector3& from, const Vector3& to, std::uint32_t color) {
    line[0] = {from.x, from.y, from.z, color};
    line[1] = {to.x, to.y, to.z, color};
    device.SetTransform(TransformType::World, lineWorld);
    device.DrawLineList(line);
}

void NodeBatch::Clear() {
    instances_.clear();
    materials_.clear();
}

void NodeBatch::Add(const TNode& node) { Add(node.pos, node.material); }

void NodeBatch::Add(const Vector3& position, const Material& material) {
    instances_.push_back({position, static_cast<std::uint32_t>(materials_.size())});
    materials_.push_back(material);
}

// A cube's world transform is Translation(pos): a node's rotation is never
// changed from zero, so the rotations Render applies first are identities.
// A shadow's is that times the shadow matrix, as RenderShadow makes it.
//
// All the cubes go before all the shadows. Drawn node by node instead, a
// shadow could only differ where it lies in front of a later cube, and the
// shadows lie in front of nothing but the last hundredth of a unit of the
// cubes that rest on the floor; there, drawing the shadow last is the truer
// picture.
//
// Triangles that cannot change the picture are left out, for speed: the
// cube's back faces, which its front faces hide from any eye outside it, and
// the second layer of each shadow (see kShadowLayersAlpha).
void NodeBatch::Draw(Device& device, const NodeDrawing& drawing) const {
    const Mesh* mesh = drawing.NodeMesh();
    if (!mesh || instances_.empty()) return;
    device.SetTransform(TransformType::World, MatrixIdentity());
    device.SetRenderState(RenderState::CullMode, kCullCounterClockwise);
    device.DrawMeshInstances(*mesh, 0, instances_, materials_);
    device.SetRenderState(RenderState::CullMode, kCullNone);

    const Mesh* outline = drawing.ShadowOutlineMesh();
    device.SetTransform(TransformType::World, drawing.ShadowMatrix());
    device.SetMaterial(outline ? drawing.ShadowOutlineMaterial() : drawing.ShadowMaterial());
    device.SetRenderState(RenderState::ZWriteEnable, 0);
    device.DrawMeshInstances(outline ? *outline : *mesh, 0, instances_, {});
    device.SetRenderState(RenderState::ZWriteEnable, 1);
}

void LineBatch::Add(const Vector3& from, const Vector3& to, std::uint32_t color) {
    vertices_.push_back({from.x, from.y, from.z, color});
    vertices_.push_back({to.x, to.y, to.z, color});
}

void LineBatch::Draw(Device& device, const NodeDrawing& drawing) {
    if (vertices_.empty()) return;
    device.SetTransform(TransformType::World, drawing.LineWorld());
    device.DrawLineList(vertices_);
}

void TNode::Render(Device& device, const NodeDrawing& drawing) {
    Matrix m = MatrixMultiply(MatrixRotationY(rot.y), MatrixRotationX(rot.x));
    m = MatrixMultiply(m, MatrixRotationZ(rot.z));
    drawTransform = MatrixMultiply(m, MatrixTranslation(pos.x, pos.y, pos.z));
    device.SetTransform(TransformType::World, drawTransform);
    device.SetMaterial(material);
    if (const Mesh* mesh = drawing.NodeMesh()) device.DrawMeshSubset(*mesh, 0);
}

// Relies on Render having just stored this node's drawing transform.
//
// The flattened cube covers its shadow twice (its faces towards the light and
// those away from it), all of it in one plane. Written depth would let one
// layer hide the other wherever rounding puts it a hair behind, which showed
// as light streaks; without it each layer darkens every pixel it covers, so
// every shadow has the even tone of two layers. The depth test still hides
// the shadow behind anything in front of it.
void TNode::RenderShadow(Device& device, const NodeDrawing& drawing) {
    drawTransform = MatrixMultiply(drawTransform, drawing.ShadowMatrix());
    device.SetTransform(TransformType::World, drawTransform);
    device.SetMaterial(drawing.ShadowMaterial());
    device.SetRenderState(RenderState::ZWriteEnable, 0);
    if (const Mesh* mesh = drawing.NodeMesh()) device.DrawMeshSubset(*mesh, 0);
    device.SetRenderState(RenderState::ZWriteEnable, 1);
}

}  // namespace qm
