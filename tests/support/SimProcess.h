#pragma once
// Runs the quillmoth-sim binary as a user would and collects what it says.

#include <string>

namespace qm::test {

struct Outcome {
    int status = -1;  // the exit status, -1 when the process did not exit
    std::string out;
    std::string err;
};

// The binary named by QM_SIM (ctest sets it), or null.
const char* SimBinary();

// Runs `sim arguments` (quoted as needed) in `folder`, or in the current
// folder when it is empty.
Outcome RunSim(const std::string& sim, const std::string& arguments, const std::string& folder = "");

// A run's summary line with its wall time (which no two runs share) written
// as "wall_seconds":_, so summaries can be compared byte for byte.
std::string WithoutWallTime(const std::string& out);

}  // namespace qm::test
