#pragma once
// A video written by an ffmpeg process: frames of raw RGB go down a pipe to
// its standard input, and ffmpeg encodes them (H.264 in yuv420p for ".mp4",
// whatever it picks from the name otherwise). Its own messages reach our
// standard error, errors only.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// The full path of `program` in a folder of PATH; "" when there is none.
std::string FindOnPath(const std::string& program);

class VideoEncoder {
  public:
    // `ffmpeg`: the program's path; `output`: the video file; frames per second.
    VideoEncoder(std::string ffmpeg, std::string output, int fps);
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // One frame: `width` x `height` pixels, three bytes each, top row first.
    // The first frame starts ffmpeg and sets the size; every later frame must
    // have it. False, with the reason in `why`, when ffmpeg cannot take it.
    bool Write(const std::vector<std::uint8_t>& rgb, int width, int height, std::string& why);
    // Ends the input and waits for ffmpeg. False when it failed, with its exit status in `why`.
    bool Finish(std::string& why);

    int Frames() const { return frames_; }

  private:
    bool Start(int width, int height, std::string& why);
    bool Wait(std::string& why);

    std::string ffmpeg_;
    std::string output_;
    int fps_;
    pid_t child_ = -1;
    int pipe_ = -1;
    int width_ = 0;
    int height_ = 0;
    int frames_ = 0;
    bool failed_ = false;  // a frame could not be written: the video is not whole
};

}  // namespace qm
