#include "evolve/Variation.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string_view>

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

constexpr int kRampLowest = 2, kRampHighest = 6;

// The primitives that act on the node or through it on its world; a gene
// without one cannot change anything.
constexpr std::string_view kActions[] = {"DIE",     "CUTEDGE", "GDIVIDE", "TDIVIDE", "ELENGTH", "PULSE",
                                         "DYNFRIC", "DIFFRIC", "IMPULSE", "ADDPAR",  "SUBPAR",  "ADDDIF",
                                         "SUBDIF",  "SETP",    "SETD",    "SETCOLP"};

struct PrimitiveTable {
    std::vector<GeneElement> terminals, functions, all;
    std::vector<std::pair<int, int>> actions;  // (kind, index)
};

const PrimitiveTable& Primitives() {
    static const PrimitiveTable table = [] {
        PrimitiveTable t;
        for (const auto& f : GPmanager::GetInstance()->Functions()) {
            const GeneElement e{f->kind, f->index, 0.0};
            (e.kind == 0 ? t.terminals : t.functions).push_back(e);
            t.all.push_back(e);
            if (std::find(std::begin(kActions), std::end(kActions), f->Name()) != std::end(kActions))
                t.actions.emplace_back(f->kind, f->index);
        }
        return t;
    }();
    return table;
}

// Uniform in (0, 1), from 30 bits.
double Uniform(SearchRandom& random) { return (random.Below(1 << 30) + 0.5) / static_cast<double>(1 << 30); }

double WideConstant(SearchRandom& random) {
    const double sign = random.Chance(0.5) ? 1.0 : -1.0;
    if (random.Chance(0.5)) return sign * Uniform(random);
    return sign * std::pow(10.0, -2.0 + 3.0 * Uniform(random));
}

void GrowTree(GeneCode& out, int depth, bool full, SearchRandom& random) {
    const PrimitiveTable& p = Primitives();
    const std::vector<GeneElement>& from = depth <= 1 ? p.terminals : (full ? p.functions : p.all);
    GeneElement e = from[static_cast<std::size_t>(random.Below(static_cast<int>(from.size())))];
    if (e.IsConstant()) e.value = WideConstant(random);
    out.push_back(e);
    for (int i = 0; i < e.kind; ++i) GrowTree(out, depth - 1, full, random);
}

bool HasAction(const GeneCode& code) {
    const auto& actions = Primitives().actions;
    return std::any_of(code.begin(), code.end(), [&](const GeneElement& e) {
        return std::find(actions.begin(), actions.end(), std::pair<int, int>(e.kind, e.index)) !=
               actions.end();
    });
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

GeneCode RampedGene(SearchRandom& random, int maxLength) {
    int depth = kRampLowest + random.Below(kRampHighest - kRampLowest + 1);
    const bool full = random.Chance(0.5);
    GeneCode gene;
    for (;;) {
        gene.clear();
        GrowTree(gene, depth, full, random);
        if (static_cast<int>(gene.size()) > maxLength) {
            depth = std::max(1, depth - 1);  // too big: a shallower tree next
            continue;
        }
        if (HasAction(gene)) break;
    }
    Normalise(gene);
    return gene;
}

bool PerturbConstant(GeneCode& gene, SearchRandom& random) {
    std::vector<std::size_t> constants;
    for (std::size_t i = 0; i < gene.size(); ++i) {
        if (gene[i].IsConstant()) constants.push_back(i);
    }
    if (constants.empty()) return false;
    GeneElement& e =
        gene[constants[static_cast<std::size_t>(random.Below(static_cast<int>(constants.size())))]];
    // Box-Muller: one normal draw from two uniform ones.
    const double normal =
        std::sqrt(-2.0 * std::log(Uniform(random))) * std::cos(2.0 * std::numbers::pi * Uniform(random));
    e.value += normal * std::max(0.2, 0.2 * std::fabs(e.value));
    Normalise(gene);
    return true;
}

void Vary(GeneCode& gene, SearchRandom& random, int maxLength, double constantRate) {
    if (constantRate > 0.0 && random.Chance(constantRate) && PerturbConstant(gene, random)) return;
    Mutate(gene, random, maxLength);
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
