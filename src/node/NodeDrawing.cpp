#include "node/NodeDrawing.h"

#include <array>
#include <memory>
#include <optional>

#include "device/Device.h"
#include "device/Mesh.h"
#include "math/D3dxMath.h"
#include "node/TNode.h"

namespace qm {
namespace {

struct NodeResources {
    std::optional<Mesh> mesh;
    Matrix shadow = MatrixIdentity();
    Material shadowMaterial = [] {
        Material m;
        m.Diffuse.a = 0.25f;  // black, three quarters transparent
        return m;
    }();
    std::array<ColorVertex, 2> line{};
    Matrix lineWorld = MatrixIdentity();
};

NodeResources& Resources() {
    static NodeResources resources;
    return resources;
}

}  // namespace

void InitNodeResources(Device&) {
    NodeResources& r = Resources();
    if (!r.mesh) r.mesh = MakeBox(nodeSize, nodeSize, nodeSize);
    r.lineWorld = MatrixIdentity();
}

void InitShadow(const Vector3& lightDirection) {
    Plane plane = PlaneFromPointNormal({0.0f, kShadowPlaneY, 0.0f}, {0.0f, 1.0f, 0.0f});
    Vector4 light{-lightDirection.x, -lightDirection.y, -lightDirection.z, 0.0f};
    Resources().shadow = MatrixShadow(light, plane);
}

void ReleaseNodeResources() { Resources().mesh.reset(); }

const Mesh* NodeMesh() {
    const auto& mesh = Resources().mesh;
    return mesh ? &*mesh : nullptr;
}

const Matrix& ShadowMatrix() { return Resources().shadow; }

void DrawLine(Device& device, const Vector3& from, const Vector3& to, std::uint32_t color) {
    NodeResources& r = Resources();
    r.line[0] = {from.x, from.y, from.z, color};
    r.line[1] = {to.x, to.y, to.z, color};
    device.SetTransform(TransformType::World, r.lineWorld);
    device.DrawLineList(r.line);
}

void TNode::Render(Device& device) {
    Matrix m = MatrixMultiply(MatrixRotationY(rot.y), MatrixRotationX(rot.x));
    m = MatrixMultiply(m, MatrixRotationZ(rot.z));
    drawTransform = MatrixMultiply(m, MatrixTranslation(pos.x, pos.y, pos.z));
    device.SetTransform(TransformType::World, drawTransform);
    device.SetMaterial(material);
    if (const Mesh* mesh = NodeMesh()) device.DrawMeshSubset(*mesh, 0);
}

// Relies on Render having just stored this node's drawing transform.
//
// The flattened cube covers its shadow twice (its faces towards the light and
// those away from it), all of it in one plane. Written depth would let one
// layer hide the other wherever rounding puts it a hair behind, which showed
// as light streaks; without it each layer darkens every pixel it covers, so
// every shadow has the even tone of two layers. The depth test still hides
// the shadow behind anything in front of it.
void TNode::RenderShadow(Device& device) {
    NodeResources& r = Resources();
    drawTransform = MatrixMultiply(drawTransform, r.shadow);
    device.SetTransform(TransformType::World, drawTransform);
    device.SetMaterial(r.shadowMaterial);
    device.SetRenderState(RenderState::ZWriteEnable, 0);
    if (r.mesh) device.DrawMeshSubset(*r.mesh, 0);
    device.SetRenderState(RenderState::ZWriteEnable, 1);
}

}  // namespace qm
