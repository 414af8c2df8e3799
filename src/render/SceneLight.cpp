#include "render/SceneLight.h"

#include "device/Device.h"

namespace qm {

Light MakeSceneLight() {
    Light light;  // every field zero
    light.Type = LightType::Directional;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = Vec3Normalize({1.0f, -1.5f, 0.5f});
    light.Range = 1000.0f;
    return light;
}

void SetRenderStates(Device& device) {
    device.SetRenderState(RenderState::ZEnable, kZbTrue);
    device.SetRenderState(RenderState::CullMode, kCullNone);
    device.SetRenderState(RenderState::Lighting, 1);
    device.SetRenderState(RenderState::Ambient, kSceneAmbient);
    device.SetRenderState(RenderState::SpecularEnable, 1);
    device.SetRenderState(RenderState::AlphaBlendEnable, 1);
    device.SetRenderState(RenderState::SrcBlend, kBlendSrcAlpha);
    device.SetRenderState(RenderState::DestBlend, kBlendInvSrcAlpha);
}

}  // namespace qm
