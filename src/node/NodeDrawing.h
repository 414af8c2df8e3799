#pragma once
// What every node and link drawing shares: the cube mesh, the shadow matrix
// and material, and the two vertices of a link line.

#include <cstdint>

#include "math/D3dxTypes.h"

namespace qm {

class Device;
struct Mesh;

inline constexpr float nodeSize = 1.0f;
inline constexpr float kShadowPlaneY = -25.49f;

// Builds the node cube (once) and resets the line transform.
void InitNodeResources(Device& device);
// The planar shadow onto y = -25.49 along a directional light (a unit vector).
void InitShadow(const Vector3& lightDirection);
void ReleaseNodeResources();
void DrawLine(Device& device, const Vector3& from, const Vector3& to, std::uint32_t color);

// For tests: the shared cube (null before InitNodeResources) and the shadow matrix.
const Mesh* NodeMesh();
const Matrix& ShadowMatrix();

}  // namespace qm
