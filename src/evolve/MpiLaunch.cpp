#include <cstdlib>

#include "evolve/MpiJob.h"

namespace qm::evolve {

// Open MPI's mpirun, then the process managers Slurm's srun speaks (PMIx, PMI).
int MpiLaunchSize() {
    for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_SIZE", "PMI_SIZE", "SLURM_NTASKS"}) {
        if (const char* value = std::getenv(name)) {
            const int size = std::atoi(value);
            if (size > 0) return size;
        }
    }
    return 1;
}

}  // namespace qm::evolve
