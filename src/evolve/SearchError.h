#pragma once

#include <string>

namespace qm::evolve {

// Ends a search: a bad option or seed gene, a checkpoint that cannot be
// read or written, an evaluation process or MPI rank that was lost. The
// message is for the user, one or more whole lines without the final break.
struct SearchError {
    std::string message;
};

}  // namespace qm::evolve
