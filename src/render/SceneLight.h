#pragma once
// The one light of the scene and the render states every frame draws with.

#include "device/DeviceTypes.h"

namespace qm {

class Device;

// The scene's global ambient light, 0x00RRGGBB.
inline constexpr std::uint32_t kSceneAmbient = 0x00555555;

// A white directional light shining along (1, -1.5, 0.5), normalised: from
// above, slightly from the left and the front. The frame sets it as light 0.
Light MakeSceneLight();

// Depth test on, no culling (the inside of the sky sphere shows), lighting on,
// grey ambient, specular on, and alpha blending of the source over the target.
void SetRenderStates(Device& device);

}  // namespace qm
