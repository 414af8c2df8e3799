// The floor, the goal, the sky, the light and the render states, drawn on the
// recording device: what each sets, in which order, and with which values.

#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "base/Diagnostics.h"

#include "base/Errors.h"
#include "render/Floor.h"
#include "render/Goal.h"
#include "render/SceneLight.h"
#include "render/Sky.h"
#include "support/SceneTestSupport.h"

namespace qm {
namespace {

using test::kArtFiles;
using test::ScratchFolder;

std::vector<std::string> Lines(std::initializer_list<const char*> lines) {
    return {lines.begin(), lines.end()};
}

// Where the scene objects say what they cannot load: stderr, as in the window.
const Diagnostics kDiagnostics;

TEST(Floor, HoldsTheFourCornersOfTheGround) {
    ScratchFolder folder(kArtFiles);
    RecordingDevice device;
    Floor floor(device, kDiagnostics);
    const auto& v = floor.Vertices();
    const float expected[4][5] = {{500, -25.5f, 500, 0, 0},
                                  {-500, -25.5f, 500, 5, 0},
                                  {500, -25.5f, -500, 0, 5},
                                  {-500, -25.5f, -500, 5, 5}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v[i].x, expected[i][0]);
        EXPECT_EQ(v[i].y, expected[i][1]);
        EXPECT_EQ(v[i].z, expected[i][2]);
        EXPECT_EQ(v[i].color, 0xFFFFFFFFu);
        EXPECT_EQ(v[i].u, expected[i][3]);
        EXPECT_EQ(v[i].v, expected[i][4]);
    }
    EXPECT_NE(floor.Texture(), 0u);
    EXPECT_EQ(device.textures.at(floor.Texture()).width, 512);
}

TEST(Floor, DrawsItsTextureMirroredPushedBackInDepthThenUnbindsIt) {
    ScratchFolder folder(kArtFiles);
    RecordingDevice device;
    Floor floor(device, kDiagnostics);
    device.calls.clear();
    floor.Draw(device);
    const std::string texture = std::to_string(floor.Texture());
    EXPECT_EQ(
        device.calls,
        Lines({"SetTextureStageColorOp 0 2 2", "SetSamplerState 0 AddressU 2", "SetSamplerState 0 AddressV 2",
               "SetTransform World", ("SetTexture 0 " + texture).c_str(),
               "SetRenderState SlopeScaleDepthBias 0x3F800000", "SetRenderState DepthBias 0x40800000",
               "DrawTriangleStrip 4", "SetRenderState SlopeScaleDepthBias 0x0",
               "SetRenderState DepthBias 0x0", "SetTexture 0 0"}));
    ASSERT_EQ(device.draws.size(), 1u);
    const DrawRecord& strip = device.draws[0];
    // The shadows 0.01 above it win the depth test: the floor alone is pushed back.
    EXPECT_EQ(strip.slopeScaleDepthBias, 1.0f);
    EXPECT_EQ(strip.depthBias, 4.0f);
    EXPECT_EQ(strip.world, MatrixIdentity());
    EXPECT_EQ(strip.texture, floor.Texture());
    EXPECT_EQ(strip.colorOp, TextureOp::SelectArg1);
    EXPECT_EQ(strip.addressU, kAddressMirror);
    EXPECT_EQ(strip.addressV, kAddressMirror);
    EXPECT_EQ(strip.stripVertices.size(), 4u);
}

TEST(Floor, WithoutItsImageIsDrawnUntextured) {
    ScratchFolder folder({});
    RecordingDevice device;
    Floor floor(device, kDiagnostics);
    EXPECT_EQ(floor.Texture(), 0u);
    floor.Draw(device);
    ASSERT_EQ(device.draws.size(), 1u);
    EXPECT_EQ(device.draws[0].texture, 0u);
}

TEST(Floor, ReleasesItsTexture) {
    ScratchFolder folder(kArtFiles);
    RecordingDevice device;
    { Floor floor(device, kDiagnostics); }
    EXPECT_TRUE(device.textures.empty());
}

TEST(Goal, LoadsTheMeshWithItsMaterials) {
    ScratchFolder folder(kArtFiles);
    RecordingDevice device;
    Goal goal(device, kDiagnostics);
    EXPECT_EQ(goal.MaterialCount(), 1u);
    EXPECT_EQ(goal.GetMesh().subsets.size(), 1u);
    EXPECT_GT(goal.GetMesh().FaceCount(), 0u);
    EXPECT_EQ(goal.SpinAngle(), 0.0f);
    EXPECT_EQ(goal.Scale(), 3.0f);
}

TEST(Goal, WithoutItsMeshRaisesEFail) {
    ScratchFolder folder({"goal.bmp"});
    RecordingDevice device;
    try {
        Goal goal(device, kDiagnostics);
        FAIL() << "no error";
    } catch (const ErrorCode& e) {
        EXPECT_EQ(e.code, kEFail);
    }
}

TEST(Goal, DrawsUnlitScaledSpinningAndPlaced) {
    ScratchFolder folder(kArtFiles);
    RecordingDevice device;
    Goal goal(device, kDiagnostics);
    goal.SetPosition({0.0f, -15.0f, 250.0f});
    goal.Draw(device);
    goal.Draw(device);
    EXPECT_FLOAT_EQ(goal.SpinAngle(), 0.2f);

    const DrawRecord& second = device.draws.back();
    EXPECT_FALSE(second.lighting);
    EXPECT_EQ(second.colorOp, TextureOp::SelectArg1);
    EXPECT_EQ(second.colorArg1, TextureArg::Texture);
    EXPECT_NE(second.texture, 0u);
    // Scaled 3 times, turned 0.2 radians about y, then moved to its place.
    const float spin = 0.1f + 0.1f;
    EXPECT_EQ(second.world, MatrixMultiply(MatrixMultiply(MatrixScaling(3, 3, 3), MatrixRotationY(spin)),
                                           MatrixTranslation(0, -15, 250)));
    const Vector3 tip = Vec3TransformCoord({1, 0, 0}, second.world);
    EXPECT_NEAR(tip.x, 3.0f * std::cos(0.2f), 1e-5f);
    EXPECT_NEAR(tip.z, 250.0f - 3.0f * std::sin(0.2f), 1e-4f);
    EXPECT_EQ(device.renderStates[RenderState::Lighting], 1u);
}

TEST(Goal, SwitchesLightingOffForItsDrawAndBackOn) {
    ScratchFolder folder(kArtFiles);
    RecordingDevice device;
    Goal goal(device, kDiagnostics);
    device.calls.clear();
    goal.Draw(device);
    ASSERT_FALSE(device.calls.empty());
    EXPECT_EQ(device.calls.front(), "SetRenderState Lighting 0x0");
    EXPECT_EQ(device.calls[device.calls.size() - 2], "SetTexture 0 0");
    EXPECT_EQ(device.calls.back(), "SetRenderState Lighting 0x1");
    EXPECT_EQ(device.CallsStartingWith("DrawMeshSubset"), Lines({"DrawMeshSubset 0"}));
}

TEST(Sky, IsASphereOfRadius1000WithFiftySlicesAndStacks) {
    ScratchFolder folder(kArtFiles);
    RecordingDevice device;
    Sky sky(device, kDiagnostics);
    const Mesh& mesh = sky.GetMesh();
    EXPECT_EQ(mesh.vertices.size(), 2u + 50u * 49u);
    EXPECT_TRUE(mesh.hasTexCoords);
    for (const MeshVertex& v : mesh.vertices) {
        EXPECT_NEAR(Vec3Length(v.position), 1000.0f, 0.01f);
        EXPECT_GE(v.u, 0.0f);
        EXPECT_LE(v.u, 1.0f);
        EXPECT_GE(v.v, 0.0f);
        EXPECT_LE(v.v, 1.0f);
    }
}

TEST(Sky, TextureCoordinatesFollowTheDirection) {
    float u = -1, v = -1;
    SkyTexCoords({0, 1000, 0}, u, v);
    EXPECT_FLOAT_EQ(u, 0.5f);
    EXPECT_FLOAT_EQ(v, 1.0f);
    SkyTexCoords({-1000, 0, 0}, u, v);
    EXPECT_FLOAT_EQ(u, 0.0f);
    EXPECT_FLOAT_EQ(v, 0.5f);
    SkyTexCoords({0, 0, 1000}, u, v);
    EXPECT_FLOAT_EQ(u, 0.5f);
    EXPECT_FLOAT_EQ(v, 0.5f);
    // 30 degrees up: asin(0.5) / pi = 1/6 above the middle.
    SkyTexCoords({0, 500, 866.0254f}, u, v);
    EXPECT_NEAR(v, 0.5f + 1.0f / 6.0f, 1e-5f);
}

TEST(Sky, MeshVerticesCarryTheirDirectionsCoordinates) {
    ScratchFolder folder(kArtFiles);
    RecordingDevice device;
    Sky sky(device, kDiagnostics);
    for (const MeshVertex& v : sky.GetMesh().vertices) {
        const Vector3 d = Vec3Normalize(v.position);
        EXPECT_NEAR(v.u, std::asin(d.x) / 3.14159265f + 0.5f, 1e-5f);
        EXPECT_NEAR(v.v, std::asin(d.y) / 3.14159265f + 0.5f, 1e-5f);
    }
}

TEST(Sky, DrawsUnlitFilteredAtTheOriginAndSwitchesLightingBackOn) {
    ScratchFolder folder(kArtFiles);
    RecordingDevice device;
    Sky sky(device, kDiagnostics);
    device.calls.clear();
    sky.Draw(device);
    ASSERT_EQ(device.draws.size(), 1u);
    const DrawRecord& d = device.draws[0];
    EXPECT_FALSE(d.lighting);
    EXPECT_EQ(d.world, MatrixIdentity());
    EXPECT_EQ(d.minFilter, kFilterLinear);
    EXPECT_EQ(d.magFilter, kFilterLinear);
    EXPECT_EQ(d.colorOp, TextureOp::SelectArg1);
    EXPECT_EQ(d.mesh, &sky.GetMesh());
    EXPECT_EQ(d.subset, 0u);
    EXPECT_NE(d.texture, 0u);
    EXPECT_EQ(device.calls.front(), "SetRenderState Lighting 0x0");
    EXPECT_EQ(device.calls.back(), "SetRenderState Lighting 0x1");
}

TEST(SceneLight, IsAWhiteDirectionalLightFromAboveLeftFront) {
    const Light light = MakeSceneLight();
    EXPECT_EQ(light.Type, LightType::Directional);
    EXPECT_EQ(light.Diffuse, (ColorValue{1, 1, 1, 0}));
    EXPECT_NEAR(light.Direction.x, 0.534522f, 1e-6f);
    EXPECT_NEAR(light.Direction.y, -0.801784f, 1e-6f);
    EXPECT_NEAR(light.Direction.z, 0.267261f, 1e-6f);
    EXPECT_NEAR(Vec3Length(light.Direction), 1.0f, 1e-6f);
    EXPECT_EQ(light.Range, 1000.0f);
    EXPECT_EQ(light.Specular, ColorValue{});
    EXPECT_EQ(light.Ambient, ColorValue{});
    EXPECT_EQ(light.Position, Vector3{});
    EXPECT_EQ(light.Attenuation0 + light.Attenuation1 + light.Attenuation2 + light.Falloff + light.Theta +
                  light.Phi,
              0.0f);
}

TEST(SceneLight, RenderStatesInOrder) {
    RecordingDevice device;
    SetRenderStates(device);
    EXPECT_EQ(device.calls, Lines({"SetRenderState ZEnable 0x1", "SetRenderState CullMode 0x1",
                                   "SetRenderState Lighting 0x1", "SetRenderState Ambient 0x555555",
                                   "SetRenderState SpecularEnable 0x1", "SetRenderState AlphaBlendEnable 0x1",
                                   "SetRenderState SrcBlend 0x5", "SetRenderState DestBlend 0x6"}));
}

}  // namespace
}  // namespace qm
