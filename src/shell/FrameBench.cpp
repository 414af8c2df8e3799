#include "shell/FrameBench.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "base/Diagnostics.h"
#include "platform/GlDevice.h"
#include "platform/SdlWindow.h"
#include "shell/FrameStep.h"
#include "shell/Shell.h"
#include "shell/WndProc.h"
#include "world/NodeManager.h"

namespace qm {

namespace {

constexpr float kLookDown = 0.5f;  // radians below the start view, about 29 degrees

}  // namespace

std::string FrameBenchJson(const FrameBenchResult& r) {
    const double fps = r.seconds > 0.0 ? r.frames / r.seconds : 0.0;
    return FormatString(R"({"frames":%d,"seconds":%.4f,"fps":%.2f,"nodes":%lld,"links":%lld})", r.frames,
                        r.seconds, fps, r.nodes, r.links);
}

void FrameTheCreature(Camera& camera, const NodeManager& world) {
    const Vector3 centre = world.GetCentroid();
    float radius = 1.0f;
    for (const auto& [id, node] : world.NodeMap()) radius = std::max(radius, Vec3Length(node->pos - centre));
    camera.Turn(kLookDown, 0.0f);
    // The bounding sphere fits the vertical field of view at this distance.
    const float distance = std::max(radius / std::sin(camera.fieldOfView * 0.5f), 20.0f);
    camera.eye = centre - (distance / Vec3Length(camera.direction)) * camera.direction;
}

bool RunFrameBench(Shell& shell, int frames, const std::string& screenshot, FrameBenchResult& result,
                   std::string& why) {
    // Measure the drawing, not the display's refresh rate.
    auto* gl = dynamic_cast<GlDevice*>(shell.device.get());
    if (gl) gl->SetSwapInterval(0);

    const NodeManager& world = *shell.tester->Worlds().at(0);
    FrameTheCreature(*shell.camera, world);
    result.nodes = world.GetNodeCount();
    result.links = static_cast<long long>(world.Links().Size());

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames && !shell.state.drawFailed && !shell.Ended(); ++i) {
        SetFrameState(shell);
        DrawFrame(shell);
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.frames = frames;
    if (shell.state.drawFailed || shell.Ended()) {
        why = "drawing the scene failed";
        return false;
    }

    if (screenshot.empty()) return true;
    if (!gl) {
        why = "screenshots need the OpenGL device";
        return false;
    }
    bool saved = false;
    SetFrameState(shell);
    DrawFrame(shell, [&] { saved = gl->SaveBackBuffer(screenshot, &why); });
    if (!saved) why = "cannot write the screenshot " + Printable(screenshot, 400) + ": " + why;
    return saved;
}

std::string StepBenchJson(const StepBenchResult& r) {
    const double rate = r.seconds > 0.0 ? static_cast<double>(r.steps) / r.seconds : 0.0;
    return FormatString(
        R"({"steps":%lld,"seconds":%.4f,"steps_per_second":%.2f,"frames_drawn":%lld,"nodes":%lld,"links":%lld})",
        r.steps, r.seconds, rate, r.frames, r.nodes, r.links);
}

bool RunStepBench(Shell& shell, SdlWindow& window, int steps, StepBenchResult& result, std::string& why) {
    auto* gl = dynamic_cast<GlDevice*>(shell.device.get());
    if (gl) gl->SetSwapInterval(0);
    FrameTheCreature(*shell.camera, *shell.tester->Worlds().at(0));

    const std::uint64_t stepsBefore = shell.state.stepsRun;
    const std::uint64_t framesBefore = shell.state.framesDrawn;
    const auto start = std::chrono::steady_clock::now();
    WindowMessage message;
    while (shell.state.stepsRun - stepsBefore < static_cast<std::uint64_t>(steps)) {
        if (window.PeekMessage(message)) {
            if (message.type == WindowMessage::Type::Quit) {
                why = "the run ended before the benchmark's steps";
                return false;
            }
            WndProc(shell, message);
        } else {
            FrameStep(shell);
        }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.steps = static_cast<long long>(shell.state.stepsRun - stepsBefore);
    result.frames = static_cast<long long>(shell.state.framesDrawn - framesBefore);
    const NodeManager& world = *shell.tester->Worlds().at(0);
    result.nodes = world.GetNodeCount();
    result.links = static_cast<long long>(world.Links().Size());
    return true;
}

}  // namespace qm
