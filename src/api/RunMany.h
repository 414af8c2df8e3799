#pragma once
// Many runs at once, on threads of this process: the one loop that the sweep,
// the search's evaluations and the Python package's evaluate all run through,
// and the only place a caller of the engine starts threads.

#include <cstddef>
#include <functional>

namespace qm {

// The processors of this machine: the number of workers when none is given.
int CoreCount();

// Calls work(i) for every i in [0, count), on up to `workers` threads (this
// one among them; 0 or fewer: CoreCount()), each taking the next i when it is
// done with one. A run owns all its state, so which thread takes which i
// changes no result. The first exception thrown by `work` stops the threads
// from taking more; it is thrown here once every thread has finished the
// work it was doing.
void RunMany(std::size_t count, int workers, const std::function<void(std::size_t)>& work);

}  // namespace qm
