#pragma once
// Whether two file names of a command line stand for one file, so that an
// output never replaces an input or another output.

#include <string>

namespace qm::sim {

// True when `a` and `b` are one file: the same device and inode, or, for a
// file not made yet, the same folder and name. "-" (standard output) is one
// file with itself; a device (/dev/null, /dev/full) is nobody's file.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace qm::sim
