#pragma once
// What every node and link drawing shares: the cube mesh, the shadow matrix,
// outline and materials, and the two vertices of a link line; and the
// batches that draw a whole world's nodes and links in a few device calls.

#include <array>
#include <cstdint>
#include <vector>

#include "device/Device.h"
#include "math/D3dxTypes.h"

namespace qm {

class TNode;

inline constexpr float nodeSize = 1.0f;
inline constexpr float kShadowPlaneY = -25.49f;
// A shadow is the cube flattened onto the plane in black, three quarters
// transparent. Flattened, the cube covers every point of its shadow twice (a
// face toward the light over one away from it) and each layer darkens it:
// the shadow lets (1 - kShadowAlpha)^2 of the floor through. The cube's
// outline along the light covers the same shadow once, and needs
// kShadowLayersAlpha for the same tone.
inline constexpr float kShadowAlpha = 0.25f;
inline constexpr float kShadowLayersAlpha = 1.0f - (1.0f - kShadowAlpha) * (1.0f - kShadowAlpha);

// Builds the node cube (once) and resets the line transform.
void InitNodeResources(Device& device);
// The planar shadow onto y = -25.49 along a directional light (a unit vector).
void InitShadow(const Vector3& lightDirection);
void ReleaseNodeResources();
void DrawLine(Device& device, const Vector3& from, const Vector3& to, std::uint32_t color);

// The cubes and shadows of many nodes in two device calls: every node's cube
// as Render draws it, then every node's shadow as RenderShadow draws it (as
// the outline, once), in the order the nodes were added. Reads a node's
// position and colour and writes nothing into it.
class NodeBatch {
  public:
    void Clear();
    void Add(const TNode& node);
    // A cube at `position` in `material`, for nodes that are not TNodes (a replayed trace).
    void Add(const Vector3& position, const Material& material);
    void Draw(Device& device) const;
    std::size_t Size() const { return instances_.size(); }

  private:
    std::vector<MeshInstance> instances_;  // per node: its position and its material's index
    std::vector<Material> materials_;
};

// Link lines in one device call, in the order added, in the world frame.
class LineBatch {
  public:
    void Clear() { vertices_.clear(); }
    void Add(const Vector3& from, const Vector3& to, std::uint32_t color);
    void Draw(Device& device);
    std::size_t Size() const { return vertices_.size() / 2; }

  private:
    std::vector<ColorVertex> vertices_;
};

// The batches the worlds draw with, kept from frame to frame so that drawing
// allocates nothing once they have grown to the creature's size.
NodeBatch& FrameNodeBatch();
LineBatch& FrameLineBatch();

// For tests: the shared cube (null before InitNodeResources), the shadow
// matrix and the cube's outline along the light (null before InitShadow).
const Mesh* NodeMesh();
const Matrix& ShadowMatrix();
const Mesh* ShadowOutlineMesh();

}  // namespace qm
