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
// the node or its world: DIE, GDIVIDE, SETP, ...). Its constants are
// RandomConstant's; a DIE leaf is drawn again once (GrowTree).
GeneCode RampedGene(SearchRandom& random, int maxLength);

// A constant of the search's own genes: a magnitude log-uniform from 10^-3 to
// 10^4, either sign (a smell of 0.004 needs a scale in the hundreds to
// reach a parameter of 1).
double RandomConstant(SearchRandom& random);

// Appends a random tree of the given depth: full (functions down to the
// last level) or grown (any primitive above it); terminals at depth 1.
void GrowTree(GeneCode& out, int depth, bool full, SearchRandom& random);

// Whether the gene holds an action: a primitive that changes the node or its world.
bool HasAction(const GeneCode& code);

// Moves one constant of the gene, chosen at random, by a factor
// exp(0.25 N(0, 1)) (a 0 is drawn afresh). False, with no draw, when it has none.
bool PerturbConstant(GeneCode& gene, SearchRandom& random);

// Ties two places of the gene together: half the time (with two constants
// or more) one constant takes another's value, otherwise one subtree is
// replaced by a copy of another. False when the draw changes nothing or
// would break maxLength or the depth limit.
bool CopyWithin(GeneCode& gene, SearchRandom& random, int maxLength);

// The search's mutation: a constant perturbed with probability constantRate
// (when the gene has one), else a copy within the gene with probability
// copyRate, otherwise Mutate. Rates of 0 draw nothing more than Mutate does.
void Vary(GeneCode& gene, SearchRandom& random, int maxLength, double constantRate, double copyRate);

// One random change (Unit::Mutate with maxLength as its limit). A change that
// would break the depth limit is dropped and the gene kept as it was.
void Mutate(GeneCode& gene, SearchRandom& random, int maxLength);

// Subtree crossover: a copy of `receiver` in which one subtree is replaced
// by a copy of one subtree of `donor`. Points are inner elements nine times
// in ten (when the gene has any), else terminals. When eight tries give no
// child within maxLength and the depth limit, the child is a copy of receiver.
GeneCode Crossover(const GeneCode& receiver, const GeneCode& donor, SearchRandom& random, int maxLength);

}  // namespace qm::evolve
