#include <cmath>
#include <vector>

#include "device/Mesh.h"

namespace qm {

namespace {

constexpr float kPi = 3.141592654f;  // D3DX_PI

// Index of a ring vertex of the sphere: the +z pole is vertex 0.
std::uint32_t RingVertex(unsigned slices, unsigned slice, unsigned ring) { return ring * slices + slice + 1; }

void AddFace(Mesh& mesh, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    mesh.indices.push_back(a);
    mesh.indices.push_back(b);
    mesh.indices.push_back(c);
}

}  // namespace

Mesh MakeBox(float width, float height, float depth) {
    // Four corners per side of a unit cube, sides in the order -x, +y, +x, -y, +z, -z.
    static const float kCorners[24][3] = {
        {-0.5f, -0.5f, -0.5f}, {-0.5f, -0.5f, 0.5f},  {-0.5f, 0.5f, 0.5f},  {-0.5f, 0.5f, -0.5f},
        {-0.5f, 0.5f, -0.5f},  {-0.5f, 0.5f, 0.5f},   {0.5f, 0.5f, 0.5f},   {0.5f, 0.5f, -0.5f},
        {0.5f, 0.5f, -0.5f},   {0.5f, 0.5f, 0.5f},    {0.5f, -0.5f, 0.5f},  {0.5f, -0.5f, -0.5f},
        {-0.5f, -0.5f, 0.5f},  {-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, 0.5f},
        {-0.5f, -0.5f, 0.5f},  {0.5f, -0.5f, 0.5f},   {0.5f, 0.5f, 0.5f},   {-0.5f, 0.5f, 0.5f},
        {-0.5f, -0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f},  {0.5f, 0.5f, -0.5f},  {0.5f, -0.5f, -0.5f},
    };
    static const Vector3 kNormals[6] = {{-1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f},
                                        {0.0f, -1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, -1.0f}};

    Mesh mesh;
    mesh.vertices.reserve(24);
    for (int i = 0; i < 24; ++i) {
        MeshVertex v;
        v.position = {width * kCorners[i][0], height * kCorners[i][1], depth * kCorners[i][2]};
        v.normal = kNormals[i / 4];
        mesh.vertices.push_back(v);
    }
    // Two triangles per side: (0, 1, 2) and (2, 3, 0) of its four corners.
    for (std::uint32_t side = 0; side < 6; ++side) {
        const std::uint32_t first = side * 4;
        AddFace(mesh, first, first + 1, first + 2);
        AddFace(mesh, first + 2, first + 3, first);
    }
    mesh.subsets.push_back({0, mesh.FaceCount()});
    return mesh;
}

Mesh MakeSphere(float radius, unsigned slices, unsigned stacks) {
    Mesh mesh;
    if (slices < 2 || stacks < 2) return mesh;

    // Longitude phi starts at pi/2 and steps clockwise; the angle table is
    // built by repeated addition, as the original generator does.
    std::vector<float> phiSin(slices), phiCos(slices);
    float phi = kPi / 2.0f;
    const float phiStep = -2.0f * kPi / static_cast<float>(slices);
    for (unsigned i = 0; i < slices; ++i) {
        phiSin[i] = std::sin(phi);
        phiCos[i] = std::cos(phi);
        phi += phiStep;
    }

    auto addVertex = [&mesh, radius](Vector3 normal) {
        MeshVertex v;
        v.normal = normal;
        v.position = {radius * normal.x, radius * normal.y, radius * normal.z};
        mesh.vertices.push_back(v);
    };

    mesh.vertices.reserve(2 + slices * (stacks - 1));
    addVertex({0.0f, 0.0f, 1.0f});

    const float thetaStep = kPi / static_cast<float>(stacks);
    float theta = thetaStep;
    for (unsigned ring = 0; ring < stacks - 1; ++ring) {
        const float sinTheta = std::sin(theta);
        const float cosTheta = std::cos(theta);
        for (unsigned slice = 0; slice < slices; ++slice) {
            MeshVertex v;
            v.normal = {sinTheta * phiCos[slice], sinTheta * phiSin[slice], cosTheta};
            v.position = {radius * sinTheta * phiCos[slice], radius * sinTheta * phiSin[slice],
                          radius * cosTheta};
            mesh.vertices.push_back(v);

            if (slice == 0) continue;
            if (ring == 0) {
                AddFace(mesh, 0, slice + 1, slice);  // the top cap is a fan around the pole
            } else {
                AddFace(mesh, RingVertex(slices, slice - 1, ring - 1), RingVertex(slices, slice, ring - 1),
                        RingVertex(slices, slice - 1, ring));
                AddFace(mesh, RingVertex(slices, slice, ring - 1), RingVertex(slices, slice, ring),
                        RingVertex(slices, slice - 1, ring));
            }
        }
        theta += thetaStep;

        // Close the ring between the last slice and the first.
        if (ring == 0) {
            AddFace(mesh, 0, 1, slices);
        } else {
            AddFace(mesh, RingVertex(slices, slices - 1, ring - 1), RingVertex(slices, 0, ring - 1),
                    RingVertex(slices, slices - 1, ring));
            AddFace(mesh, RingVertex(slices, 0, ring - 1), RingVertex(slices, 0, ring),
                    RingVertex(slices, slices - 1, ring));
        }
    }

    const std::uint32_t bottom = static_cast<std::uint32_t>(mesh.vertices.size());
    addVertex({0.0f, 0.0f, -1.0f});
    const unsigned lastRing = stacks - 2;
    for (unsigned slice = 1; slice < slices; ++slice) {
        AddFace(mesh, RingVertex(slices, slice - 1, lastRing), RingVertex(slices, slice, lastRing), bottom);
    }
    AddFace(mesh, RingVertex(slices, slices - 1, lastRing), RingVertex(slices, 0, lastRing), bottom);

    mesh.subsets.push_back({0, mesh.FaceCount()});
    return mesh;
}

}  // namespace qm
