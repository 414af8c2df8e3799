#include "render/Goal.h"

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "device/Device.h"
#include "platform/TextureLoader.h"
#include "platform/XMeshLoader.h"

namespace qm {

Goal::Goal(Device& device, const Diagnostics& diagnostics, const std::string& artFolder) : device_(device) {
    std::string why;
    std::optional<LoadedMesh> loaded = LoadMeshFromX(artFolder + "goal.x", &why);
    if (!loaded) {
        diagnostics.DebugPrint("cannot load mesh goal.x: %s\n", why.c_str());
        throw ErrorCode{kEFail};
    }
    mesh_ = std::move(loaded->mesh);
    materials_ = std::move(loaded->materials);
    materialCount_ = static_cast<std::uint32_t>(materials_.size());
    spinAngle_ = 0.0f;
    scale_ = 3.0f;
    texture_ = LoadTextureFromFile(device, artFolder + "goal.bmp", diagnostics);
}

Goal::~Goal() {
    if (texture_) device_.ReleaseTexture(texture_);
}

void Goal::Draw(Device& device) {
    device.SetRenderState(RenderState::Lighting, 0);
    device.SetTextureStageColorOp(0, TextureOp::SelectArg1, TextureArg::Texture);
    spinAngle_ += 0.1f;
    const Matrix world =
        MatrixMultiply(MatrixMultiply(MatrixScaling(scale_, scale_, scale_), MatrixRotationY(spinAngle_)),
                       MatrixTranslation(position_.x, position_.y, position_.z));
    device.SetTransform(TransformType::World, world);
    device.SetTexture(0, texture_);
    for (std::uint32_t i = 0; i < materialCount_; ++i) device.DrawMeshSubset(mesh_, i);
    device.SetTexture(0, 0);
    device.SetRenderState(RenderState::Lighting, 1);
}

}  // namespace qm
