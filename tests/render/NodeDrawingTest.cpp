// Nodes, shadows and links on the recording device: the transforms, the
// materials and the order of the draws, and the failure messages.

#include <cmath>
#include <set>

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "device/RecordingDevice.h"
#include "experiment/SourceTester.h"
#include "node/NodeDrawing.h"
#include "render/SceneLight.h"
#include "support/DebugCapture.h"
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
    void DrawLineList(std::span<const ColorVertex, 2> vertices) override {
        if (failLines) throw ErrorCode{kEFail};
        RecordingDevice::DrawLineList(vertices);
    }
};

class NodeDrawingTest : public test::WorldFixture {
  protected:
    NodeDrawingTest() {
        InitNodeResources(device);
        InitShadow(MakeSceneLight().Direction);
    }
    ~NodeDrawingTest() override { ReleaseNodeResources(); }

    FailingDevice device;
};

TEST_F(NodeDrawingTest, TheCubeIsMadeOnceWithUnitEdges) {
    const Mesh* mesh = NodeMesh();
    ASSERT_NE(mesh, nullptr);
    InitNodeResources(device);
    EXPECT_EQ(NodeMesh(), mesh);
    EXPECT_EQ(mesh->vertices.size(), 24u);
    for (const MeshVertex& v : mesh->vertices) EXPECT_EQ(std::fabs(v.position.x), 0.5f);
    ReleaseNodeResources();
    EXPECT_EQ(NodeMesh(), nullptr);
}

TEST_F(NodeDrawingTest, ANodeIsTheCubeMovedToItsPositionInItsColour) {
    TNode* node = Place(3, -20, 7);
    node->SetColor(0.9, 0.2, 0.4);
    node->Render(device);
    ASSERT_EQ(device.draws.size(), 1u);
    const DrawRecord& d = device.draws[0];
    EXPECT_EQ(d.mesh, NodeMesh());
    EXPECT_EQ(d.subset, 0u);
    EXPECT_EQ(d.world, MatrixTranslation(3, -20, 7));
    EXPECT_EQ(node->drawTransform, d.world);
    EXPECT_EQ(d.material, node->material);
    EXPECT_EQ(device.calls,
              (std::vector<std::string>{"SetTransform World", "SetMaterial", "DrawMeshSubset 0"}));
}

TEST_F(NodeDrawingTest, ANodeWithoutColourIsBlack) {
    TNode* node = Place(0, 0, 0);
    node->Render(device);
    const Material& m = device.draws[0].material;
    EXPECT_EQ(m.Diffuse.r + m.Diffuse.g + m.Diffuse.b, 0.0f);
    EXPECT_EQ(m.Ambient.r + m.Ambient.g + m.Ambient.b, 0.0f);
}

TEST_F(NodeDrawingTest, RotationIsAboutYThenXThenZThenMoved) {
    TNode* node = Place(10, 0, 0);
    node->rot = {1.5707964f, 1.5707964f, 0.0f};  // a quarter turn about y, then about x
    node->Render(device);
    // +x about y goes to -z; -z about x goes to +y; then moved by (10, 0, 0).
    ExpectNear(Vec3TransformCoord({1, 0, 0}, node->drawTransform), {10, 1, 0});
}

TEST_F(NodeDrawingTest, TheShadowLiesOnTheFloorAlongTheLight) {
    TNode* node = Place(4, 10, -3);
    node->Render(device);
    node->RenderShadow(device);
    ASSERT_EQ(device.draws.size(), 2u);
    const DrawRecord& shadow = device.draws[1];
    EXPECT_EQ(shadow.mesh, NodeMesh());
    EXPECT_EQ(shadow.world, MatrixMultiply(MatrixTranslation(4, 10, -3), ShadowMatrix()));
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
    for (const MeshVertex& v : NodeMesh()->vertices) {
        EXPECT_NEAR(Vec3TransformCoord(v.position, shadow.world).y, -25.49f, 1e-4f);
    }
}

TEST_F(NodeDrawingTest, ALinkIsOneLineInTheWorldFrame) {
    device.SetTransform(TransformType::World, MatrixTranslation(1, 2, 3));
    DrawLine(device, {1, 2, 3}, {4, 5, 6}, 0xFFFFFFFF);
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
    world.Render(device);
    EXPECT_TRUE(device.draws.empty());
}

TEST_F(NodeDrawingTest, AWorldDrawsEachNodeThenItsShadowInIdOrder) {
    TNode* a = Place(0, 0, 0);
    TNode* b = Place(10, 0, 0);
    TNode* c = Place(0, 0, 10);
    world.Render(device);
    ASSERT_EQ(device.draws.size(), 6u);
    const TNode* order[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        const DrawRecord& body = device.draws[static_cast<std::size_t>(2 * i)];
        const DrawRecord& shadow = device.draws[static_cast<std::size_t>(2 * i + 1)];
        EXPECT_EQ(body.world, MatrixTranslation(order[i]->pos.x, order[i]->pos.y, order[i]->pos.z));
        EXPECT_EQ(shadow.world, MatrixMultiply(body.world, ShadowMatrix()));
        EXPECT_EQ(shadow.material.Diffuse.a, 0.25f);
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
    world.Render(device);
    ASSERT_EQ(device.draws.size(), 8u + 4u);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(device.draws[i].kind, DrawRecord::Kind::MeshSubset);

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
    world.Render(device);
    EXPECT_EQ(a->pos, Vector3(1, 2, 3));
    EXPECT_EQ(world.GetNodeCount(), 2);
    EXPECT_TRUE(world.isLink(a, b));
}

TEST_F(NodeDrawingTest, AFailedNodeDrawBecomesNodeRender) {
    Place(0, 0, 0);
    device.failMeshes = true;
    try {
        world.Render(device);
        FAIL() << "no error";
    } catch (const ErrorText& e) {
        EXPECT_EQ(e.text, "node render\n");
    }
}

TEST_F(NodeDrawingTest, AFailedLinkDrawBecomesLineRender) {
    world.LinkNode(Place(0, 0, 0), Place(3, 0, 0));
    device.failLines = true;
    try {
        world.Render(device);
        FAIL() << "no error";
    } catch (const ErrorText& e) {
        EXPECT_EQ(e.text, "line Render;\n");
    }
}

TEST(PTesterDrawing, RenderDrawsEveryWorldUnderItsSignatureLine) {
    test::ScratchFolder folder({});
    folder.Write("source.txt", "0");
    test::DebugCapture debug;
    SourceTester tester("source.txt");
    tester.Init();
    FailingDevice device;
    InitNodeResources(device);
    tester.Render(device);
    EXPECT_EQ(device.draws.size(), 2u);  // the seed node and its shadow
    device.failMeshes = true;
    try {
        tester.Render(device);
        FAIL() << "no error";
    } catch (const ErrorText& e) {
        EXPECT_EQ(e.text, "PTester::Render()\nnode render\n");
    }
    ReleaseNodeResources();
}

TEST(PTesterDrawing, ClickPicksAlongTheRayUnderThePointer) {
    test::ScratchFolder folder({});
    folder.Write("source.txt", "0");
    test::DebugCapture debug;
    SourceTester tester("source.txt");
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
