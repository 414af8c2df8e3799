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

// Ramped half-and-half: a tree of a depth drawn from 2 to 6 (less when it
// would not fit in maxLength), half of them full to that depth and half
// grown at random, that uses at least one action (a primitive that changes
// the node or its world: DIE, GDIVIDE, SETP, ...). Its constants are drawn
// widely: half in [-1, 1], half of a magnitude from 0.01 to 10.
GeneCode RampedGene(SearchRandom& random, int maxLength);

// Moves one constant of the gene, chosen at random, by a normal step of a
// fifth of its size (at least 0.2). False, with no draw, when it has none.
bool PerturbConstant(GeneCode& gene, SearchRandom& random);

// The search's mutation: a constant perturbed with probability
// constantRate (when the gene has one), otherwise Mutate. A rate of 0
// draws nothing more than Mutate does.
void Vary(GeneCode& gene, SearchRandom& random, int maxLength, double constantRate);

// One random change (Unit::Mutate with maxLength as its limit). A change that
// would break the depth limit is dropped and the gene kept as it was.
void Mutate(GeneCode& gene, SearchRandom& random, int maxLength);

// Subtree crossover: a copy of `receiver` in which one subtree is replaced
// by a copy of one subtree of `donor`. Points are inner elements nine times
// in ten (when the gene has any), else terminals. When eight tries give no
// child within maxLength and the depth limit, the child is a copy of receiver.
GeneCode Crossover(const GeneCode& receiver, const GeneCode& donor, SearchRandom& random, int maxLength);

}  // namespace qm::evolve
