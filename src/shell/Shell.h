#pragma once
// The shell's one process-wide record: the state the window messages and the
// frames share, and every object the shell owns for the whole run (the
// graphics object, device, font and light, the camera and scene objects, the
// run or replay on show and the input devices).
//
// Everything the frame needs from the desktop comes through ShellServices and
// InputDevices, so the frame and the window procedure run in tests against
// recording and scripted stand-ins.

#include <cstdint>
#include <memory>
#include <string>

#include "api/Run.h"
#include "base/RunContext.h"
#include "device/Device.h"
#include "device/Font.h"
#include "experiment/PTester.h"
#include "experiment/RunGuard.h"
#include "node/NodeDrawing.h"
#include "platform/InputDevices.h"
#include "record/TraceWriter.h"
#include "render/Camera.h"
#include "render/Floor.h"
#include "render/Goal.h"
#include "render/Sky.h"
#include "world/NodeManager.h"

namespace qm {

struct ShellState {
    std::int32_t windowWidth = 640;  // outer size, frame included
    std::int32_t windowHeight = 480;
    std::int32_t stepsPerFrame = 1;  // never below 1
    std::int32_t pointerX = 0;       // client pixels; a pick stores its converted position here
    std::int32_t pointerY = 0;
    bool pickArmed = false;       // left button down and no pick made yet
    bool resetRequested = false;  // a file was dropped
    std::string droppedFileName;
    std::uint32_t lastFrameTime = 0;  // milliseconds
    float frameRate = 0.0f;           // 1 / last frame interval in seconds
    std::uint32_t framesSinceDraw = 0;
    float turnX = 0.0f;  // this frame's camera turn, radians
    float turnY = 0.0f;
    float dollyStep = 0.0f;
    bool firstFrame = true;
    bool drawFailed = false;           // drawing raised an error code: the run ends as a failure
    std::uint64_t stepsRun = 0;        // world steps run by frames while the world was not paused
    std::uint64_t framesDrawn = 0;     // frames drawn and presented
    bool replaying = false;            // the driver plays a trace: Up and Down set its speed
    bool screenshotRequested = false;  // P was released: the next frame is drawn and saved
    bool checkpointRequested = false;  // F5 was released: the live run is saved before the next steps
    // F2: the live run's step, nodes, seed, gene file and pause, under the
    // other lines. Hidden in benchmarks, which draw nothing but the scene.
    bool overlayShown = true;
};

// The readout line (--show-fps, F1): frames drawn and world steps run, counted
// over about a second and turned into rates when the second is over.
struct Readout {
    bool shown = false;
    std::uint32_t since = 0;  // milliseconds, start of the count
    int frames = 0;
    int steps = 0;
    float framesPerSecond = 0.0f;
    float stepsPerSecond = 0.0f;
};

// The desktop as the shell uses it.
class ShellServices {
  public:
    virtual ~ShellServices() = default;
    // The millisecond clock; wraps around after 2^32 ms.
    virtual std::uint32_t Milliseconds() = 0;
    // Asks the message pump to end with this exit code once it gets there.
    virtual void PostQuit(int exitCode) = 0;
    // Keeps the mouse reporting to the window while a button is held outside it.
    virtual void SetCapture(bool capture) = 0;
    // The window's outer rectangle, frame included.
    virtual Rect WindowRect() = 0;
    // Whether the user is asking to quit (the close button, Escape), asked
    // between the steps of a frame and within a long step.
    virtual bool QuitPending() = 0;
};

struct Shell {
    ShellState state;
    Readout readout;
    ShellServices* services = nullptr;
    std::string artFolder;  // where floor.bmp and the others are: "" or ending in "/"
    // The goal the marker shows when no live run says where its goal is: a
    // replay's (its trace's, or --goal's).
    Vector3 goalShown = NodeManager::kDefaultGoal;

    std::unique_ptr<GraphicsObject> graphics;
    std::unique_ptr<Device> device;
    std::unique_ptr<Font> font;
    Light light;
    // The cube, the shadow and the batches every node and link is drawn with, for this device.
    NodeDrawing nodeDrawing;
    // The window's own: its debug text (at the level of --debug) and error
    // log, which a live run's are copied from when it is made, and the text
    // lines of a replay.
    RunContext context;
    // What is on show: a live run of the engine, made before start-up (new
    // or resumed from a checkpoint) and started by it; or a replay, which
    // plays a trace and is no run of the engine, with the guard it steps under.
    std::unique_ptr<Run> run;
    std::unique_ptr<PTester> replay;
    RunGuard replayGuard{context};
    // The driver on show once it has started (the run's or the replay): what
    // the frame draws, picks with and sends the keys to. Null before, or
    // when it failed to start.
    PTester* tester = nullptr;
    std::unique_ptr<Camera> camera;
    std::unique_ptr<Floor> floor;
    std::unique_ptr<Goal> goal;
    std::unique_ptr<Sky> sky;
    std::unique_ptr<InputDevices> input;
    // The live run's trace (--trace): every step it makes is written to it.
    std::unique_ptr<record::TraceWriter> trace;

    // The context of what is on show: the text lines drawn, where its debug
    // text and error log go. A run's driver runs on the run's own context; a
    // run whose start failed has the window's error log.
    RunContext& ShownContext() { return tester ? tester->Context() : context; }
    // One step of what is on show, under its guard. False when that ended it.
    bool Step();
    // The user's reload (a held Space, a dropped file). False when that ended it.
    bool Reset(const std::string& name);
    // Ends what is on show with an error of its drawing, logged.
    void Fail(const std::string& text);
    // How what is on show ended, or Running.
    RunOutcome Outcome() const { return run ? run->Outcome() : replayGuard.Outcome(); }
    bool Ended() const { return Outcome().kind != RunOutcome::Kind::Running; }
};

}  // namespace qm
