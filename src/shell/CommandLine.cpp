#include "shell/CommandLine.h"

#include "experiment/RunGuard.h"

namespace qm {

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine out;
    bool haveFile = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out.help = true;
        } else if (a == "--seed") {
            if (i + 1 >= args.size()) {
                out.error = "--seed needs a number";
                return out;
            }
            const std::string& n = args[++i];
            out.seed = ParseSeed(n);
            if (!out.seed) {
                out.error = SeedError(n);
                return out;
            }
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            out.error = "unknown option " + a;
            return out;
        } else if (haveFile) {
            out.error = "only one gene file, please";
            return out;
        } else {
            out.geneFile = a;
            haveFile = true;
        }
    }
    return out;
}

std::string HelpText() {
    return R"(usage: quillmoth [--seed N] [GENE_FILE]

Grows a creature from the gene in GENE_FILE ("source.txt" in the working
directory by default) and shows it in a 640 x 480 window. The art files
floor.bmp, sky.bmp, goal.bmp and goal.x are read from the working directory.

  --seed N   seed the random numbers with N instead of the clock
  --help     show this text

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
