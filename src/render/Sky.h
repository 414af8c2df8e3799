#pragma once
// The sky: a textured sphere of radius 1000 around the origin, seen from the
// inside. Its texture is laid on by direction: u follows the sideways
// component, v the height, so the image's middle row is the horizon, its
// bottom row the zenith and its left and right edges due -x and +x.

#include <string>
#include "device/DeviceTypes.h"
#include "device/Mesh.h"

namespace qm {

class Diagnostics;

class Device;

class Sky {
  public:
    static constexpr float kRadius = 1000.0f;
    static constexpr unsigned kSlices = 50;
    static constexpr unsigned kStacks = 50;

    // Builds the sphere and loads "sky.bmp" (drawn untextured without it).
    // What cannot be loaded is said on `diagnostics`.
    Sky(Device& device, const Diagnostics& diagnostics, const std::string& artFolder = "");
    ~Sky();
    Sky(const Sky&) = delete;
    Sky& operator=(const Sky&) = delete;

    // Draws the sphere unlit with linear filtering; lighting is on again afterwards.
    void Draw(Device& device);

    const Mesh& GetMesh() const { return mesh_; }

  private:
    Device& device_;
    Mesh mesh_;
    TextureHandle texture_ = 0;
};

// The texture coordinates of a direction: u = asin(x) / pi + 0.5 and
// v = asin(y) / pi + 0.5 of the normalised vector, both in [0, 1].
void SkyTexCoords(const Vector3& position, float& u, float& v);

}  // namespace qm
