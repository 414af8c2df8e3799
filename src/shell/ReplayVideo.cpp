#include "shell/ReplayVideo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/Diagnostics.h"
#include "base/RunContext.h"
#include "math/D3dxMath.h"
#include "platform/GlDevice.h"
#include "shell/FrameCapture.h"
#include "shell/FrameStep.h"
#include "shell/ReplayDriver.h"
#include "shell/Shell.h"
#include "shell/VideoEncoder.h"
#include "shell/VideoFraming.h"

namespace qm {

namespace {

// "video [##########----------]  20/40 frames", redrawn in place; a new
// line once the bar is full.
class ProgressBar {
  public:
    explicit ProgressBar(std::size_t total) : total_(total) {}
    void Show(std::size_t done) {
        constexpr int kWidth = 30;
        const int filled = total_ > 0 ? static_cast<int>(done * kWidth / total_) : kWidth;
        if (filled == shown_ && done != total_) return;
        shown_ = filled;
        std::fprintf(stderr, "\rvideo [%s%s] %zu/%zu frames", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, '-').c_str(), done, total_);
        if (done == total_) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

  private:
    std::size_t total_;
    int shown_ = -1;
};

// The camera looks down on the creature from above and behind, as the frame
// benchmark does, and follows its centroid from a fixed distance: far enough
// for every node of the last recorded step (the largest creature, as a rule)
// to be in view, so the picture does not zoom in and out as nodes come and go.
constexpr float kLookDown = 0.5f;  // radians below the start view, about 29 degrees

float FollowDistance(const ReplayDriver& replay, const Camera& camera) {
    float radius = 1.0f;
    for (const record::TraceNode& n : replay.Frame().nodes) {
        const float r = Vec3Length(n.pos - replay.GetCentroid());
        if (std::isfinite(r)) radius = std::max(radius, r);
    }
    return std::max(radius / std::sin(camera.fieldOfView * 0.5f), 20.0f);
}

// Where the orbiting camera is at frame i: a turn every kOrbitFrames frames
// around the creature's centroid, as far and as high as the following camera.
constexpr double kOrbitFrames = 360.0;

void PlaceCamera(Camera& camera, const VideoFraming& framing, const Vector3& centroid, float distance,
                 std::size_t frame) {
    switch (framing.camera) {
        case VideoFraming::Camera::Follow:
            camera.eye = centroid - distance * camera.direction;
            break;
        case VideoFraming::Camera::Fixed:
            camera.eye = framing.eye;
            camera.direction = framing.at - framing.eye;
            break;
        case VideoFraming::Camera::Orbit: {
            const Vector3 behind = distance * camera.direction;  // the follow camera's offset, turned
            const double angle = 2.0 * 3.14159265358979 * static_cast<double>(frame) / kOrbitFrames;
            const auto c = static_cast<float>(std::cos(angle)), s = static_cast<float>(std::sin(angle));
            camera.eye =
                centroid - Vector3{c * behind.x + s * behind.z, behind.y, c * behind.z - s * behind.x};
            camera.direction = centroid - camera.eye;
            break;
        }
    }
}

}  // namespace

bool RecordVideo(Shell& shell, ReplayDriver& replay, VideoEncoder& encoder, const VideoFraming& framing,
                 std::string& why) {
    // Every frame counts; none waits for the display's refresh.
    if (auto* gl = dynamic_cast<GlDevice*>(shell.device.get())) gl->SetSwapInterval(0);
    const std::size_t count = replay.CountSteps();
    Camera& camera = *shell.camera;
    camera.Turn(kLookDown, 0.0f);
    replay.Show(count - 1);
    const float distance = FollowDistance(replay, camera) / Vec3Length(camera.direction);
    const Vector3 followDirection = camera.direction;
    ProgressBar progress(count);
    std::vector<std::uint8_t> rgb;
    // The video ends early, with a whole file of the frames made so far, when
    // the user asks to quit (SDL turns SIGINT and SIGTERM into that) or when
    // the trace stops short of a step it counted.
    auto stopEarly = [&](std::size_t made, const std::string& reason) {
        std::fputc('\n', stderr);
        std::string finished;
        why = encoder.Finish(finished)
                  ? FormatString("%s; the file holds the %zu frames made before it", reason.c_str(), made)
                  : reason + "; the file could not be finished: " + finished;
        return false;
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (shell.services && shell.services->QuitPending()) {
            return stopEarly(i, FormatString("stopped at frame %zu of %zu", i + 1, count));
        }
        if (replay.Show(i) != i) return stopEarly(i, "the trace stops short: " + replay.Stopped());
        TextLines& lines = shell.ShownContext().textLines;
        lines.Clear();
        lines.Add(FormatString("step %lld", replay.Frame().step));
        camera.direction = followDirection;
        PlaceCamera(camera, framing, replay.GetCentroid(), distance, i);
        SetFrameState(shell);
        bool written = false;
        DrawFrame(shell, [&] {
            int width = 0, height = 0;
            if (!ReadFrameRgb(*shell.device, rgb, width, height)) {
                why = "videos need the OpenGL device";
                return;
            }
            written = encoder.Write(rgb, width, height, why);
        });
        if (!written || shell.state.drawFailed) {
            if (why.empty() || shell.state.drawFailed) why = "drawing the scene failed";
            std::fputc('\n', stderr);
            std::string ignored;
            encoder.Finish(ignored);
            return false;
        }
        progress.Show(i + 1);
    }
    if (!encoder.Finish(why)) return false;
    if (!replay.Stopped().empty()) {
        why = "the trace stops short: " + replay.Stopped() +
              FormatString("; the video holds its %zu whole steps", count);
        return false;
    }
    return true;
}

}  // namespace qm
