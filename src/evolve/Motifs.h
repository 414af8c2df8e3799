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
// A gene is a row (PROG2/PROG3) of two to five blocks; a block is a
// statement, or two times in five a test (IFTE) whose branches are rows of
// one or two statements. Each statement is a few elements, drawn on its own
// with the gene's slots and scale:
//
//   store        SETP a (MUL SMELL k)                        18 %   the node's own smell on scale k
//   broadcast    PROG2 (SETP b (MUL SMELL 2k)) (PULSE b)     18 %   a partner receives it on scale k
//   compare-act  IFTE (LT|GT (GETP a) (GETP b)) ACT ACT      20 %   own smell against a partner's
//   grow         PROG2 (SETP d 1) (GDIVIDE|TDIVIDE d)        18 %
//   one more     DIE | CUTEDGE | SETP b 0 | SETCOLP a b d     5 %
//   ramped       a ramped subtree of depth 1 to 3            21 %   the motifs mixed with ordinary code
// where ACT is DIE, grow, DYNFRIC a or ELENGTH a, and the tests of a block are
//   linked       GT|LT ECOUNT c, c in [0.3, 1)               1/2    whether the node has links
//   received     GT (GETP b) 0                               1/4    whether a partner sent something
//   ground       GROUND                                      1/4
//
// The gene's slots a, b, d are three parameter slots drawn at random, and
// its scale k is drawn log-uniformly from 100 to 10,000 (a PULSE fires at a
// parameter of 1). No statement makes a creature on its own: which are
// drawn, in what order and under which tests is all chance.

#include "evolve/GeneCode.h"
#include "evolve/SearchRandom.h"

namespace qm::evolve {

// One motif gene of at most maxLength elements (at least one action; made
// again while it does not fit), its constants Normalised.
GeneCode MotifGene(SearchRandom& random, int maxLength);

}  // namespace qm::evolve
