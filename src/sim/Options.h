#pragma once
// The command line of the headless runner.

#include <optional>
#include <string>
#include <vector>

#include "experiment/RunOptions.h"
#include "math/D3dxTypes.h"

namespace qm::sim {

enum class Command { Help, Version, Compile, Dump, Run };

struct Options {
    Command command = Command::Help;
    std::string geneFile;
    RunOptions run;
    long long steps = 1000;
    std::string traceFile;  // "" none, "-" stdout
    std::string statsFile;
    std::string logFile = "error.lot.txt";
    std::optional<Vector3> goal;
    bool quiet = false;
    bool profile = false;  // print where the time of the steps went
};

// Parses argv (without the program name); throws UsageError on a bad command line.
struct UsageError {
    std::string message;
};
Options ParseOptions(const std::vector<std::string>& args);

// What --help prints, and what follows a usage error.
std::string UsageText();

}  // namespace qm::sim
