#include "render/Sky.h"

#include "base/Diagnostics.h"

#include <algorithm>
#include <cmath>

#include "base/Errors.h"
#include "device/Device.h"
#include "platform/TextureLoader.h"

namespace qm {

void SkyTexCoords(const Vector3& position, float& u, float& v) {
    const Vector3 d = Vec3Normalize(position);
    // Rounding can push a unit component a hair past 1, out of asin's domain.
    u = std::asin(std::clamp(d.x, -1.0f, 1.0f)) * 0.31830987f + 0.5f;
    v = std::asin(std::clamp(d.y, -1.0f, 1.0f)) * 0.31830987f + 0.5f;
}

Sky::Sky(Device& device, const Diagnostics& diagnostics, const std::string& artFolder) : device_(device) {
    mesh_ = MakeSphere(kRadius, kSlices, kStacks);
    if (mesh_.vertices.empty()) throw ErrorCode{kEFail};
    // The sphere gains texture coordinates, worked out from each vertex's direction.
    mesh_.hasTexCoords = true;
    for (MeshVertex& vertex : mesh_.vertices) SkyTexCoords(vertex.position, vertex.u, vertex.v);
    texture_ = LoadTextureFromFile(device, artFolder + "sky.bmp", diagnostics);
}

Sky::~Sky() {
    if (texture_) device_.ReleaseTexture(texture_);
}

void Sky::Draw(Device& device) {
    device.SetRenderState(RenderState::Lighting, 0);
    device.SetTextureStageColorOp(0, TextureOp::SelectArg1, TextureArg::Texture);
    device.SetSamplerState(0, SamplerState::MinFilter, kFilterLinear);
    device.SetSamplerState(0, SamplerState::MagFilter, kFilterLinear);
    device.SetTransform(TransformType::World, MatrixIdentity());
    device.SetTexture(0, texture_);
    device.DrawMeshSubset(mesh_, 0);
    device.SetTexture(0, 0);
    device.SetRenderState(RenderState::Lighting, 1);
}

}  // namespace qm
