#include "render/Floor.h"

#include "base/Diagnostics.h"

#include "device/Device.h"
#include "platform/TextureLoader.h"

namespace qm {

Floor::Floor(Device& device, const Diagnostics& diagnostics, const std::string& artFolder)
    : device_(device),
      // A strip of two triangles; u and v run to 5 so the texture repeats five times.
      vertexBuffer_{{
          {kHalfSize, kHeight, kHalfSize, 0xFFFFFFFF, 0.0f, 0.0f},
          {-kHalfSize, kHeight, kHalfSize, 0xFFFFFFFF, 5.0f, 0.0f},
          {kHalfSize, kHeight, -kHalfSize, 0xFFFFFFFF, 0.0f, 5.0f},
          {-kHalfSize, kHeight, -kHalfSize, 0xFFFFFFFF, 5.0f, 5.0f},
      }} {
    texture_ = LoadTextureFromFile(device, artFolder + "floor.bmp", diagnostics);
}

Floor::~Floor() {
    if (texture_) device_.ReleaseTexture(texture_);
}

void Floor::Draw(Device& device) {
    device.SetTextureStageColorOp(0, TextureOp::SelectArg1, TextureArg::Texture);
    device.SetSamplerState(0, SamplerState::AddressU, kAddressMirror);
    device.SetSamplerState(0, SamplerState::AddressV, kAddressMirror);
    device.SetTransform(TransformType::World, MatrixIdentity());
    device.SetTexture(0, texture_);
    // Pushed back a little in depth, so that the node shadows, 0.01 above it,
    // stay in front at every distance and angle instead of fighting it.
    device.SetRenderState(RenderState::SlopeScaleDepthBias, FloatBits(kSlopeScaleDepthBias));
    device.SetRenderState(RenderState::DepthBias, FloatBits(kDepthBias));
    device.DrawTriangleStrip(vertexBuffer_);
    device.SetRenderState(RenderState::SlopeScaleDepthBias, FloatBits(0.0f));
    device.SetRenderState(RenderState::DepthBias, FloatBits(0.0f));
    device.SetTexture(0, 0);
}

}  // namespace qm
