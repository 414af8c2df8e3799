#include "evolve/Motifs.h"

#include <array>
#include <cmath>
#include <string>

#include "evolve/Variation.h"
#include "gp/GPmanager.h"

namespace qm::evolve {
namespace {

GeneElement Op(const char* name) {
    const GPfunction* f = GPmanager::GetInstance()->FindByName(name);
    return {f->kind, f->index, 0.0};
}

GeneElement Number(double value) { return {0, 0, value}; }

// A constant that names parameter slot s (the slot rule: trunc(tanh x * 9)).
double SlotValue(int slot) { return slot >= 9 ? 20.0 : std::atanh((slot + 0.5) / 9.0); }

struct Drawn {
    SearchRandom& random;
    double a, b, d;  // the gene's slots: its own smell, what it sends and receives, what fills to divide
    double scale;    // k
};

void Append(GeneCode& out, std::initializer_list<GeneElement> elements) {
    out.insert(out.end(), elements.begin(), elements.end());
}

void Grow(GeneCode& out, Drawn& g) {
    Append(out, {Op("PROG2"), Op("SETP"), Number(g.d), Number(1.0),
                 Op(g.random.Chance(0.5) ? "GDIVIDE" : "TDIVIDE"), Number(g.d)});
}

// What a node does on one side of a comparison.
void Act(GeneCode& out, Drawn& g) {
    switch (g.random.Below(4)) {
        case 0:
            Append(out, {Op("DIE")});
            return;
        case 1:
            Grow(out, g);
            return;
        case 2:
            Append(out, {Op("DYNFRIC"), Number(g.a)});
            return;
        default:
            Append(out, {Op("ELENGTH"), Number(g.a)});
            return;
    }
}

void Statement(GeneCode& out, Drawn& g) {
    SearchRandom& r = g.random;
    const int draw = r.Below(100);
    if (draw < 18) {  // store
        Append(out, {Op("SETP"), Number(g.a), Op("MUL"), Op("SMELL"), Number(g.scale)});
    } else if (draw < 36) {  // broadcast
        Append(out, {Op("PROG2"), Op("SETP"), Number(g.b), Op("MUL"), Op("SMELL"), Number(2.0 * g.scale),
                     Op("PULSE"), Number(g.b)});
    } else if (draw < 56) {  // compare and act
        Append(out, {Op("IFTE"), Op(r.Chance(0.5) ? "LT" : "GT"), Op("GETP"), Number(g.a), Op("GETP"),
                     Number(g.b)});
        Act(out, g);
        Act(out, g);
    } else if (draw < 74) {
        Grow(out, g);
    } else if (draw < 79) {  // one more action
        switch (r.Below(4)) {
            case 0:
                Append(out, {Op("DIE")});
                break;
            case 1:
                Append(out, {Op("CUTEDGE")});
                break;
            case 2:
                Append(out, {Op("SETP"), Number(g.b), Number(0.0)});
                break;
            default:
                Append(out, {Op("SETCOLP"), Number(g.a), Number(g.b), Number(g.d)});
                break;
        }
    } else {  // ramped: the motifs mixed with ordinary code
        GrowTree(out, 1 + r.Below(3), r.Chance(0.5), r);
    }
}

// Whether the node has links, whether a partner sent something, whether it touches the floor.
void Guard(GeneCode& out, Drawn& g) {
    SearchRandom& r = g.random;
    switch (r.Below(4)) {
        case 0:
        case 3:
            Append(out, {Op(r.Chance(0.5) ? "GT" : "LT"), Op("ECOUNT"), Number(0.3 + 0.7 * r.Uniform())});
            return;
        case 1:
            Append(out, {Op("GT"), Op("GETP"), Number(g.b), Number(0.0)});
            return;
        default:
            Append(out, {Op("GROUND")});
            return;
    }
}

// `n` of `part` in a row (PROG2 and PROG3 nested as needed).
template <class Part>
void Row(GeneCode& out, int n, Part part) {
    while (n > 3) {
        out.push_back(Op("PROG2"));
        part();
        --n;
    }
    if (n == 2) out.push_back(Op("PROG2"));
    if (n == 3) out.push_back(Op("PROG3"));
    for (int i = 0; i < n; ++i) part();
}

void Block(GeneCode& out, Drawn& g) {
    SearchRandom& r = g.random;
    if (r.Chance(0.4)) {
        out.push_back(Op("IFTE"));
        Guard(out, g);
        Row(out, 1 + r.Below(2), [&] { Statement(out, g); });
        Row(out, 1 + r.Below(2), [&] { Statement(out, g); });
        return;
    }
    Statement(out, g);
}

}  // namespace

GeneCode MotifGene(SearchRandom& random, int maxLength) {
    GeneCode gene;
    for (int most = 5;;) {
        Drawn g{random, SlotValue(random.Below(10)), SlotValue(random.Below(10)), SlotValue(random.Below(10)),
                std::pow(10.0, 2.0 + 2.0 * random.Uniform())};
        gene.clear();
        if (most >= 2) {
            Row(gene, 2 + random.Below(most - 1), [&] { Block(gene, g); });
        } else {  // a limit too small for two blocks: one statement
            Statement(gene, g);
        }
        if (static_cast<int>(gene.size()) > maxLength) {
            --most;  // too big: fewer blocks next
            continue;
        }
        if (HasAction(gene)) break;
    }
    Normalise(gene);
    return gene;
}

}  // namespace qm::evolve
