#include "shell/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace qm {
namespace {

// The window's options. The app keeps references into `out`.
struct Options {
    explicit Options(CommandLine& out) {
        app.set_help_flag("-h,--help", "show this text");  // answered before parsing
        app.add_option("GENE_FILE", out.geneFile, "the gene source file (default source.txt)");
        AddRunOptions(app, out.run);
        app.add_flag("--debug", out.debug, "the gene's code string and the program on standard error");
    }
    CLI::App app{"", "quillmoth"};
};

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine out;
    if (std::find(args.begin(), args.end(), "--help") != args.end() ||
        std::find(args.begin(), args.end(), "-h") != args.end()) {
        out.help = true;
        return out;
    }
    Options options(out);
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes the arguments last first
    try {
        options.app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        out.error = e.what();
    }
    return out;
}

std::string HelpText() {
    CommandLine unused;
    Options options(unused);
    return R"(usage: quillmoth [OPTIONS] [GENE_FILE]

Grows a creature from the gene in GENE_FILE ("source.txt" in the working
directory by default) and shows it in a 640 x 480 window. The art files
floor.bmp, sky.bmp, goal.bmp and goal.x are read from the working directory.

Options
)" + OptionHelp(options.app) +
           R"(
Mouse
  left button + move               turn the camera in place
  Left Shift + left button + move  pan the camera sideways and up
  Right Shift + left button + move orbit the camera around the point it looks at
  left button + S                  select the node under the pointer (its state shows in green)
  left button + K                  kill the node under the pointer
Keys
  F / B        move the camera forward / backward
  C            centre the camera on the creature
  Space        restart the experiment
  Enter        pause or resume the world
  Up / Down    one more / one fewer world step per frame ("X n" shows the count)
  Escape       quit
Drop a gene file on the window to restart the experiment with it.

When a node reaches the goal, or an error ends the run, the message is
written to error.lot.txt in the working directory.
)";
}

}  // namespace qm
