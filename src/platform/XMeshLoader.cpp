#include "platform/XMeshLoader.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <functional>

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

}  // namespace

std::optional<LoadedMesh> LoadMeshFromX(const std::string& path) {
    Assimp::Importer importer;
    // The importer turns the file's left-handed data into right-handed data
    // (z negated, windings reversed, v flipped); converting back to
    // left-handed restores the numbers as the file holds them.
    const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate | aiProcess_ConvertToLeftHanded);
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

}  // namespace qm
