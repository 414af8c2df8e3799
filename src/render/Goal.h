#pragma once
// The goal marker: a textured mesh from "goal.x", three times its own size,
// spinning slowly about the vertical. It only marks the spot; the goal test
// measures against the world's own goal point, 10 units lower.

#include <memory>
#include <string>
#include <vector>

#include "device/DeviceTypes.h"
#include "device/Mesh.h"
#include "math/D3dxTypes.h"

namespace qm {

class Diagnostics;

class Device;

class Goal {
  public:
    // Loads "goal.x" (raising ErrorCode E_FAIL when it cannot) and "goal.bmp"
    // (drawn untextured without it) from the working directory.
    // What cannot be loaded is said on `diagnostics`.
    Goal(Device& device, const Diagnostics& diagnostics, const std::string& artFolder = "");
    ~Goal();
    Goal(const Goal&) = delete;
    Goal& operator=(const Goal&) = delete;

    void SetPosition(const Vector3& p) { position_ = p; }
    const Vector3& Position() const { return position_; }
    float SpinAngle() const { return spinAngle_; }
    float Scale() const { return scale_; }
    std::uint32_t MaterialCount() const { return materialCount_; }
    const Mesh& GetMesh() const { return mesh_; }

    // Draws the mesh unlit in its texture's colours, 0.1 radian further round
    // than the last time; lighting is on again afterwards.
    void Draw(Device& device);

  private:
    Device& device_;
    Mesh mesh_;
    std::vector<Material> materials_;  // loaded with the mesh, not applied: the texture alone colours it
    std::uint32_t materialCount_ = 0;
    Vector3 position_;
    TextureHandle texture_ = 0;
    float spinAngle_ = 0.0f;
    float scale_ = 3.0f;
};

}  // namespace qm
