#include "evolve/Variation.h"

#include "gp/GPmanager.h"
#include "gp/Unit.h"

namespace qm::evolve {
namespace {

constexpr double kInnerPointRate = 0.9;
constexpr int kCrossoverTries = 8;

void Load(Unit& unit, const GeneCode& code, int maxLength) {
    unit.maxLength = maxLength;
    for (const GeneElement& e : code) unit.Append(e);
}

int PickPoint(const GeneCode& code, SearchRandom& random) {
    std::vector<int> inner, leaves;
    for (int i = 0; i < static_cast<int>(code.size()); ++i) (code[i].kind > 0 ? inner : leaves).push_back(i);
    const std::vector<int>& from = !inner.empty() && random.Chance(kInnerPointRate) ? inner : leaves;
    return from[static_cast<std::size_t>(random.Below(static_cast<int>(from.size())))];
}

}  // namespace

GeneCode RandomGene(SearchRandom& random, int maxLength) {
    GeneCode gene;
    Unit().RandomTree(random.Generator(), maxLength, gene);
    Normalise(gene);
    return gene;
}

void Mutate(GeneCode& gene, SearchRandom& random, int maxLength) {
    Unit unit;
    Load(unit, gene, maxLength);
    unit.Mutate(random.Generator());
    GeneCode changed = unit.Code();
    Normalise(changed);
    if (ShapeProblem(changed, maxLength).empty()) gene = std::move(changed);
}

GeneCode Crossover(const GeneCode& receiver, const GeneCode& donor, SearchRandom& random, int maxLength) {
    for (int attempt = 0; attempt < kCrossoverTries; ++attempt) {
        const int at = PickPoint(receiver, random);
        const int from = PickPoint(donor, random);
        const int cut = WalkSubtreeLength(receiver, at);
        const int graft = WalkSubtreeLength(donor, from);
        if (static_cast<int>(receiver.size()) - cut + graft > maxLength) continue;
        GeneCode child(receiver.begin(), receiver.begin() + at);
        child.insert(child.end(), donor.begin() + from, donor.begin() + from + graft);
        child.insert(child.end(), receiver.begin() + at + cut, receiver.end());
        if (Depth(child) <= kMaxGeneDepth) return child;
    }
    return receiver;
}

}  // namespace qm::evolve
