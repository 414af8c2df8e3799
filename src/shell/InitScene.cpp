#include "shell/InitScene.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "experiment/SourceTester.h"
#include "node/NodeDrawing.h"
#include "platform/GlDevice.h"
#include "platform/SdlWindow.h"
#include "platform/TtfFont.h"
#include "render/SceneLight.h"
#include "shell/Shell.h"
#include "world/NodeManager.h"

namespace qm {

namespace {

constexpr int kFontHeight = 28;

// The device fallbacks: an accelerated context first, asked for in two ways,
// then any context, the software rasteriser included. A machine without
// acceleration writes the two retry texts (debug text: shown with --debug) and
// goes on with the last kind.
// `why` gets the reason the last kind failed.
std::unique_ptr<GlDevice> CreateDevice(SdlWindow* window, const Diagnostics& diagnostics, std::string& why) {
    if (auto device = GlDevice::Create(window->Handle(), DeviceKind::HardwareMixed, &why)) return device;
    diagnostics.DetailPrint(
        "ミックス頂点処理モードでDIRECT3Dデバイスの作成に失敗しました\nソフトウエアによる頂点処理で再試行しま"
        "す\n");
    if (auto device = GlDevice::Create(window->Handle(), DeviceKind::HardwareSoftware, &why)) return device;
    diagnostics.DetailPrint("HALモードでDIRECT3Dデバイスを作成できません\nREFモードで再試行します\n");
    return GlDevice::Create(window->Handle(), DeviceKind::Reference, &why);
}

void Say(std::string* why, std::string text) {
    if (why) *why = std::move(text);
}

}  // namespace

std::string UnreadableReason(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return std::strerror(errno);
    std::fclose(file);
    return {};
}

std::string FindArtFolder(const std::string& dataDir, std::filesystem::path program) {
    if (!dataDir.empty()) return dataDir.back() == '/' ? dataDir : dataDir + "/";
    std::error_code error;
    if (std::filesystem::exists("floor.bmp", error)) return "";
    if (program.empty()) program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || program.empty()) return "";
    const std::filesystem::path prefix = program.parent_path().parent_path();
    for (const std::filesystem::path& folder : {prefix / "share" / "quillmoth", prefix / "data"}) {
        if (std::filesystem::exists(folder / "floor.bmp", error)) return folder.string() + "/";
    }
    return "";
}

Vector3 GoalMarkerPosition(const Vector3& goal) { return {goal.x, goal.y + 10.0f, goal.z}; }

std::unique_ptr<PTester> MakeSourceTester(RunContext& context, const std::string& geneFile) {
    return std::make_unique<SourceTester>(context, geneFile);
}

void StartDriver(Shell& shell, const DriverFactory& makeDriver) {
    // The window draws the driver it set up and hands it the keys and the mouse.
    PTester* setUp = nullptr;
    const auto setup = [&](PTester& driver) {
        driver.Setup(*shell.device);
        setUp = &driver;
    };
    if (shell.run) {
        shell.tester = shell.run->Start(setup, makeDriver) ? setUp : nullptr;
    } else if (shell.replay) {
        shell.replay = shell.replayGuard.Adopt(std::move(shell.replay), setup);
        shell.tester = shell.replay.get();
    }
    if (!shell.tester) {
        shell.services->PostQuit(0);
        return;
    }
    // A user who quits need not wait for the end of a long step.
    ShellServices* services = shell.services;
    for (NodeManager* world : shell.tester->Worlds()) {
        world->SetInterruptCheck([services] { return services->QuitPending(); });
    }
}

void BuildScene(Shell& shell, const DriverFactory& makeDriver) {
    Device& device = *shell.device;
    shell.nodeDrawing.Init(device);
    shell.light = MakeSceneLight();
    SetRenderStates(device);
    StartDriver(shell, makeDriver);

    shell.camera = std::make_unique<Camera>();
    shell.camera->SetAspect(static_cast<float>(shell.state.windowWidth) /
                            static_cast<float>(shell.state.windowHeight));
    shell.camera->Dolly(-1.0f);

    shell.floor = std::make_unique<Floor>(device, shell.context.diagnostics, shell.artFolder);
    shell.goal = std::make_unique<Goal>(device, shell.context.diagnostics, shell.artFolder);
    shell.goal->SetPosition(GoalMarkerPosition(shell.run ? shell.run->Goal() : shell.goalShown));
    shell.nodeDrawing.InitShadow(shell.light.Direction);
    shell.sky = std::make_unique<Sky>(device, shell.context.diagnostics, shell.artFolder);
}

std::int32_t InitScene(Shell& shell, SdlWindow* window, const DriverFactory& makeDriver, std::string* why) {
    shell.graphics = GlLibrary::Load(window ? window->Handle() : nullptr);
    if (!shell.graphics) {
        const std::string reason = window ? SdlWindow::LastError() : "there is no window";
        ShowMessageBox("Direct3Dの作成に失敗しました", "");
        Say(why, "cannot load the OpenGL library: " + reason);
        return kEFail;
    }
    std::string reason;
    std::unique_ptr<GlDevice> device = CreateDevice(window, shell.context.diagnostics, reason);
    if (!device) {
        ShowMessageBox("DIRECT3Dデバイスの作成に失敗しました", nullptr);
        Say(why, "cannot make an OpenGL 2.1 context: " + reason);
        return kEFail;
    }
    GlDevice& glDevice = *device;
    shell.device = std::move(device);
    shell.font = TtfFont::Create(glDevice, "tahoma", kFontHeight, &reason);
    if (!shell.font) {
        Say(why, "cannot load a font: " + reason);
        return kEFail;
    }

    // The node mesh and the scene objects have no handler of their own: say
    // which one failed, then start-up fails like a missing device.
    try {
        BuildScene(shell, makeDriver);
    } catch (const ErrorCode& e) {
        const char* what = !shell.floor ? "the floor" : !shell.goal ? "the goal mesh (goal.x)" : "the sky";
        shell.context.diagnostics.DebugPrint("InitScene: %s could not be built\n",
                                             shell.camera ? what : "the node mesh");
        std::string failed = std::string("cannot build ") + (shell.camera ? what : "the node mesh");
        const std::string mesh = shell.artFolder + "goal.x";
        if (shell.camera && shell.floor && !shell.goal && !UnreadableReason(mesh).empty())
            failed += ": " + UnreadableReason(mesh);
        Say(why, failed);
        return e.code;
    }
    return 0;
}

}  // namespace qm
