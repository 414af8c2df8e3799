#pragma once
// Counts the heap allocations made through operator new in the test program,
// so that a test can say how many a stretch of work makes.

namespace qm::test {

// Allocations since the program started.
long AllocationCount();

}  // namespace qm::test
