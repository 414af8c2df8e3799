#pragma once
// A replay made into a video: every recorded step drawn once, in the usual
// scene with the camera framed as asked (VideoFraming: following the
// creature from above, fixed, or orbiting it), and handed to ffmpeg; a
// progress bar on standard error.

#include <string>

namespace qm {

struct Shell;
struct VideoFraming;
class ReplayDriver;
class VideoEncoder;

// Draws every whole step of `replay` into `encoder` and finishes the video.
// False, with the reason in `why`, when drawing, reading the frame back or
// ffmpeg failed, when the user asked to quit (SIGINT, SIGTERM, the close
// button) or when the trace stops short; the last two still leave a playable
// file of the frames made.
bool RecordVideo(Shell& shell, ReplayDriver& replay, VideoEncoder& encoder, const VideoFraming& framing,
                 std::string& why);

}  // namespace qm
