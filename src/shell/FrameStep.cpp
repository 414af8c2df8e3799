#include "shell/FrameStep.h"

#include <cstdio>
#include <ctime>
#include <optional>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/RunContext.h"
#include "shell/FrameCapture.h"
#include "shell/ReplayDriver.h"
#include "shell/Shell.h"
#include "shell/WindowOutputs.h"
#include "world/NodeManager.h"

namespace qm {

namespace {

void Quit(Shell& shell) { shell.services->PostQuit(0); }

// The camera and the user's commands, from this frame's input. False when a
// reload failed: that ends the run.
bool HandleInput(Shell& shell, const MouseState& mouse, const KeyboardState& keys) {
    ShellState& s = shell.state;
    Camera& camera = *shell.camera;
    PTester& tester = *shell.tester;
    Device& device = *shell.device;

    if (mouse.rgbButtons[0] & kKeyDown) {
        s.turnX = static_cast<float>(mouse.lX) * kTurnPerMouseUnit;
        s.turnY = static_cast<float>(mouse.lY) * kTurnPerMouseUnit;
    }
    if (IsHeld(keys, kDikLShift)) {
        camera.PanRight(s.turnX * 3.0f);
        camera.PanUp(s.turnY * 3.0f);
    } else if (IsHeld(keys, kDikRShift)) {
        camera.Orbit(s.turnY, s.turnX);
    } else {
        camera.Turn(s.turnY, s.turnX);
    }

    if (IsHeld(keys, kDikF)) s.dollyStep = kDollyPerFrame;
    if (IsHeld(keys, kDikB)) s.dollyStep = -kDollyPerFrame;

    if (IsHeld(keys, kDikSpace) || s.resetRequested) {
        s.resetRequested = false;
        if (!shell.Reset(s.droppedFileName)) return false;
    }
    if (IsHeld(keys, kDikEscape)) {
        tester.Halt();
        Quit(shell);
    }
    if (IsHeld(keys, kDikC)) camera.CenterOn(tester.GetCentroid());

    tester.MouseMove(device, s.pointerX, s.pointerY);

    if (s.pickArmed) {
        const int key = IsHeld(keys, kDikK) ? kKillKey : IsHeld(keys, kDikS) ? kSelectKey : 0;
        if (key != 0) {
            // The driver picks in a 640 x 480 frame whatever the window's size.
            s.pointerX =
                static_cast<std::int32_t>(s.pointerX / static_cast<double>(s.windowWidth) * kPickWidth);
            s.pointerY =
                static_cast<std::int32_t>(s.pointerY / static_cast<double>(s.windowHeight) * kPickHeight);
            tester.Click(device, s.pointerX, s.pointerY, key);
            s.pickArmed = false;
        }
    }
    camera.Dolly(s.dollyStep);
    return true;
}

// A failed reload (a dropped file or a changed "source.txt" that is no gene)
// ends the application; the caller then skips the world steps.
bool RunCommands(Shell& shell, const MouseState& mouse, const KeyboardState& keys) {
    if (HandleInput(shell, mouse, keys)) return true;
    Quit(shell);
    return false;
}

// An error of a step ends the application. The frame carries on to its
// drawing decision either way.
// The user asked to quit in the middle of the frame's steps (the close
// button, or Escape, perhaps only tapped): as Escape does, halt and quit.
void QuitAtOnce(Shell& shell) {
    shell.tester->Halt();
    Quit(shell);
}

void RunWorldSteps(Shell& shell) {
    TextLines& lines = shell.ShownContext().textLines;
    lines.Clear();
    const std::vector<NodeManager*>& worlds = shell.tester->Worlds();
    const bool running = !worlds.empty() && worlds[0]->IsRunning();
    // Only the lines added by the last step of the frame stay.
    for (std::int32_t i = 0; i < shell.state.stepsPerFrame; ++i) {
        if (i == shell.state.stepsPerFrame - 1) lines.Clear();
        if (!shell.Step()) {
            if (shell.Outcome().kind == RunOutcome::Kind::Interrupted) {
                QuitAtOnce(shell);
            } else {
                Quit(shell);
            }
            return;
        }
        if (running) {
            ++shell.readout.steps;
            ++shell.state.stepsRun;
        }
        // A user quitting is answered now, not after the rest of the frame's steps.
        if (i + 1 < shell.state.stepsPerFrame && shell.services->QuitPending()) {
            QuitAtOnce(shell);
            return;
        }
    }
}

// Says a line on standard error, as the window's own messages go.
void Say(const std::string& line) {
    std::fprintf(stderr, "quillmoth: %s\n", line.c_str());
    std::fflush(stderr);
}

// P: the name of the screenshot to save, in the working folder; nothing, and
// the reason said, when it cannot be written there (no frame is drawn for it).
std::optional<std::string> ScreenshotToSave() {
    std::string name = ScreenshotName(std::time(nullptr));
    if (auto why = CannotWrite(name)) {
        Say("cannot save the screenshot " + Printable(FullPath(name), 400) + ": " + *why);
        return std::nullopt;
    }
    return name;
}

// The frame just drawn, saved under `name`. Its full path, or why it failed,
// goes to standard error; the run goes on either way.
void SaveScreenshot(const Device& device, const std::string& name) {
    std::string why;
    const std::string shown = Printable(FullPath(name), 400);
    Say(SaveFrame(device, name, why) ? "screenshot saved as " + shown
                                     : "cannot save the screenshot " + shown + ": " + why);
}

// Turns the counts into rates once a second has passed.
void UpdateReadout(Readout& readout, std::uint32_t now) {
    const std::uint32_t elapsed = now - readout.since;
    if (elapsed < 1000) return;
    const float seconds = static_cast<float>(elapsed) * 0.001f;
    readout.framesPerSecond = static_cast<float>(readout.frames) / seconds;
    readout.stepsPerSecond = static_cast<float>(readout.steps) / seconds;
    readout.frames = 0;
    readout.steps = 0;
    readout.since = now;
}

}  // namespace

void SetFrameState(Shell& shell) {
    shell.camera->Apply(*shell.device);
    shell.device->SetLight(0, shell.light);
    shell.device->LightEnable(0, true);
    shell.device->SetRenderState(RenderState::Lighting, 1);
}

void DrawFrame(Shell& shell, const std::function<void()>& beforePresent) {
    Device& device = *shell.device;
    RunContext& shown = shell.ShownContext();
    try {
        device.Clear(kClearColor, 1.0f, 0);
        if (device.BeginScene()) {
            shell.sky->Draw(device);
            shell.floor->Draw(device);
            shell.tester->Render(device, shell.nodeDrawing);
            shell.goal->Draw(device);
            if (shell.state.stepsPerFrame >= 2)
                shown.textLines.Add(FormatString("X %d", shell.state.stepsPerFrame));
            DrawTextLines(*shell.font, shown.textLines.Lines());
            std::size_t line = shown.textLines.Lines().size();
            if (shell.readout.shown)
                DrawTextLine(*shell.font, line++, ReadoutText(shell.readout, *shell.tester));
            if (shell.state.overlayShown && shell.run) {
                for (const std::string& text : OverlayLines(*shell.run))
                    DrawTextLine(*shell.font, line++, text);
            }
            device.EndScene();
        }
        if (beforePresent) beforePresent();
        if (!device.Present()) {
            shown.diagnostics.DebugPrint("Reset!\n");
            device.Reset();
        }
        ++shell.readout.frames;
        ++shell.state.framesDrawn;
    } catch (const ErrorCode&) {
        shell.state.drawFailed = true;
        Quit(shell);
    } catch (const ErrorText& e) {
        // A world that cannot be drawn ends the program like one that cannot step.
        shell.Fail(e.text);
        Quit(shell);
    }
}

void DrawTextLine(Font& font, std::size_t index, const std::string& line) {
    Rect rect{10, 20 * static_cast<std::int32_t>(index), 0, 0};
    font.DrawText(line, rect, kDtCalcRect, 0);
    font.DrawText(line, rect, kDtBottom, kTextColor);
}

void DrawTextLines(Font& font, const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) DrawTextLine(font, i, lines[i]);
}

std::vector<std::string> OverlayLines(const Run& run) {
    const Frame frame = run.View(Frame::Detail::kFigures);
    std::vector<std::string> lines{
        FormatString("step %lld, %d nodes", frame.step, static_cast<int>(frame.nodes)),
        FormatString("seed %u, gene %s", run.Seed(), Printable(run.GeneFileName(), 80).c_str())};
    if (run.Paused() && !run.Ended()) lines.emplace_back("paused (Enter goes on)");
    return lines;
}

std::string ReadoutText(const Readout& readout, const PTester& tester) {
    long long nodes = 0, links = 0;
    for (const NodeManager* world : tester.Worlds()) {
        nodes += world->GetNodeCount();
        links += static_cast<long long>(world->Links().Size());
    }
    if (const auto* replay = dynamic_cast<const ReplayDriver*>(&tester)) {  // no worlds: the step on show
        nodes = static_cast<long long>(replay->Frame().nodes.size());
        links = static_cast<long long>(replay->Frame().links.size());
    }
    return FormatString("%.1f fps, %.1f steps/s, %lld nodes, %lld links",
                        static_cast<double>(readout.framesPerSecond),
                        static_cast<double>(readout.stepsPerSecond), nodes, links);
}

void FrameStep(Shell& shell) {
    ShellState& s = shell.state;
    if (!shell.tester) return;  // the driver failed to start; the quit request is on its way

    s.turnX = 0.0f;
    s.turnY = 0.0f;
    s.dollyStep = 0.0f;

    const std::uint32_t now = shell.services->Milliseconds();
    if (s.firstFrame) {
        s.firstFrame = false;
        s.lastFrameTime = now - 1;
        s.framesSinceDraw = 0;
        shell.readout.since = now;
    }
    UpdateReadout(shell.readout, now);
    ++s.framesSinceDraw;
    const std::uint32_t interval = now - s.lastFrameTime;
    s.lastFrameTime = now;
    s.frameRate = static_cast<float>(1.0 / (interval * 0.001));

    MouseState mouse;
    KeyboardState keys{};
    const bool mouseRead = shell.input->ReadMouse(mouse);
    const bool keysRead = shell.input->ReadKeyboard(keys);
    bool commandsDone = true;
    if (mouseRead && keysRead) {
        commandsDone = RunCommands(shell, mouse, keys);
    } else {
        shell.input->Acquire();
    }

    SetFrameState(shell);

    // F5 saves the world as it stands between two steps.
    if (s.checkpointRequested) {
        s.checkpointRequested = false;
        Say(SaveLiveCheckpoint(shell));
    }
    if (commandsDone) RunWorldSteps(shell);

    // Draw when the frames since the last drawing cover the last interval in
    // 33 1/3 ms units: slow frames spend their time on simulation steps. A
    // screenshot asked for is drawn at once.
    std::optional<std::string> shot;
    if (s.screenshotRequested) {
        shot = ScreenshotToSave();
        if (!shot) s.screenshotRequested = false;
    }
    const bool screenshot = shot.has_value();
    if (!screenshot && static_cast<float>(s.framesSinceDraw) < 30.0 / s.frameRate) return;
    s.framesSinceDraw = 1;
    if (!shell.tester->IsDrawEnabled()) return;
    // A step cut short for a quitting user leaves nothing worth drawing.
    if (shell.Outcome().kind == RunOutcome::Kind::Interrupted) return;
    s.screenshotRequested = false;
    if (!screenshot) {
        DrawFrame(shell);
        return;
    }
    DrawFrame(shell, [&shell, &shot] { SaveScreenshot(*shell.device, *shot); });
}

}  // namespace qm
