// The OpenGL device on a real context (Xvfb and Mesa's software renderer):
// a batch of instances, a list of lines and the outline shadows give the
// pixels of the separate draws they stand for.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "device/Mesh.h"
#include "node/NodeDrawing.h"
#include "node/TNode.h"
#include "platform/GlDevice.h"
#include "platform/SdlWindow.h"
#include "render/SceneLight.h"

namespace qm {
namespace {

constexpr std::uint32_t kBackground = 0xFF808080;

// One window and context for every test: opening and closing the display
// for each test only adds ways to fail that are not the device's.
struct Context {
    std::unique_ptr<SdlWindow> window;
    std::unique_ptr<GlLibrary> library;
    std::unique_ptr<GlDevice> device;
    std::string failure;  // why there is no device
};

Context& SharedContext() {
    static Context context = [] {
        Context c;
        if (!std::getenv("DISPLAY")) {
            c.failure = "no display: run under xvfb-run";
            return c;
        }
        c.window = SdlWindow::Create("Quillmoth GL test", 320, 240);
        if (!c.window) {
            c.failure = "no window: " + SdlWindow::LastError();
            return c;
        }
        c.library = GlLibrary::Load(c.window->Handle());
        if (c.library) c.device = GlDevice::Create(c.window->Handle(), DeviceKind::Reference, &c.failure);
        return c;
    }();
    return context;
}

class GlDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Context& context = SharedContext();
        ASSERT_NE(context.device, nullptr) << context.failure;
        device = context.device.get();
        drawing.Init(*device);
        const Light light = MakeSceneLight();
        drawing.InitShadow(light.Direction);
        SetRenderStates(*device);
        device->SetRenderState(RenderState::ZWriteEnable, 1);
        device->SetTransform(TransformType::World, MatrixIdentity());
        device->SetLight(0, light);
        device->LightEnable(0, true);
        // Looking down on the floor from above and in front.
        device->SetTransform(TransformType::View, MatrixLookAtLH({0, 5, -22}, {0, -20, 0}, {0, 1, 0}));
        device->SetTransform(TransformType::Projection,
                             MatrixPerspectiveFovLH(0.7853982f, 4.0f / 3.0f, 0.1f, 2000.0f));
    }
    NodeDrawing drawing;

    Image Draw(const std::function<void()>& draw) {
        device->Clear(kBackground, 1.0f, 0);
        draw();
        return device->ReadBackBuffer();
    }

    // Pixels that differ by more than `tolerance` in some channel, and those
    // that are not the background in `a`.
    static std::pair<int, int> Compare(const Image& a, const Image& b, int tolerance) {
        int differ = 0, drawn = 0;
        for (std::size_t i = 0; i < a.pixels.size(); ++i) {
            if (a.pixels[i] != kBackground) ++drawn;
            for (int shift = 0; shift < 24; shift += 8) {
                const int ca = static_cast<int>(a.pixels[i] >> shift & 0xFF);
                const int cb = static_cast<int>(b.pixels[i] >> shift & 0xFF);
                if (std::abs(ca - cb) > tolerance) {
                    ++differ;
                    break;
                }
            }
        }
        return {differ, drawn};
    }

    void DrawOneByOne(const Mesh& mesh, const std::vector<MeshInstance>& instances,
                      const std::vector<Material>& materials) {
        const Matrix world = device->GetTransform(TransformType::World);
        for (const MeshInstance& instance : instances) {
            const Vector3& o = instance.offset;
            device->SetTransform(TransformType::World,
                                 MatrixMultiply(MatrixTranslation(o.x, o.y, o.z), world));
            device->SetMaterial(materials[instance.material]);
            device->DrawMeshSubset(mesh, 0);
        }
        device->SetTransform(TransformType::World, world);
    }

    static Material Coloured(float r, float g, float b) {
        Material m;
        m.Diffuse = m.Ambient = {r, g, b, 1.0f};
        return m;
    }

    GlDevice* device = nullptr;
};

// A row of overlapping cubes in colours inside and outside [0, 1]: the
// device clamps the lit colour, not the material, whichever way it is drawn.
std::vector<MeshInstance> Row(int count) {
    std::vector<MeshInstance> row;
    for (int i = 0; i < count; ++i) {
        row.push_back({{-4.0f + 0.7f * static_cast<float>(i), -20.0f + 0.3f * static_cast<float>(i % 3),
                        0.4f * static_cast<float>(i % 4)},
                       static_cast<std::uint32_t>(i % 4)});
    }
    return row;
}

TEST_F(GlDeviceTest, InstancesGiveThePixelsOfOneDrawEach) {
    const std::vector<Material> materials = {Coloured(0.9f, 0.2f, 0.4f), Coloured(2.0f, -1.0f, 0.5f),
                                             Coloured(0.0f, 0.0f, 0.0f), Coloured(0.3f, 1.5f, 3.0f)};
    const std::vector<MeshInstance> row = Row(12);
    const Mesh& cube = *drawing.NodeMesh();
    const Image one = Draw([&] { DrawOneByOne(cube, row, materials); });
    const Image batch = Draw([&] { device->DrawMeshInstances(cube, 0, row, materials); });
    // Back faces left out: the same cubes.
    const Image culled = Draw([&] {
        device->SetRenderState(RenderState::CullMode, kCullCounterClockwise);
        device->DrawMeshInstances(cube, 0, row, materials);
        device->SetRenderState(RenderState::CullMode, kCullNone);
    });
    const auto [differ, drawn] = Compare(one, batch, 1);
    EXPECT_GT(drawn, 1000) << differ;
    // Vertices placed a rounding error apart may move an edge by a pixel.
    EXPECT_LE(differ, drawn / 200) << differ << " of " << drawn;
    const int culledDiffer = Compare(one, culled, 1).first;
    EXPECT_LE(culledDiffer, drawn / 200) << culledDiffer;
}

// Materials that differ in more than their colour cannot share one draw; the
// device then draws them one by one, and the picture is the same.
TEST_F(GlDeviceTest, MaterialsBeyondOneColourStillGiveThePixelsOfOneDrawEach) {
    std::vector<Material> materials = {Coloured(0.9f, 0.2f, 0.4f), Coloured(0.2f, 0.5f, 0.9f)};
    materials[1].Emissive = {0.3f, 0.0f, 0.0f, 0.0f};
    materials[0].Ambient = {0.0f, 1.0f, 0.0f, 1.0f};
    std::vector<MeshInstance> row = Row(8);
    for (MeshInstance& instance : row) instance.material %= 2;
    const Mesh& cube = *drawing.NodeMesh();
    const Image one = Draw([&] { DrawOneByOne(cube, row, materials); });
    const Image batch = Draw([&] { device->DrawMeshInstances(cube, 0, row, materials); });
    const auto [differ, drawn] = Compare(one, batch, 0);
    EXPECT_GT(drawn, 500) << differ;
    EXPECT_EQ(differ, 0);
}

TEST_F(GlDeviceTest, ALineListDrawsWhatItsLinesDrawOneByOne) {
    std::vector<ColorVertex> lines;
    for (int i = 0; i < 40; ++i) {
        const float t = static_cast<float>(i) * 0.3f;
        lines.push_back({-6.0f + t, -24.0f, -3.0f + t * 0.5f, 0xFFFFFFFF});
        lines.push_back({-2.0f + t * 0.7f, -18.0f + t * 0.2f, 4.0f - t, i % 2 ? 0xFFFF0000u : 0xFFFFFFFFu});
    }
    const Image one = Draw([&] {
        for (std::size_t i = 0; i < lines.size(); i += 2) {
            device->DrawLineList(std::span<const ColorVertex>(&lines[i], 2));
        }
    });
    const Image list = Draw([&] { device->DrawLineList(lines); });
    const auto [differ, drawn] = Compare(one, list, 0);
    EXPECT_GT(drawn, 500) << differ;
    EXPECT_EQ(differ, 0);
}

// The world's shadows (the outline, once) against RenderShadow's (the
// flattened cube, twice), overlapping one another on a floor-grey ground.
TEST_F(GlDeviceTest, OutlineShadowsDarkenAsTheFlattenedCubesDid) {
    std::vector<std::unique_ptr<TNode>> nodes;
    NodeBatch batch;
    for (const MeshInstance& instance : Row(10)) {
        nodes.push_back(std::make_unique<TNode>(nullptr, static_cast<std::int32_t>(nodes.size())));
        nodes.back()->pos =
            instance.offset + Vector3{0.0f, 3.0f * static_cast<float>(nodes.size() % 3), 0.0f};
        batch.Add(*nodes.back());
    }
    const Image single = Draw([&] {
        for (auto& node : nodes) {
            node->Render(*device, drawing);
            node->RenderShadow(*device, drawing);
        }
    });
    const Image batched = Draw([&] { batch.Draw(*device, drawing); });
    // Blending once by 0.4375 and twice by 0.25 round apart by one step at most.
    const auto [differ, drawn] = Compare(single, batched, 1);
    EXPECT_GT(drawn, 1000) << differ;
    EXPECT_LE(differ, drawn / 200) << differ << " of " << drawn;
}

}  // namespace
}  // namespace qm
