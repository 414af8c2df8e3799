#pragma once
// The window program's command line: `quillmoth [--seed N] [GENE_FILE]`.
// Without arguments the program seeds its random numbers from the clock and
// reads "source.txt" from the working directory.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm {

struct CommandLine {
    bool help = false;
    std::optional<std::uint32_t> seed;    // replaces the clock seed
    std::string geneFile = "source.txt";  // the driver's gene file
    std::string error;                    // set when the arguments make no sense
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

// Usage and the controls of the window, for --help.
std::string HelpText();

}  // namespace qm
