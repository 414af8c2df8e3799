#pragma once
// Triangle meshes as plain data, and the generators of the two stock shapes
// the scene uses: the node cube and the sky sphere.
//
// A mesh keeps its faces grouped in subsets, one per material, as the meshes
// loaded from ".x" files do; a device draws one subset at a time. Everything
// here is host memory: a device may upload it, the recording device only looks.

#include <cstdint>
#include <vector>

#include "math/D3dxTypes.h"

namespace qm {

struct MeshVertex {
    Vector3 position;
    Vector3 normal;
    float u = 0.0f, v = 0.0f;  // texture coordinates; (0, 0) when the mesh has none
};

// The faces of one subset: faceCount triangles starting at faceStart.
struct MeshSubset {
    std::uint32_t faceStart = 0;
    std::uint32_t faceCount = 0;
};

struct Mesh {
    std::vector<MeshVertex> vertices;
    std::vector<std::uint32_t> indices;  // three per face
    std::vector<MeshSubset> subsets;     // indexed by subset (attribute) id
    bool hasNormals = true;
    bool hasTexCoords = false;

    std::uint32_t FaceCount() const { return static_cast<std::uint32_t>(indices.size() / 3); }
};

// An axis-aligned box centred on the origin, 24 vertices (four per side, each
// with its side's normal) and 12 triangles in one subset, in the vertex and
// face order of D3DXCreateBox.
Mesh MakeBox(float width, float height, float depth);

// A sphere centred on the origin with its poles on the z axis, in the vertex
// and face order of D3DXCreateSphere: the +z pole, then stacks - 1 rings of
// `slices` vertices, then the -z pole; 2 + slices * (stacks - 1) vertices and
// 2 * slices * (stacks - 1) triangles in one subset. Needs slices, stacks >= 2.
Mesh MakeSphere(float radius, unsigned slices, unsigned stacks);

}  // namespace qm
