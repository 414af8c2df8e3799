#pragma once

#include <string>

namespace qm::evolve {

// Ends a search: a bad option or seed gene, a checkpoint that cannot be
// read or written, an evaluation process or MPI rank that was lost. The
// message is for the user, one or more whole lines without the final break.
struct SearchError {
    std::string message;
    // The search was refused before it wrote anything (its folder is another
    // search's, an output would replace an input): a usage error, status 2.
    bool refused = false;
};

}  // namespace qm::evolve
