#pragma once
// The checkpoint of a search: a text file that holds its settings and its
// state after a generation, so that `evolve --resume DIR` goes on exactly as
// the search would have gone on. Numbers that are not whole are written in
// hexadecimal floating point (C's %a), which reads back bit for bit.
// docs/evolve.md describes the format line by line.

#include <string>

#include "evolve/Search.h"

namespace qm::evolve {

inline constexpr const char* kCheckpointHeader = "quillmoth-evolve checkpoint 4";

struct Checkpoint {
    SearchSettings settings;
    SearchState state;
};

// Writes to a temporary file in the same folder and renames it over `path`,
// so a search stopped at any moment leaves the last complete checkpoint.
// Throws SearchError when the file cannot be written.
void SaveCheckpoint(const std::string& path, const SearchSettings& settings, const SearchState& state);

// Throws SearchError, naming the file and the line, when it cannot be read
// or is not a complete checkpoint. A search whose fitness is a Python
// function is refused unless `pythonFitness` (the Python package gives the
// function again).
Checkpoint LoadCheckpoint(const std::string& path, bool pythonFitness = false);

}  // namespace qm::evolve
