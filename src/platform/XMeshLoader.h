#pragma once
// Meshes from DirectX ".x" files, read with assimp in a child process: the
// importer has crashed on malformed files, and a file is not worth the program.

#include <cstdint>
#include <optional>
#include <span>
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
// or holds no triangles, or the reader fails on it; `why` then says which.
std::optional<LoadedMesh> LoadMeshFromX(const std::string& path, std::string* why = nullptr);
// The same for a file held in memory.
std::optional<LoadedMesh> LoadMeshFromX(std::span<const std::uint8_t> file, std::string* why = nullptr);

}  // namespace qm
