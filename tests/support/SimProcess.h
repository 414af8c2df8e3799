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

}  // namespace qm::test
