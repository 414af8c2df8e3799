// The generated box and sphere: counts, extents, normals, and closed surfaces.

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include <gtest/gtest.h>

#include "device/Mesh.h"

namespace qm {
namespace {

using Key = std::tuple<float, float, float>;
Key KeyOf(const Vector3& v) { return {v.x, v.y, v.z}; }

// Counts how many faces use each undirected edge, vertices identified by position.
std::map<std::pair<Key, Key>, int> EdgeUse(const Mesh& mesh) {
    std::map<std::pair<Key, Key>, int> use;
    for (std::size_t f = 0; f < mesh.indices.size(); f += 3) {
        for (int e = 0; e < 3; ++e) {
            Key a = KeyOf(mesh.vertices[mesh.indices[f + e]].position);
            Key b = KeyOf(mesh.vertices[mesh.indices[f + (e + 1) % 3]].position);
            if (b < a) std::swap(a, b);
            ++use[{a, b}];
        }
    }
    return use;
}

Vector3 FaceNormal(const Mesh& mesh, std::size_t face) {
    const Vector3& a = mesh.vertices[mesh.indices[face * 3]].position;
    const Vector3& b = mesh.vertices[mesh.indices[face * 3 + 1]].position;
    const Vector3& c = mesh.vertices[mesh.indices[face * 3 + 2]].position;
    return Vec3Cross(b - a, c - a);
}

TEST(MeshBuilder, BoxHasFourVerticesPerSideAndTwoTrianglesEach) {
    const Mesh box = MakeBox(1.0f, 1.0f, 1.0f);
    EXPECT_EQ(box.vertices.size(), 24u);
    EXPECT_EQ(box.FaceCount(), 12u);
    ASSERT_EQ(box.subsets.size(), 1u);
    EXPECT_EQ(box.subsets[0].faceStart, 0u);
    EXPECT_EQ(box.subsets[0].faceCount, 12u);
    EXPECT_FALSE(box.hasTexCoords);
}

TEST(MeshBuilder, BoxIsCentredWithTheGivenEdges) {
    const Mesh box = MakeBox(2.0f, 4.0f, 6.0f);
    for (const MeshVertex& v : box.vertices) {
        EXPECT_EQ(std::fabs(v.position.x), 1.0f);
        EXPECT_EQ(std::fabs(v.position.y), 2.0f);
        EXPECT_EQ(std::fabs(v.position.z), 3.0f);
    }
}

TEST(MeshBuilder, BoxVerticesLieOnTheSideTheirNormalNames) {
    const Mesh box = MakeBox(1.0f, 1.0f, 1.0f);
    for (const MeshVertex& v : box.vertices) {
        EXPECT_FLOAT_EQ(Vec3Dot(v.position, v.normal), 0.5f);
        EXPECT_FLOAT_EQ(Vec3Length(v.normal), 1.0f);
    }
    // The six sides, in order: -x, +y, +x, -y, +z, -z.
    EXPECT_EQ(box.vertices[0].normal, Vector3(-1, 0, 0));
    EXPECT_EQ(box.vertices[4].normal, Vector3(0, 1, 0));
    EXPECT_EQ(box.vertices[20].normal, Vector3(0, 0, -1));
}

TEST(MeshBuilder, BoxSurfaceIsClosed) {
    const Mesh box = MakeBox(1.0f, 1.0f, 1.0f);
    for (const auto& [edge, count] : EdgeUse(box)) EXPECT_EQ(count, 2);
    // Each triangle lies in the plane of its side.
    for (std::size_t f = 0; f < box.FaceCount(); ++f) {
        const Vector3 n = Vec3Normalize(FaceNormal(box, f));
        const Vector3 side = box.vertices[box.indices[f * 3]].normal;
        EXPECT_FLOAT_EQ(std::fabs(Vec3Dot(n, side)), 1.0f);
    }
}

TEST(MeshBuilder, SphereCounts) {
    const Mesh sky = MakeSphere(1000.0f, 50, 50);
    EXPECT_EQ(sky.vertices.size(), 2u + 50u * 49u);
    EXPECT_EQ(sky.FaceCount(), 2u * 50u * 49u);
    ASSERT_EQ(sky.subsets.size(), 1u);
    EXPECT_EQ(sky.subsets[0].faceCount, sky.FaceCount());
}

TEST(MeshBuilder, SpherePolesAreOnTheZAxis) {
    const Mesh s = MakeSphere(2.0f, 8, 5);
    EXPECT_EQ(s.vertices.front().position, Vector3(0, 0, 2));
    EXPECT_EQ(s.vertices.back().position, Vector3(0, 0, -2));
    // The first ring starts at longitude pi/2 (on +y) and steps clockwise toward +x.
    const Vector3 first = s.vertices[1].position;
    EXPECT_NEAR(first.x, 0.0f, 1e-5f);
    EXPECT_GT(first.y, 0.0f);
    EXPECT_GT(s.vertices[2].position.x, 0.0f);
    // The ring lies at latitude pi/5 from the +z pole.
    EXPECT_NEAR(first.z, 2.0f * std::cos(3.14159265f / 5.0f), 1e-5f);
}

TEST(MeshBuilder, SphereVerticesAreOnTheSurfaceWithOutwardNormals) {
    const Mesh s = MakeSphere(1000.0f, 50, 50);
    for (const MeshVertex& v : s.vertices) {
        EXPECT_NEAR(Vec3Length(v.position), 1000.0f, 0.01f);
        EXPECT_NEAR(Vec3Length(v.normal), 1.0f, 1e-5f);
        EXPECT_NEAR(Vec3Dot(Vec3Normalize(v.position), v.normal), 1.0f, 1e-5f);
    }
}

TEST(MeshBuilder, SphereSurfaceIsClosedAndUsesEveryVertex) {
    const Mesh s = MakeSphere(1.0f, 12, 7);
    const auto use = EdgeUse(s);
    for (const auto& [edge, count] : use) EXPECT_EQ(count, 2);
    std::vector<bool> used(s.vertices.size(), false);
    for (std::uint32_t i : s.indices) {
        ASSERT_LT(i, s.vertices.size());
        used[i] = true;
    }
    EXPECT_TRUE(std::all_of(used.begin(), used.end(), [](bool b) { return b; }));
}

TEST(MeshBuilder, SphereFacesAllWindTheSameWay) {
    const Mesh s = MakeSphere(1.0f, 12, 7);
    int outward = 0, inward = 0;
    for (std::size_t f = 0; f < s.FaceCount(); ++f) {
        const Vector3 centre = s.vertices[s.indices[f * 3]].position;
        (Vec3Dot(FaceNormal(s, f), centre) > 0 ? outward : inward)++;
    }
    EXPECT_TRUE(outward == 0 || inward == 0) << outward << " outward, " << inward << " inward";
}

TEST(MeshBuilder, SphereRejectsTooFewSlicesOrStacks) {
    EXPECT_TRUE(MakeSphere(1.0f, 1, 5).vertices.empty());
    EXPECT_TRUE(MakeSphere(1.0f, 5, 1).vertices.empty());
    const Mesh smallest = MakeSphere(1.0f, 2, 2);
    EXPECT_EQ(smallest.vertices.size(), 4u);
    EXPECT_EQ(smallest.FaceCount(), 4u);
}

}  // namespace
}  // namespace qm
