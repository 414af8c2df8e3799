#pragma once
// A run as one web page: the viewer (page/viewer.html, .css, .js, built into
// the program), the run's manifest and its frames, packed and compressed, in
// one HTML file that needs no network, no server and no other file. Opened in
// a browser it shows the scene as the window does, with play, a slider to any
// step, a camera to orbit and follow, and a click on a node for its details.
//
//     share::PageFrames kept(5);          // every fifth step
//     for (...) kept.Add(frame);          // from a trace or a live run
//     share::PageFit fit = share::FitPage(manifestJson, kept, 3 << 20);
//     if (fit.fits) Write(fit.html); else Say(fit.everyThatFits);

#include <cstddef>
#include <string>
#include <vector>

#include "record/TraceFrame.h"

namespace qm::share {

// The frames a page will hold: the steps whose number `every` divides, as
// `--trace-every` keeps them.
class PageFrames {
  public:
    explicit PageFrames(long long every = 1) : every_(every < 1 ? 1 : every) {}
    // Keeps the frame when its step is one to keep; true when it did.
    bool Add(const record::TraceFrame& frame);
    long long Every() const { return every_; }
    const std::vector<record::TraceFrame>& Frames() const { return frames_; }

  private:
    long long every_;
    std::vector<record::TraceFrame> frames_;
};

// The page of `frames` (ascending steps) of the run `manifestJson` names ("" when not known).
std::string RunPage(const std::string& manifestJson, const std::vector<const record::TraceFrame*>& frames);
std::string RunPage(const std::string& manifestJson, const PageFrames& frames);

struct PageFit {
    bool fits = false;
    std::string html;             // the page, when it fits
    std::size_t bytes = 0;        // the page's size, fitting or not
    long long everyThatFits = 0;  // when it does not: the smallest multiple of the
                                  // frames' interval whose page fits; 0 when none does
};

// The page of `frames`, or, when it would be larger than `maxBytes` (0: no
// limit), the interval of steps whose page would fit.
PageFit FitPage(const std::string& manifestJson, const PageFrames& frames, std::size_t maxBytes);

// `bytes` in base64 (RFC 4648, with padding).
std::string Base64(const std::vector<std::uint8_t>& bytes);

}  // namespace qm::share
