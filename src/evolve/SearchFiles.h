#pragma once
// How a search writes its files: whole, or not at all where a reader could
// see one half written. The tables, the checkpoint and the census all go
// through here.

#include <string>

namespace qm::evolve {

// Writes `text` to `path`, replacing the file or appended to it. Throws
// SearchError naming the file and the system's reason when any of it fails.
void WriteFile(const std::string& path, const std::string& text, bool append = false);
// The same through PATH.tmp renamed over `path` once whole: a failed write
// leaves the file as it was.
void ReplaceFile(const std::string& path, const std::string& text);

}  // namespace qm::evolve
