#pragma once
// One frame: read the clock and the input, move the camera, pass the user's
// commands to the driver, run the world steps, and draw when the throttle
// allows. The message pump calls it whenever no message is waiting.

#include <string>
#include <vector>

namespace qm {

struct Shell;
class Font;

void FrameStep(Shell& shell);

// Draws line i at left 10, top 20 * i: a measuring pass, then the line in
// opaque green in the rectangle measured.
void DrawTextLines(Font& font, const std::vector<std::string>& lines);

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
