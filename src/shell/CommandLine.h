#pragma once
// The window program's command line: `quillmoth [OPTIONS] [GENE_FILE]`.
// Without arguments the program seeds its random numbers from the clock and
// reads "source.txt" from the working directory.

#include <optional>
#include <string>
#include <vector>

#include "cli/RunOptions.h"
#include "math/D3dxTypes.h"
#include "shell/VideoFraming.h"

namespace qm {

struct CommandLine {
    bool help = false;
    RunOptions run{.seed = std::nullopt, .maxNodes = DefaultMaxNodes(kWindowBytesPerNode), .physics = {}};
    std::string geneFile = "source.txt";  // the driver's gene file
    bool debug = false;                   // the compiler's code string and the program on standard error
    std::string error;                    // set when the arguments make no sense

    bool showFps = false;  // the readout line under the text lines, from the start (F1 toggles it)
    int stepsFirst = 0;    // world steps run before the first frame, without drawing
    // The frame benchmark: draw this many frames with the world paused, print
    // one JSON line and end. 0 runs the window as usual.
    int benchFrames = 0;
    std::string screenshot;  // with the benchmark: one more frame saved as a BMP file
    // The step benchmark: run the window as usual until the world has made
    // this many more steps, print one JSON line and end. 0 runs as usual.
    int benchSteps = 0;

    std::optional<Vector3> goal;  // a new run's goal; with --replay, where the marker stands
    std::string dataDir;          // the art files' folder; found by FindArtFolder when not given
    std::string trace;            // the live run's trace, as quillmoth-sim run --trace writes it

    std::string resume;    // a checkpoint of quillmoth-sim to go on from
    std::string replay;    // a trace to play instead of a live world
    std::string video;     // with replay: the video file to write, no interaction
    int fps = 30;          // the video's frames per second
    VideoFraming framing;  // the video's size and camera
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

// Usage, the options and the controls of the window, for --help.
std::string HelpText();

}  // namespace qm
