#pragma once
// The window program's command line: `quillmoth [OPTIONS] [GENE_FILE]`.
// Without arguments the program seeds its random numbers from the clock and
// reads "source.txt" from the working directory.

#include <string>
#include <vector>

#include "experiment/RunOptions.h"

namespace qm {

struct CommandLine {
    bool help = false;
    RunOptions run;
    std::string geneFile = "source.txt";  // the driver's gene file
    bool debug = false;                   // the compiler's code string and the program on standard error
    std::string error;                    // set when the arguments make no sense
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

// Usage, the options and the controls of the window, for --help.
std::string HelpText();

}  // namespace qm
