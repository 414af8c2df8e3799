// The scene start-up after the device and font exist, on the recording device:
// its steps in order, and the start-up guard around the experiment driver.

#include <algorithm>

#include <gtest/gtest.h>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "node/NodeDrawing.h"
#include "shell/InitScene.h"
#include "support/DebugCapture.h"
#include "support/SceneTestSupport.h"
#include "support/TestFiles.h"
#include "support/WorldFixture.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

using test::FakeServices;
using test::kArtFiles;
using test::ScratchFolder;

struct StartUp {
    explicit StartUp(std::initializer_list<const char*> files) : folder(files) {
        shell.services = &services;
        auto recording = std::make_unique<RecordingDevice>();
        device = recording.get();
        shell.device = std::move(recording);
        shell.font = std::make_unique<RecordingFont>();
        test::MakeRun(shell);
    }
    ScratchFolder folder;
    FakeServices services;
    RecordingDevice* device;
    Shell shell;
    test::DebugCapture debug{shell.context.diagnostics};
};

TEST(InitScene, BuildsEverythingInOrder) {
    StartUp s(kArtFiles);
    s.folder.Write("source.txt", "PROG2 ( SETP ( 0 1 ) GDIVIDE ( 0 ) )");
    BuildScene(s.shell);

    // Render states first, before the driver or any scene object touched the device.
    std::vector<std::string> states = s.device->CallsStartingWith("SetRenderState");
    ASSERT_GE(states.size(), 8u);
    EXPECT_EQ(states[0], "SetRenderState ZEnable 0x1");
    EXPECT_EQ(states[7], "SetRenderState DestBlend 0x6");
    EXPECT_EQ(s.device->calls[0], "SetRenderState ZEnable 0x1");

    ASSERT_TRUE(s.shell.tester);
    EXPECT_EQ(s.shell.tester->Worlds().size(), 1u);
    EXPECT_EQ(s.shell.tester->Worlds()[0]->GetNodeCount(), 1);
    EXPECT_TRUE(s.services.quits.empty());

    ASSERT_TRUE(s.shell.camera);
    EXPECT_EQ(s.shell.camera->eye, Vector3(0, 0, -20));
    EXPECT_EQ(s.shell.camera->aspect, 1.3333334f);
    ASSERT_TRUE(s.shell.floor && s.shell.goal && s.shell.sky);
    EXPECT_EQ(s.shell.goal->Position(), Vector3(0.0f, -15.0f, 250.0f));
    EXPECT_NE(s.shell.nodeDrawing.NodeMesh(), nullptr);

    // The shadow set-up used the light: a point above the floor falls onto
    // y = -25.49 along the light's direction.
    const Vector3 p = Vec3TransformCoord({0, 0, 0}, s.shell.nodeDrawing.ShadowMatrix());
    EXPECT_NEAR(p.y, -25.49f, 1e-4f);
    const float t = 25.49f / 0.801784f;
    EXPECT_NEAR(p.x, 0.534522f * t, 1e-3f);
    EXPECT_NEAR(p.z, 0.267261f * t, 1e-3f);
}

TEST(InitScene, UsesTheAspectOfTheWindowSize) {
    StartUp s(kArtFiles);
    s.folder.Write("source.txt", "0");
    s.shell.state.windowWidth = 800;
    s.shell.state.windowHeight = 500;
    BuildScene(s.shell);
    EXPECT_EQ(s.shell.camera->aspect, 1.6f);
}

TEST(InitScene, AMissingGeneIsLoggedAndQuitsButTheSceneIsStillBuilt) {
    StartUp s(kArtFiles);
    BuildScene(s.shell);
    EXPECT_EQ(ReadFile("error.lot.txt"), "GPmanager::GetCode; 不正なコードです\n");
    EXPECT_EQ(s.services.quits, std::vector<int>{0});
    EXPECT_FALSE(s.shell.tester);
    EXPECT_TRUE(s.shell.camera && s.shell.floor && s.shell.goal && s.shell.sky);
    // The log text goes to the debug output too.
    EXPECT_NE(s.debug.Text().find("不正なコードです"), std::string::npos);
}

TEST(InitScene, AnErrorOfInitIsLoggedWithItsSignatureLine) {
    StartUp s(kArtFiles);
    s.folder.Write("source.txt", "0");
    // A driver whose gene file vanishes between construction and Init.
    BuildScene(s.shell, [&](RunContext& context, const std::string& file) {
        auto tester = MakeSourceTester(context, file);
        std::filesystem::remove("source.txt");
        return tester;
    });
    EXPECT_EQ(ReadFile("error.lot.txt"), "PTester::Init()\nGPmanager::GetCode; 不正なコードです\n");
    EXPECT_EQ(s.services.quits, std::vector<int>{0});
    EXPECT_FALSE(s.shell.tester);  // a driver that failed to start is not kept
    EXPECT_TRUE(s.shell.sky);
}

TEST(InitScene, AnErrorCodeFromTheDriverOnlyQuits) {
    StartUp s(kArtFiles);
    BuildScene(s.shell,
               [](RunContext&, const std::string&) -> std::unique_ptr<PTester> { throw ErrorCode{kEFail}; });
    EXPECT_EQ(s.services.quits, std::vector<int>{0});
    EXPECT_FALSE(std::filesystem::exists("error.lot.txt"));
    EXPECT_TRUE(s.shell.sky);
}

TEST(InitScene, AMissingGoalMeshRaisesEFailAfterTheFloor) {
    StartUp s({"floor.bmp", "sky.bmp"});
    s.folder.Write("source.txt", "0");
    try {
        BuildScene(s.shell);
        FAIL() << "no error";
    } catch (const ErrorCode& e) {
        EXPECT_EQ(e.code, kEFail);
    }
    EXPECT_TRUE(s.shell.floor);
    EXPECT_FALSE(s.shell.goal);
    EXPECT_FALSE(s.shell.sky);
}

}  // namespace
}  // namespace qm
