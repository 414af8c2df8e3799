#pragma once
// The options of `quillmoth-sim evolve` (Options.cpp parses the command line
// around them).

#include <span>

#include "evolve/ArgumentRules.h"
#include "sim/Options.h"

namespace CLI {
class App;
class Validator;
}  // namespace CLI

namespace qm::sim {

void AddEvolveOptions(CLI::App& evolve, EvolveOptions& o);

// Checks an option's value by its row of the argument rules; a value outside
// is refused in the words quillmoth.evolve uses for its keyword.
CLI::Validator ByRule(evolve::Argument argument);

// The options of evolve that change what a search finds (GENE_FILE for its
// seed genes): a resumed search takes them from its checkpoint instead.
std::span<const char* const> SearchOptionNames();

}  // namespace qm::sim
