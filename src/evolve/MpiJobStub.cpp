// MpiJob when the program is built without MPI: the job cannot be joined.
#include "evolve/MpiJob.h"

#include <cstdlib>

#include "evolve/SearchError.h"

namespace qm::evolve {

bool MpiBuilt() { return false; }

MpiJob::MpiJob() {
    throw SearchError{"this quillmoth-sim was built without MPI; install libopenmpi-dev and build it again"};
}

MpiJob::~MpiJob() = default;

std::unique_ptr<Evaluator> MpiJob::Coordinator() { return nullptr; }

void MpiJob::Serve() {}

void MpiJob::Abort(int status) { std::exit(status); }

}  // namespace qm::evolve
