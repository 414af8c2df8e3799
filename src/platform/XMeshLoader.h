#pragma once
// Meshes from DirectX ".x" files, read with assimp.

#include <optional>
#include <string>

#include "device/Mesh.h"
#include "math/D3dxTypes.h"

namespace qm {

struct LoadedMesh {
    Mesh mesh;                        // one subset per material, in the file's material order
    std::vector<Material> materials;  // as many as subsets
};

// Reads every mesh of the file into one mesh, keeping the file's vertex
// positions, normals, texture coordinates and faces as they are (the file's
// left-handed coordinates are the scene's). Nothing when the file is missing
// or holds no triangles.
std::optional<LoadedMesh> LoadMeshFromX(const std::string& path);

}  // namespace qm
