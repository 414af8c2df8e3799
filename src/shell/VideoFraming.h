#pragma once
// How a replay's video is framed: its size and its camera. The camera
// follows the creature from above and behind (the default), stands still at
// one point looking at another, or circles the creature once every 360
// frames (12 s at 30 frames a second).
//
//     --video-size 1280x720 --video-camera follow
//     --video-camera 0,40,-80@0,-25,0    (the eye at 0,40,-80 looking at 0,-25,0)
//     --video-camera orbit

#include <optional>
#include <string>

#include "math/D3dxTypes.h"

namespace qm {

struct VideoFraming {
    enum class Camera { Follow, Fixed, Orbit };
    int width = 640;
    int height = 480;
    Camera camera = Camera::Follow;
    Vector3 eye;  // with Fixed: where the camera stands
    Vector3 at;   // and the point it looks at
};

// "WIDTHxHEIGHT", each 16 to 7680 and even (what video encoders take);
// nothing, with `why`, when it is not that.
bool ParseVideoSize(const std::string& text, VideoFraming& framing, std::string& why);
// "follow", "orbit" or "EX,EY,EZ@TX,TY,TZ" with two different points.
bool ParseVideoCamera(const std::string& text, VideoFraming& framing, std::string& why);

}  // namespace qm
