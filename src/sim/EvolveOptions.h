#pragma once
// The options of `quillmoth-sim evolve` (Options.cpp parses the command line
// around them).

#include <span>

#include "sim/Options.h"

namespace CLI {
class App;
}

namespace qm::sim {

void AddEvolveOptions(CLI::App& evolve, EvolveOptions& o);

// The options of evolve that change what a search finds (GENE_FILE for its
// seed genes): a resumed search takes them from its checkpoint instead.
std::span<const char* const> SearchOptionNames();

}  // namespace qm::sim
