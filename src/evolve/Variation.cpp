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

// A node that asks to die on its first step ends most random genes at once
// (DIE is one of six terminals): a DIE drawn is drawn again once, so it
// stands where one in six terminals would stand only one time in six.
bool IsDie(const GeneElement& e) { return e.kind == 0 && e.index == 4; }

GeneElement Draw(const std::vector<GeneElement>& from, SearchRandom& random) {
    GeneElement e = from[static_cast<std::size_t>(random.Below(static_cast<int>(from.size())))];
    if (IsDie(e)) e = from[static_cast<std::size_t>(random.Below(static_cast<int>(from.size())))];
    return e;
}

int PickPoint(const GeneCode& code, SearchRandom& random) {
    std::vector<int> inner, leaves;
    for (int i = 0; i < static_cast<int>(code.size()); ++i) (code[i].kind > 0 ? inner : leaves).push_back(i);
    const std::vector<int>& from = !inner.empty() && random.Chance(kInnerPointRate) ? inner : leaves;
    return from[static_cast<std::size_t>(random.Below(static_cast<int>(from.size())))];
}

// Multiplicative constant steps: one of size sigma in log space.
constexpr double kConstantStep = 0.25;

}  // namespace

bool HasAction(const GeneCode& code) {
    const auto& actions = Primitives().actions;
    return std::any_of(code.begin(), code.end(), [&](const GeneElement& e) {
        return std::find(actions.begin(), actions.end(), std::pair<int, int>(e.kind, e.index)) !=
               actions.end();
    });
}

double RandomConstant(SearchRandom& random) { return random.LogUniform(-3.0, 4.0); }

void GrowTree(GeneCode& out, int depth, bool full, SearchRandom& random) {
    const PrimitiveTable& p = Primitives();
    const std::vector<GeneElement>& from = depth <= 1 ? p.terminals : (full ? p.functions : p.all);
    GeneElement e = Draw(from, random);
    if (e.IsConstant()) e.value = RandomConstant(random);
    out.push_back(e);
    for (int i = 0; i < e.kind; ++i) GrowTree(out, depth - 1, full, random);
}

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
    // A step in proportion to the value keeps a scale of 5,000 and one of
    // 0.005 equally movable; a 0 has no scale and is drawn afresh.
    e.value = e.value == 0.0 ? RandomConstant(random) : e.value * std::exp(kConstantStep * random.Normal());
    Normalise(gene);
    return true;
}

bool CopyWithin(GeneCode& gene, SearchRandom& random, int maxLength) {
    std::vector<std::size_t> constants;
    for (std::size_t i = 0; i < gene.size(); ++i) {
        if (gene[i].IsConstant()) constants.push_back(i);
    }
    if (constants.size() >= 2 && random.Chance(0.5)) {
        const int n = static_cast<int>(constants.size());
        const std::size_t from = constants[static_cast<std::size_t>(random.Below(n))];
        const std::size_t to = constants[static_cast<std::size_t>(random.Below(n))];
        if (from == to || gene[to].value == gene[from].value) return false;
        gene[to].value = gene[from].value;
        return true;
    }
    if (gene.size() < 2) return false;
    const int n = static_cast<int>(gene.size());
    const int from = random.Below(n);
    const int to = random.Below(n);
    const int copied = WalkSubtreeLength(gene, from);
    const int replaced = WalkSubtreeLength(gene, to);
    if (from == to || n - replaced + copied > maxLength) return false;
    const GeneCode subtree(gene.begin() + from, gene.begin() + from + copied);
    GeneCode child(gene.begin(), gene.begin() + to);
    child.insert(child.end(), subtree.begin(), subtree.end());
    child.insert(child.end(), gene.begin() + to + replaced, gene.end());
    if (Depth(child) > kMaxGeneDepth) return false;
    gene = std::move(child);
    return true;
}

void Vary(GeneCode& gene, SearchRandom& random, int maxLength, double constantRate, double copyRate) {
    if (constantRate > 0.0 && random.Chance(constantRate) && PerturbConstant(gene, random)) return;
    if (copyRate > 0.0 && random.Chance(copyRate) && CopyWithin(gene, random, maxLength)) return;
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
