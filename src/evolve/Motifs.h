#pragma once
// The `motifs` initialiser: random genes that hold, beside ramped code, the
// kinds of statement a creature that senses the goal is made of. Sensing
// the goal takes a node's SMELL (about 0.004 at the start) scaled by
// hundreds, written into a parameter, PULSEd to a partner (which receives
// it halved, for one link), and compared with what the node received, on
// the same scale on both sides; independent random constants almost never
// line two scales up, so every statement of a gene that scales the smell
// uses the gene's one scale (twice it where the value is sent).
//
// A gene is a block: a test (IFTE) whose two branches are blocks, or a run
// (PROG2/PROG3) of one to three statements. Each statement is a few
// elements, drawn on its own with the gene's slots and scale:
//
//   store     SETP a (MUL SMELL k)       the node's own smell on scale k
//   send      SETP b (MUL SMELL 2k)      a smell to be sent, so that a partner receives it on scale k
//   pulse     PULSE b                    send parameter b to the partners
//   fill      SETP d 1                   fill a parameter (divisions fire at 1)
//   divide    GDIVIDE d | TDIVIDE d
//   clear     SETP b 0
//   act       DIE | CUTEDGE | DYNFRIC a | ELENGTH a | SETCOLP a b d
//   ramped    a small ramped subtree (depth 1 to 3)
// and the tests of a block:
//   compare   LT|GT (GETP a) (GETP b)    own smell against a partner's
//   linked    GT|LT ECOUNT c             c in [0.3, 1): whether the node has links
//   received  GT (GETP b) 0              whether a partner sent something
//   ground    GROUND
//
// The gene's slots a, b, d are three parameter slots drawn at random (a
// statement takes any of them); k is drawn log-uniformly from 1 to 10^4. No
// statement makes a creature on its own: how they are put together, their
// slots and their scale are all drawn.

#include "evolve/GeneCode.h"
#include "evolve/SearchRandom.h"

namespace qm::evolve {

// One motif gene of at most maxLength elements (at least one action; made
// again while it does not fit), its constants Normalised.
GeneCode MotifGene(SearchRandom& random, int maxLength);

}  // namespace qm::evolve
