// Nodes, shadows and links on the recording device: the transforms, the
// materials and the order of the draws, and the failure messages.

#include <cmath>
#include <set>

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "base/RunContext.h"
#include "experiment/SourceTester.h"
#include "node/NodeDrawing.h"
#include "render/SceneLight.h"
#include "support/DebugCapture.h"
#include "support/RecordingDevice.h"
#include "support/SceneTestSupport.h"
#include "support/WorldFixture.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

void ExpectNear(const Vector3& a, const Vector3& b, float eps = 1e-4f) {
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

// A device whose mesh or line draws fail, as a lost device's might.
class FailingDevice : public RecordingDevice {
  public:
    bool failMeshes = false;
    bool failLines = false;
    void DrawMeshSubset(const Mesh& mesh, std::uint32_t subset) override {
        if (failMeshes) throw ErrorCode{kEFail};
        RecordingDevice::DrawMeshSubset(mesh, subset);
    }
    void DrawMeshInstances(const Mesh& mesh, std::uint32_t subset, std::span<const MeshInstance> instances,
                           std::span<const Material> materials) override {
        if (failMeshes) throw ErrorCode{kEFail};
        RecordingDevice::DrawMeshInstances(mesh, subset, instances, materials);
    }
    void DrawLineList(std::span<const ColorVertex> vertices) override {
        if (failLines) throw ErrorCode{kEFail};
        RecordingDevice::DrawLineList(vertices);
    }
};

class NodeDrawingTest : public test::WorldFixture {
  protected:
    NodeDrawingTest() {
        drawing.Init(device);
        drawing.InitShadow(MakeSceneLight().Direction);
    }
    FailingDevice device;
    NodeDrawing drawing;
};

TEST_F(NodeDrawingTest, TheCubeIsMadeOnceWithUnitEdges) {
    const Mesh* mesh = drawing.NodeMesh();
    ASSERT_NE(mesh, nullptr);
    drawing.Init(device);
    EXPECT_EQ(drawing.NodeMesh(), mesh);
    EXPECT_EQ(mesh->vertices.size(), 24u);
    for (const MeshVertex& v : mesh->vertices) EXPECT_EQ(std::fabs(v.position.x), 0.5f);
    drawing.Release();
    EXPECT_EQ(drawing.NodeMesh(), nullptr);
}

TEST_F(NodeDrawingTest, ANodeIsTheCubeMovedToItsPositionInItsColour) {
    TNode* node = Place(3, -20, 7);
    node->SetColor(0.9, 0.2, 0.4);
    node->Render(device, drawing);
    ASSERT_EQ(device.draws.size(), 1u);
    const DrawRecord& d = device.draws[0];
    EXPECT_EQ(d.mesh, drawing.NodeMesh());
    EXPECT_EQ(d.subset, 0u);
    EXPECT_EQ(d.world, MatrixTranslation(3, -20, 7));
    EXPECT_EQ(node->drawTransform, d.world);
    EXPECT_EQ(d.material, node->material);
    EXPECT_EQ(device.calls,
              (std::vector<std::string>{"SetTransform World", "SetMaterial", "DrawMeshSubset 0"}));
}

TEST_F(NodeDrawingTest, ANodeWithoutColourIsBlack) {
    TNode* node = Place(0, 0, 0);
    node->Render(device, drawing);
    const Material& m = device.draws[0].material;
    EXPECT_EQ(m.Diffuse.r + m.Diffuse.g + m.Diffuse.b, 0.0f);
    EXPECT_EQ(m.Ambient.r + m.Ambient.g + m.Ambient.b, 0.0f);
}

TEST_F(NodeDrawingTest, RotationIsAboutYThenXThenZThenMoved) {
    TNode* node = Place(10, 0, 0);
    node->rot = {1.5707964f, 1.5707964f, 0.0f};  // a quarter turn about y, then about x
    node->Render(device, drawing);
    // +x about y goes to -z; -z about x goes to +y; then moved by (10, 0, 0).
    ExpectNear(Vec3TransformCoord({1, 0, 0}, node->drawTransform), {10, 1, 0});
}

TEST_F(NodeDrawingTest, TheShadowLiesOnTheFloorAlongTheLight) {
    TNode* node = Place(4, 10, -3);
    node->Render(device, drawing);
    node->RenderShadow(device, drawing);
    ASSERT_EQ(device.draws.size(), 2u);
    const DrawRecord& shadow = device.draws[1];
    EXPECT_EQ(shadow.mesh, drawing.NodeMesh());
    EXPECT_EQ(shadow.world, MatrixMultiply(MatrixTranslation(4, 10, -3), drawing.ShadowMatrix()));
    EXPECT_EQ(node->drawTransform, shadow.world);
    // Black, three quarters transparent; its two layers both darken the floor
    // (no depth written), and depth is written again afterwards.
    Material expected;
    expected.Diffuse.a = 0.25f;
    EXPECT_EQ(shadow.material, expected);
    EXPECT_FALSE(shadow.zWrite);
    EXPECT_TRUE(device.draws[0].zWrite);
    EXPECT_EQ(device.renderStates[RenderState::ZWriteEnable], 1u);
    // The node's centre falls on y = -25.49, moved along the light in
    // proportion to its height above that plane.
    const Light light = MakeSceneLight();
    const float t = (10.0f + 25.49f) / -light.Direction.y;
    ExpectNear(Vec3TransformCoord({0, 0, 0}, shadow.world),
               {4 + t * light.Direction.x, -25.49f, -3 + t * light.Direction.z}, 1e-3f);
    // Every corner of the cube lands on the plane.
    for (const MeshVertex& v : drawing.NodeMesh()->vertices) {
        EXPECT_NEAR(Vec3TransformCoord(v.position, shadow.world).y, -25.49f, 1e-4f);
    }
}

TEST_F(NodeDrawingTest, ALinkIsOneLineInTheWorldFrame) {
    device.SetTransform(TransformType::World, MatrixTranslation(1, 2, 3));
    drawing.DrawLine(device, {1, 2, 3}, {4, 5, 6}, 0xFFFFFFFF);
    ASSERT_EQ(device.draws.size(), 1u);
    const DrawRecord& d = device.draws[0];
    EXPECT_EQ(d.kind, DrawRecord::Kind::LineList);
    EXPECT_EQ(d.world, MatrixIdentity());
    ASSERT_EQ(d.lineVertices.size(), 2u);
    EXPECT_EQ(d.lineVertices[0].x, 1.0f);
    EXPECT_EQ(d.lineVertices[0].z, 3.0f);
    EXPECT_EQ(d.lineVertices[1].y, 5.0f);
    EXPECT_EQ(d.lineVertices[0].color, 0xFFFFFFFFu);
    EXPECT_EQ(d.lineVertices[1].color, 0xFFFFFFFFu);
}

TEST_F(NodeDrawingTest, AnEmptyWorldDrawsNothing) {
    world.Render(device, drawing);
    EXPECT_TRUE(device.draws.empty());
}

// The world draws its nodes in two calls, every cube and then every shadow,
// each in id order; each draw is the one Render or RenderShadow makes for
// that node, but for the parts that cannot show: the cubes' back faces and
// the second layer of each shadow.
TEST_F(NodeDrawingTest, AWorldDrawsEveryCubeThenEveryShadowInIdOrder) {
    TNode* a = Place(0, 0, 0);
    TNode* b = Place(10, -20, 0);
    TNode* c = Place(0, 0, 10);
    b->SetColor(0.9, 0.2, 0.4);
    world.Render(device, drawing);
    EXPECT_EQ(device.CallsStartingWith("DrawMeshInstances"),
              (std::vector<std::string>{"DrawMeshInstances 0 3", "DrawMeshInstances 0 3"}));
    ASSERT_EQ(device.draws.size(), 6u);

    RecordingDevice single;
    TNode* order[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        TNode& node = *order[i];
        single.draws.clear();
        node.Render(single, drawing);
        node.RenderShadow(single, drawing);
        const DrawRecord& cube = device.draws[static_cast<std::size_t>(i)];
        const DrawRecord& shadow = device.draws[static_cast<std::size_t>(3 + i)];
        EXPECT_EQ(cube.mesh, drawing.NodeMesh());
        EXPECT_EQ(cube.world, single.draws[0].world);
        EXPECT_EQ(cube.material, single.draws[0].material);
        EXPECT_EQ(cube.cullMode, kCullCounterClockwise);
        EXPECT_TRUE(cube.zWrite);
        EXPECT_EQ(shadow.mesh, drawing.ShadowOutlineMesh());
        EXPECT_EQ(shadow.world, single.draws[1].world);
        EXPECT_EQ(shadow.material.Diffuse.a, kShadowLayersAlpha);
        EXPECT_EQ(shadow.cullMode, kCullNone);
        EXPECT_FALSE(shadow.zWrite);
    }
    // What the rest of the frame draws with is as it was.
    EXPECT_EQ(device.renderStates[RenderState::CullMode], kCullNone);
    EXPECT_EQ(device.renderStates[RenderState::ZWriteEnable], 1u);
}

// The outline darkens the floor once as much as the flattened cube's two
// layers did, and covers exactly the flattened cube: its six corners, in
// order around a convex hexagon, hold the other two corners' shadows.
TEST_F(NodeDrawingTest, TheShadowOutlineIsTheFlattenedCubeCoveredOnce) {
    EXPECT_EQ(1.0f - kShadowLayersAlpha, 0.75f * 0.75f);
    const Mesh* outline = drawing.ShadowOutlineMesh();
    ASSERT_NE(outline, nullptr);
    ASSERT_EQ(outline->vertices.size(), 6u);
    ASSERT_EQ(outline->FaceCount(), 4u);

    // On the floor plane, as (x, z).
    auto flat = [this](const Vector3& corner) {
        const Vector3 p = Vec3TransformCoord(corner, drawing.ShadowMatrix());
        EXPECT_NEAR(p.y, kShadowPlaneY, 1e-4f);
        return std::pair<double, double>(p.x, p.z);
    };
    std::vector<std::pair<double, double>> hexagon;
    for (const MeshVertex& v : outline->vertices) {
        EXPECT_EQ(std::fabs(v.position.x), 0.5f);
        EXPECT_EQ(std::fabs(v.position.y), 0.5f);
        EXPECT_EQ(std::fabs(v.position.z), 0.5f);
        hexagon.push_back(flat(v.position));
    }
    auto cross = [](std::pair<double, double> o, std::pair<double, double> a, std::pair<double, double> b) {
        return (a.first - o.first) * (b.second - o.second) - (a.second - o.second) * (b.first - o.first);
    };
    // Convex: every turn the same way round.
    const double turn = cross(hexagon[0], hexagon[1], hexagon[2]);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_GT(cross(hexagon[i], hexagon[(i + 1) % 6], hexagon[(i + 2) % 6]) * turn, 0.0) << i;
    }
    // The fan covers the hexagon once: its triangles add up to its area.
    double fan = 0.0, area = 0.0;
    for (std::uint32_t f = 0; f < outline->FaceCount(); ++f) {
        const std::uint32_t* t = &outline->indices[f * 3];
        fan += std::fabs(cross(hexagon[t[0]], hexagon[t[1]], hexagon[t[2]])) / 2.0;
    }
    for (std::size_t i = 0; i < 6; ++i) {  // the shoelace formula
        const auto& [x0, z0] = hexagon[i];
        const auto& [x1, z1] = hexagon[(i + 1) % 6];
        area += (x0 * z1 - x1 * z0) / 2.0;
    }
    EXPECT_NEAR(fan, std::fabs(area), 1e-9);
    // Every corner of the cube falls inside it or on its edge.
    for (const MeshVertex& v : drawing.NodeMesh()->vertices) {
        const auto p = flat(v.position);
        for (std::size_t i = 0; i < 6; ++i)
            EXPECT_GE(cross(hexagon[i], hexagon[(i + 1) % 6], p) * turn, -1e-6);
    }
}

TEST_F(NodeDrawingTest, EveryLinkIsDrawnExactlyOnceInWhiteAfterTheNodes) {
    // A triangle and a tail: node a has three partners.
    TNode* a = Place(0, 0, 0);
    TNode* b = Place(5, 0, 0);
    TNode* c = Place(0, 5, 0);
    TNode* d = Place(0, 0, 5);
    world.LinkNode(a, b);
    world.LinkNode(b, c);
    world.LinkNode(c, a);
    world.LinkNode(a, d);
    world.Render(device, drawing);
    ASSERT_EQ(device.draws.size(), 8u + 4u);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(device.draws[i].kind, DrawRecord::Kind::MeshSubset);
    EXPECT_EQ(device.CallsStartingWith("DrawLineList"), std::vector<std::string>{"DrawLineList 4"});

    std::multiset<std::pair<int, int>> drawn;
    auto idAt = [&](const ColorVertex& v) {
        for (const auto& [id, node] : world.NodeMap()) {
            if (node->pos == Vector3(v.x, v.y, v.z)) return id;
        }
        return -1;
    };
    for (std::size_t i = 8; i < device.draws.size(); ++i) {
        const DrawRecord& line = device.draws[i];
        ASSERT_EQ(line.kind, DrawRecord::Kind::LineList);
        EXPECT_EQ(line.lineVertices[0].color, 0xFFFFFFFFu);
        const int from = idAt(line.lineVertices[0]), to = idAt(line.lineVertices[1]);
        drawn.insert({std::min(from, to), std::max(from, to)});
    }
    const std::multiset<std::pair<int, int>> links{
        {a->id, b->id}, {b->id, c->id}, {a->id, c->id}, {a->id, d->id}};
    EXPECT_EQ(drawn, links);
}

TEST_F(NodeDrawingTest, DrawingChangesNothingInTheWorld) {
    TNode* a = Place(1, 2, 3);
    TNode* b = Place(4, 2, 3);
    world.LinkNode(a, b);
    world.Render(device, drawing);
    EXPECT_EQ(a->pos, Vector3(1, 2, 3));
    EXPECT_EQ(world.GetNodeCount(), 2);
    EXPECT_TRUE(world.isLink(a, b));
}

TEST_F(NodeDrawingTest, AFailedNodeDrawBecomesNodeRender) {
    Place(0, 0, 0);
    device.failMeshes = true;
    try {
        world.Render(device, drawing);
        FAIL() << "no error";
    } catch (const ErrorText& e) {
        EXPECT_EQ(e.text, "node render\n");
    }
}

TEST_F(NodeDrawingTest, AFailedLinkDrawBecomesLineRender) {
    world.LinkNode(Place(0, 0, 0), Place(3, 0, 0));
    device.failLines = true;
    try {
        world.Render(device, drawing);
        FAIL() << "no error";
    } catch (const ErrorText& e) {
        EXPECT_EQ(e.text, "line Render;\n");
    }
}

TEST(PTesterDrawing, RenderDrawsEveryWorldUnderItsSignatureLine) {
    test::ScratchFolder folder({});
    folder.Write("source.txt", "0");
    RunContext context;
    test::DebugCapture debug(context.diagnostics);
    SourceTester tester(context, "source.txt");
    tester.Init();
    FailingDevice device;
    NodeDrawing drawing;
    drawing.Init(device);
    tester.Render(device, drawing);
    EXPECT_EQ(device.draws.size(), 2u);  // the seed node and its shadow
    device.failMeshes = true;
    try {
        tester.Render(device, drawing);
        FAIL() << "no error";
    } catch (const ErrorText& e) {
        EXPECT_EQ(e.text, "PTester::Render()\nnode render\n");
    }
}

TEST(PTesterDrawing, ClickPicksAlongTheRayUnderThePointer) {
    test::ScratchFolder folder({});
    folder.Write("source.txt", "0");
    RunContext context;
    test::DebugCapture debug(context.diagnostics);
    SourceTester tester(context, "source.txt");
    tester.Init();
    NodeManager& world = *tester.Worlds()[0];
    TNode* node = world.NodeMap().begin()->second;

    // A camera 30 units in front of the node looking at it: the node is at the centre.
    RecordingDevice device;
    device.viewport = {0, 0, 640, 480, 0.0f, 1.0f};
    const Vector3 p = node->pos;
    device.SetTransform(TransformType::View, MatrixLookAtLH(p - Vector3(0, 0, 30), p, {0, 1, 0}));
    device.SetTransform(TransformType::Projection,
                        MatrixPerspectiveFovLH(0.7853982f, 4.0f / 3.0f, 0.1f, 2000.0f));
    tester.Click(device, 320, 240, 83);
    EXPECT_EQ(world.SelectedNode(), node);
    // 60 pixels to the side the ray passes about 3 units from it: a miss clears the selection.
    tester.Click(device, 380, 240, 83);
    EXPECT_EQ(world.SelectedNode(), nullptr);
    // K kills what it hits.
    tester.Click(device, 320, 240, 75);
    EXPECT_TRUE(node->dying);
}

}  // namespace
}  // namespace qm
