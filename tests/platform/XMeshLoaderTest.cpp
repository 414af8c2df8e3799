// ".x" meshes come in with the numbers the file holds: positions, texture
// coordinates, the order of each face's corners, materials and frames.

#include <gtest/gtest.h>

#include "platform/XMeshLoader.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

const char* kTriangle = R"(xof 0302txt 0064
Mesh Tri {
 3;
 1.0;2.0;3.0;,
 4.0;5.0;6.0;,
 7.0;8.0;10.0;;
 1;
 3;0,1,2;;
 MeshNormals {
  1;
  0.0;0.0;-1.0;;
  1;
  3;0,0,0;;
 }
 MeshTextureCoords {
  3;
  0.0;0.25;,
  0.5;0.75;,
  1.0;0.125;;
 }
 MeshMaterialList {
  1;
  1;
  0;;
  Material {
   1.0;0.5;0.25;1.0;;
   8.0;
   0.1;0.2;0.3;;
   0.0;0.0;0.0;;
  }
 }
}
)";

TEST(XMeshLoader, KeepsPositionsTextureCoordinatesAndCornerOrder) {
    const TempFile file(kTriangle, ".x");
    const auto loaded = LoadMeshFromX(file.PathString());
    ASSERT_TRUE(loaded);
    const Mesh& mesh = loaded->mesh;
    ASSERT_EQ(mesh.FaceCount(), 1u);
    ASSERT_EQ(mesh.subsets.size(), 1u);
    EXPECT_EQ(mesh.subsets[0].faceCount, 1u);
    EXPECT_TRUE(mesh.hasTexCoords);
    EXPECT_TRUE(mesh.hasNormals);
    const MeshVertex& a = mesh.vertices[mesh.indices[0]];
    const MeshVertex& b = mesh.vertices[mesh.indices[1]];
    const MeshVertex& c = mesh.vertices[mesh.indices[2]];
    EXPECT_EQ(a.position, Vector3(1, 2, 3));
    EXPECT_EQ(b.position, Vector3(4, 5, 6));
    EXPECT_EQ(c.position, Vector3(7, 8, 10));
    EXPECT_FLOAT_EQ(a.u, 0.0f);
    EXPECT_FLOAT_EQ(a.v, 0.25f);
    EXPECT_FLOAT_EQ(b.u, 0.5f);
    EXPECT_FLOAT_EQ(b.v, 0.75f);
    EXPECT_FLOAT_EQ(c.v, 0.125f);
    EXPECT_NEAR(a.normal.z, -1.0f, 1e-6f);
}

TEST(XMeshLoader, ReadsTheMaterial) {
    const TempFile file(kTriangle, ".x");
    const auto loaded = LoadMeshFromX(file.PathString());
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->materials.size(), 1u);
    const Material& m = loaded->materials[0];
    EXPECT_FLOAT_EQ(m.Diffuse.r, 1.0f);
    EXPECT_FLOAT_EQ(m.Diffuse.g, 0.5f);
    EXPECT_FLOAT_EQ(m.Diffuse.b, 0.25f);
    EXPECT_FLOAT_EQ(m.Specular.g, 0.2f);
}

TEST(XMeshLoader, MissingFileGivesNothing) {
    std::string why;
    EXPECT_FALSE(LoadMeshFromX("/nonexistent/goal.x", &why));
    EXPECT_EQ(why, "No such file or directory");
}

// The importer crashes on a material list with a stray word before its
// material (found by the fuzzer): the reader's process ends, not the program.
TEST(XMeshLoader, AFileTheImporterCrashesOnIsRefused) {
    std::string text = kTriangle;
    const std::size_t at = text.find("  0;;\n  Material {");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 19, "  0;zgl Material {");
    const TempFile file(text, ".x");
    std::string why;
    EXPECT_FALSE(LoadMeshFromX(file.PathString(), &why));
    // A sanitizer in the child turns the crash into a failed exit.
    EXPECT_EQ(why.rfind("the reader ", 0), 0u) << why;
    // And the loader still works afterwards.
    EXPECT_TRUE(LoadMeshFromX(TempFile(kTriangle, ".x").PathString()));
}

TEST(XMeshLoader, FramesPlaceTheirMeshes) {
    const std::string framed = std::string(R"(xof 0302txt 0064
Frame Root {
 FrameTransformMatrix {
  1.0,0.0,0.0,0.0,
  0.0,1.0,0.0,0.0,
  0.0,0.0,1.0,0.0,
  10.0,20.0,30.0,1.0;;
 }
)") + std::string(kTriangle).substr(std::string(kTriangle).find("Mesh Tri")) +
                               "}\n";
    const TempFile file(framed, ".x");
    const auto loaded = LoadMeshFromX(file.PathString());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->mesh.vertices[loaded->mesh.indices[0]].position, Vector3(11, 22, 33));
}

}  // namespace
}  // namespace qm
