#include "platform/XMeshLoader.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string_view>
#include <type_traits>

#include "platform/ChildProcess.h"

namespace qm {

namespace {

ColorValue ToColor(const aiMaterial& material, const char* key, unsigned type, unsigned index, float alpha) {
    aiColor4D c(0.0f, 0.0f, 0.0f, alpha);
    if (material.Get(key, type, index, c) != AI_SUCCESS) return {0.0f, 0.0f, 0.0f, alpha};
    return {c.r, c.g, c.b, c.a};
}

Material ToMaterial(const aiMaterial& m) {
    Material out;
    float opacity = 1.0f;
    m.Get(AI_MATKEY_OPACITY, opacity);
    out.Diffuse = ToColor(m, AI_MATKEY_COLOR_DIFFUSE, opacity);
    out.Ambient = ToColor(m, AI_MATKEY_COLOR_AMBIENT, 1.0f);
    out.Specular = ToColor(m, AI_MATKEY_COLOR_SPECULAR, 1.0f);
    out.Emissive = ToColor(m, AI_MATKEY_COLOR_EMISSIVE, 1.0f);
    m.Get(AI_MATKEY_SHININESS, out.Power);
    return out;
}

// The importer turns the file's left-handed data into right-handed data (z
// negated, windings reversed, v flipped); converting back to left-handed
// restores the numbers as the file holds them.
constexpr unsigned kImportSteps = aiProcess_Triangulate | aiProcess_ConvertToLeftHanded;

std::optional<LoadedMesh> FromScene(const aiScene* scene);

// The mesh as bytes through the pipe from the reader: counts, then the plain
// records; nothing at all for a file that holds no mesh.
template <class T>
void Put(std::string& out, const std::vector<T>& items) {
    const auto count = static_cast<std::uint32_t>(items.size());
    out.append(reinterpret_cast<const char*>(&count), sizeof count);
    out.append(reinterpret_cast<const char*>(items.data()), items.size() * sizeof(T));
}

template <class T>
bool Take(std::string_view& in, std::vector<T>& items) {
    std::uint32_t count = 0;
    if (in.size() < sizeof count) return false;
    std::memcpy(&count, in.data(), sizeof count);
    in.remove_prefix(sizeof count);
    if (in.size() / sizeof(T) < count) return false;
    items.resize(count);
    std::memcpy(items.data(), in.data(), count * sizeof(T));
    in.remove_prefix(count * sizeof(T));
    return true;
}

std::string Serialise(const LoadedMesh& loaded) {
    std::string out;
    Put(out, loaded.mesh.vertices);
    Put(out, loaded.mesh.indices);
    Put(out, loaded.mesh.subsets);
    Put(out, loaded.materials);
    out += static_cast<char>(loaded.mesh.hasNormals);
    out += static_cast<char>(loaded.mesh.hasTexCoords);
    return out;
}

std::optional<LoadedMesh> Deserialise(std::string_view in) {
    LoadedMesh loaded;
    if (!Take(in, loaded.mesh.vertices) || !Take(in, loaded.mesh.indices) || !Take(in, loaded.mesh.subsets) ||
        !Take(in, loaded.materials) || in.size() != 2) {
        return std::nullopt;
    }
    loaded.mesh.hasNormals = in[0] != 0;
    loaded.mesh.hasTexCoords = in[1] != 0;
    return loaded;
}

static_assert(std::is_trivially_copyable_v<MeshVertex> && std::is_trivially_copyable_v<MeshSubset> &&
              std::is_trivially_copyable_v<Material>);

}  // namespace

std::optional<LoadedMesh> LoadMeshFromX(const std::string& path, std::string* why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (why) *why = std::strerror(errno);
        return std::nullopt;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    return LoadMeshFromX(bytes, why);
}

std::optional<LoadedMesh> LoadMeshFromX(std::span<const std::uint8_t> file, std::string* why) {
    std::optional<std::string> bytes = RunInChild(
        [&] {
            Assimp::Importer importer;
            std::optional<LoadedMesh> loaded =
                FromScene(importer.ReadFileFromMemory(file.data(), file.size(), kImportSteps, "x"));
            return loaded ? Serialise(*loaded) : std::string();
        },
        why);
    if (!bytes) return std::nullopt;
    if (bytes->empty()) {
        if (why) *why = "it holds no triangles, or is no .x file";
        return std::nullopt;
    }
    return Deserialise(*bytes);
}

namespace {

std::optional<LoadedMesh> FromScene(const aiScene* scene) {
    if (!scene || !scene->mRootNode || scene->mNumMeshes == 0) return std::nullopt;

    LoadedMesh out;
    Mesh& mesh = out.mesh;
    mesh.hasTexCoords = false;
    mesh.hasNormals = false;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        if (scene->mMeshes[i]->HasTextureCoords(0)) mesh.hasTexCoords = true;
        if (scene->mMeshes[i]->HasNormals()) mesh.hasNormals = true;
    }

    // Faces of each material form one subset, in material order; every mesh
    // node is placed with its frame's transform.
    const unsigned materialCount = std::max(1u, scene->mNumMaterials);
    for (unsigned material = 0; material < materialCount; ++material) {
        MeshSubset subset{mesh.FaceCount(), 0};
        std::function<void(const aiNode*, const aiMatrix4x4&)> visit = [&](const aiNode* node,
                                                                           const aiMatrix4x4& parent) {
            const aiMatrix4x4 transform = parent * node->mTransformation;
            aiMatrix3x3 normalTransform(transform);
            normalTransform.Inverse().Transpose();
            for (unsigned n = 0; n < node->mNumMeshes; ++n) {
                const aiMesh* m = scene->mMeshes[node->mMeshes[n]];
                if (m->mMaterialIndex != material && scene->mNumMaterials > 0) continue;
                const auto base = static_cast<std::uint32_t>(mesh.vertices.size());
                for (unsigned v = 0; v < m->mNumVertices; ++v) {
                    MeshVertex vertex;
                    const aiVector3D p = transform * m->mVertices[v];
                    vertex.position = {p.x, p.y, p.z};
                    if (m->HasNormals()) {
                        aiVector3D nrm = normalTransform * m->mNormals[v];
                        nrm.Normalize();
                        vertex.normal = {nrm.x, nrm.y, nrm.z};
                    }
                    if (m->HasTextureCoords(0)) {
                        vertex.u = m->mTextureCoords[0][v].x;
                        vertex.v = m->mTextureCoords[0][v].y;
                    }
                    mesh.vertices.push_back(vertex);
                }
                for (unsigned f = 0; f < m->mNumFaces; ++f) {
                    const aiFace& face = m->mFaces[f];
                    if (face.mNumIndices != 3) continue;
                    for (int k = 0; k < 3; ++k) mesh.indices.push_back(base + face.mIndices[k]);
                    ++subset.faceCount;
                }
            }
            for (unsigned c = 0; c < node->mNumChildren; ++c) visit(node->mChildren[c], transform);
        };
        visit(scene->mRootNode, aiMatrix4x4());
        mesh.subsets.push_back(subset);
        out.materials.push_back(material < scene->mNumMaterials ? ToMaterial(*scene->mMaterials[material])
                                                                : Material{});
    }
    if (mesh.FaceCount() == 0) return std::nullopt;
    return out;
}

}  // namespace
}  // namespace qm
