#pragma once
// One frame: read the clock and the input, move the camera, pass the user's
// commands to the driver, run the world steps, and draw when the throttle
// allows. The message pump calls it whenever no message is waiting.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qm {

struct Shell;
class Font;
class Run;

void FrameStep(Shell& shell);

// What every frame sets before its steps, drawn or not: the camera's view and
// projection, light 0 and lighting on.
void SetFrameState(Shell& shell);

// Draws the scene and presents it: sky, floor, worlds, goal, text lines.
// `beforePresent` runs once the back buffer holds the finished frame. An
// error of the drawing ends the application.
void DrawFrame(Shell& shell, const std::function<void()>& beforePresent = {});

// Draws line i at left 10, top 20 * i: a measuring pass, then the line in
// opaque green in the rectangle measured.
void DrawTextLine(Font& font, std::size_t index, const std::string& line);
void DrawTextLines(Font& font, const std::vector<std::string>& lines);

// The overlay of a live run (F2): its step and node count, seed and gene
// file, and "paused" while Enter holds the world.
std::vector<std::string> OverlayLines(const Run& run);

// The readout line: frames drawn and world steps run per second over the last
// full second, then the nodes and links of the driver's worlds.
std::string ReadoutText(const struct Readout& readout, const class PTester& tester);

// Camera turn per mouse unit: half a degree.
inline constexpr float kTurnPerMouseUnit = 0.008726646f;
// Camera travel per frame with F or B held, in lengths of the view direction.
inline constexpr float kDollyPerFrame = 0.1f;
// The picking frame the pointer is converted to.
inline constexpr double kPickWidth = 640.0;
inline constexpr double kPickHeight = 480.0;
inline constexpr unsigned kTextColor = 0xFF00FF00;
inline constexpr unsigned kClearColor = 0xFFFFFFFF;

}  // namespace qm
