#include "shell/VideoFraming.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace qm {

namespace {

// A whole number filling `text`.
bool Whole(std::string_view text, int& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "X,Y,Z", three finite numbers.
bool Point(std::string_view text, Vector3& p) {
    float v[3];
    for (int i = 0; i < 3; ++i) {
        const std::size_t comma = i < 2 ? text.find(',') : text.size();
        if (comma == std::string_view::npos) return false;
        const std::string_view part = text.substr(0, comma);
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), v[i]);
        if (error != std::errc() || end != part.data() + part.size() || !std::isfinite(v[i])) return false;
        text.remove_prefix(i < 2 ? comma + 1 : comma);
    }
    p = {v[0], v[1], v[2]};
    return true;
}

}  // namespace

bool ParseVideoSize(const std::string& text, VideoFraming& framing, std::string& why) {
    const std::size_t x = text.find('x');
    int w = 0, h = 0;
    if (x == std::string::npos || !Whole(std::string_view(text).substr(0, x), w) ||
        !Whole(std::string_view(text).substr(x + 1), h)) {
        why = "--video-size takes WIDTHxHEIGHT, such as 1280x720, not '" + text + "'";
        return false;
    }
    if (w < 16 || h < 16 || w > 7680 || h > 7680 || w % 2 || h % 2) {
        why = "--video-size: width and height are even numbers from 16 to 7680, not " + text;
        return false;
    }
    framing.width = w;
    framing.height = h;
    return true;
}

bool ParseVideoCamera(const std::string& text, VideoFraming& framing, std::string& why) {
    if (text == "follow" || text == "orbit") {
        framing.camera = text == "follow" ? VideoFraming::Camera::Follow : VideoFraming::Camera::Orbit;
        return true;
    }
    const std::size_t at = text.find('@');
    Vector3 eye, target;
    if (at == std::string::npos || !Point(std::string_view(text).substr(0, at), eye) ||
        !Point(std::string_view(text).substr(at + 1), target)) {
        why = "--video-camera takes follow, orbit or EYE@TARGET (EX,EY,EZ@TX,TY,TZ), not '" + text + "'";
        return false;
    }
    const Vector3 d = target - eye;
    if (d.x == 0.0f && d.y == 0.0f && d.z == 0.0f) {
        why = "--video-camera: the eye and the point it looks at are one point";
        return false;
    }
    if (d.x == 0.0f && d.z == 0.0f) {
        why =
            "--video-camera: a camera looking straight up or down has no up; move the eye sideways a little";
        return false;
    }
    framing.camera = VideoFraming::Camera::Fixed;
    framing.eye = eye;
    framing.at = target;
    return true;
}

}  // namespace qm
