#pragma once
// The frame benchmark (--bench-frames): with the creature grown, draw a
// number of frames with the world paused and report the rate as one JSON
// line, so that drawing can be measured apart from the world step.

#include <string>

namespace qm {

struct Shell;
class Camera;
class NodeManager;
class SdlWindow;

struct FrameBenchResult {
    int frames = 0;
    double seconds = 0.0;
    long long nodes = 0;
    long long links = 0;
};

// {"frames":N,"seconds":S,"fps":F,"nodes":C,"links":L}
std::string FrameBenchJson(const FrameBenchResult& result);

// Looks down on the world's nodes from above and behind, far enough back
// that every node is in view.
void FrameTheCreature(Camera& camera, const NodeManager& world);

// Draws `frames` frames of the shell's scene without stepping the world and
// times them. With `screenshot` set, one more frame is drawn afterwards and
// saved there (BMP). False with the reason in `why` when the drawing or the
// screenshot failed.
bool RunFrameBench(Shell& shell, int frames, const std::string& screenshot, FrameBenchResult& result,
                   std::string& why);

struct StepBenchResult {
    long long steps = 0;
    double seconds = 0.0;
    long long frames = 0;  // of them, the frames drawn
    long long nodes = 0;   // at the end
    long long links = 0;
};

// {"steps":N,"seconds":S,"steps_per_second":F,"frames_drawn":D,"nodes":C,"links":L}
std::string StepBenchJson(const StepBenchResult& result);

// Runs the window as it runs for the user (messages, frames, the drawing
// throttle deciding which frames draw), the camera framed on the creature,
// until the world has made `steps` more steps, and times it. False with the
// reason in `why` when the run ended first.
bool RunStepBench(Shell& shell, SdlWindow& window, int steps, StepBenchResult& result, std::string& why);

}  // namespace qm
