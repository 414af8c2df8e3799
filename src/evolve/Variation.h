#pragma once
// The variation operators of the search: random genes and mutation are the
// gene code's own (Unit::RandomTree, Unit::Mutate), run on the search's
// random numbers; subtree crossover is added here. Every operator takes
// genes that are one complete tree within the length limit and returns one,
// with its constants Normalised.

#include "evolve/GeneCode.h"
#include "evolve/SearchRandom.h"

namespace qm::evolve {

// One random tree of at most maxLength elements.
GeneCode RandomGene(SearchRandom& random, int maxLength);

// One random change (Unit::Mutate with maxLength as its limit). A change that
// would break the depth limit is dropped and the gene kept as it was.
void Mutate(GeneCode& gene, SearchRandom& random, int maxLength);

// Subtree crossover: a copy of `receiver` in which one subtree is replaced
// by a copy of one subtree of `donor`. Points are inner elements nine times
// in ten (when the gene has any), else terminals. When eight tries give no
// child within maxLength and the depth limit, the child is a copy of receiver.
GeneCode Crossover(const GeneCode& receiver, const GeneCode& donor, SearchRandom& random, int maxLength);

}  // namespace qm::evolve
