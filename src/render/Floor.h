#pragma once
// The ground: a 1000 x 1000 square at y = -25.5 under the whole world, its
// texture repeated five times along each side with every other copy mirrored.

#include <array>
#include <string>

#include "device/DeviceTypes.h"

namespace qm {

class Diagnostics;

class Device;

class Floor {
  public:
    static constexpr float kHeight = -25.5f;
    static constexpr float kHalfSize = 500.0f;
    // The floor's depth offset (see RenderState::DepthBias): one pixel's depth
    // change plus a few depth steps.
    static constexpr float kSlopeScaleDepthBias = 1.0f;
    static constexpr float kDepthBias = 4.0f;

    // `artFolder` is where the art files are ("" the working folder, else ending in "/").
    // Fills the vertex buffer and loads "floor.bmp" from the working
    // directory; without the file the floor is drawn untextured.
    // What cannot be loaded is said on `diagnostics`.
    Floor(Device& device, const Diagnostics& diagnostics, const std::string& artFolder = "");
    ~Floor();
    Floor(const Floor&) = delete;
    Floor& operator=(const Floor&) = delete;

    // Draws the floor unlit in its texture's colours. Leaves stage 0 selecting
    // the texture and sampler 0 mirroring, for the draws that follow.
    void Draw(Device& device);

    const std::array<ColorTexVertex, 4>& Vertices() const { return vertexBuffer_; }
    TextureHandle Texture() const { return texture_; }

  private:
    Device& device_;
    std::array<ColorTexVertex, 4> vertexBuffer_;
    TextureHandle texture_ = 0;
};

}  // namespace qm
