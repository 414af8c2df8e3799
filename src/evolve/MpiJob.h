#pragma once
// A search across the ranks of an MPI job: rank 0 runs the search and hands
// evaluations out one at a time; every other rank evaluates (each evaluation
// in a child process, as on one machine) and sends the result back. A rank
// that is lost takes the job down with it (MPI's default), so no generation
// is ever completed without all of its results.

#include <memory>

#include "evolve/Evaluator.h"

namespace qm::evolve {

// True when this program was built with MPI.
bool MpiBuilt();

// How many processes an MPI launcher (mpirun, srun) started this one among,
// read from the launcher's environment; 1 when none did.
int MpiLaunchSize();

class MpiJob {
  public:
    // Joins the job (MPI_Init). Throws SearchError when built without MPI.
    MpiJob();
    // Leaves it (MPI_Finalize).
    ~MpiJob();
    MpiJob(const MpiJob&) = delete;
    MpiJob& operator=(const MpiJob&) = delete;

    int Rank() const { return rank; }
    int Size() const { return size; }

    // Rank 0: the evaluator that hands tasks to the other ranks. When it is
    // destroyed it tells them to stop.
    std::unique_ptr<Evaluator> Coordinator();
    // Every other rank: evaluates what rank 0 sends until it says stop.
    void Serve();
    // Ends every rank of the job with this status (MPI_Abort).
    [[noreturn]] void Abort(int status);

  private:
    int rank = 0;
    int size = 1;
};

}  // namespace qm::evolve
