#pragma once
// What every node and link drawing shares: the cube mesh, the shadow matrix,
// outline and materials, and the two vertices of a link line; and the
// batches that draw a whole world's nodes and links in a few device calls.
// All of it is a NodeDrawing, held by whoever owns the device it draws on
// (the window), so that nothing of it is process-wide.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "device/Device.h"
#include "device/Mesh.h"
#include "math/D3dxMath.h"
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

class NodeDrawing;

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
    void Draw(Device& device, const NodeDrawing& drawing) const;
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
    void Draw(Device& device, const NodeDrawing& drawing);
    std::size_t Size() const { return vertices_.size() / 2; }

  private:
    std::vector<ColorVertex> vertices_;
};

// One per device it draws on: the window's Shell holds it, a test its own.
class NodeDrawing {
  public:
    NodeDrawing();
    // Builds the node cube (once) and resets the line transform.
    void Init(Device& device);
    // The planar shadow onto y = -25.49 along a directional light (a unit vector).
    void InitShadow(const Vector3& lightDirection);
    void Release() { mesh.reset(); }
    void DrawLine(Device& device, const Vector3& from, const Vector3& to, std::uint32_t color);

    // The batches the worlds draw with, kept from frame to frame so that
    // drawing allocates nothing once they have grown to the creature's size.
    NodeBatch& Nodes() { return nodes; }
    LineBatch& Lines() { return lines; }

    // The cube (null before Init), the shadow matrix and the cube's outline
    // along the light (null before InitShadow).
    const Mesh* NodeMesh() const { return mesh ? &*mesh : nullptr; }
    const Matrix& ShadowMatrix() const { return shadow; }
    const Mesh* ShadowOutlineMesh() const { return shadowOutline ? &*shadowOutline : nullptr; }
    const Material& ShadowMaterial() const { return shadowMaterial; }
    // The shadow's material when it is drawn as the outline, once.
    const Material& ShadowOutlineMaterial() const { return shadowLayersMaterial; }
    const Matrix& LineWorld() const { return lineWorld; }

  private:
    std::optional<Mesh> mesh;
    std::optional<Mesh> shadowOutline;
    Matrix shadow = MatrixIdentity();
    Material shadowMaterial;
    Material shadowLayersMaterial;
    std::array<ColorVertex, 2> line{};
    Matrix lineWorld = MatrixIdentity();
    NodeBatch nodes;
    LineBatch lines;
};

}  // namespace qm
