#pragma once
// A gene: a list of elements in prefix order, with its loader, copier,
// evaluator, printer and mutation.
//
// Every node carries a Unit, but the elements themselves (and what is derived
// from them) are shared: a copy shares its source's code, and a change (Parse,
// Append, Mutate, Clear) first takes a private copy. Children are copies of
// their parent, so a world of a million nodes holds one code, not a million.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gp/GeneElement.h"

namespace qm {

class GPfunction;
class GPmanager;
class GeneHost;
class NestingCounter;
class Random;

class Unit {
  public:
    Unit();                         // a template gene, without a node
    explicit Unit(GeneHost* node);  // the gene of a node
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

    void Clear();
    void Parse(const std::string& codeString);
    // Takes these elements (a gene saved in a checkpoint), refused like a code
    // string beyond the limits or with a kind outside 0..3.
    void Assign(const std::vector<GeneElement>& elements);
    void CopyFrom(const Unit& other);
    double Evaluate();
    std::string ToString();
    void Mutate(Random& random);

    // Fills out with one complete random subtree of at most budget (>= 1) elements.
    void RandomTree(Random& random, int budget, std::vector<GeneElement>& out) const;
    GeneElement RandomElement(Random& random, int maxKind) const;

    const std::vector<GeneElement>& Code() const { return shared->code; }
    void Append(const GeneElement& element);
    GeneHost* Node() const { return node; }

    // Length of the complete subtree at `from` (see SubUnit::SubtreeLength) and
    // the primitive of each element, computed once per change of the code.
    // The registry never changes, so neither cache can change a result.
    int SubtreeLengthAt(int from) const {
        if (!shared->cacheValid) BuildCache();
        return shared->subtreeLengths[static_cast<std::size_t>(from)];
    }
    GPfunction* FunctionAt(int position) const {
        if (!shared->cacheValid) BuildCache();
        return shared->functions[static_cast<std::size_t>(position)];
    }

    GPmanager* gp;
    GeneHost* node;
    std::int32_t maxLength = 50;

    // True when this gene shares its code with another (a copy not yet changed).
    bool SharesCodeWith(const Unit& other) const { return shared == other.shared; }

  private:
    // The code and what is derived from it. Shared between copies; never
    // changed while shared. The caches are filled on first use.
    struct Shared {
        std::vector<GeneElement> code;
        mutable std::vector<int> subtreeLengths;
        mutable std::vector<GPfunction*> functions;
        mutable bool cacheValid = false;
    };

    Shared& Own();  // the code, made private to this gene first if it is shared
    void AppendWithinLimits(const GeneElement& e, NestingCounter& nesting, const char* who);
    void BuildCache() const;

    std::shared_ptr<Shared> shared;
};

// True when `text` is a code string as the loader reads it (Unit::Parse):
// items "kind,index" or "0,0,number" with kind 0..3, at least one, separated
// by "+". The element and depth limits aside. A lone number ("3") is not one.
bool IsCodeString(const std::string& text);

// The straightforward walk: count elements from `from` until the balance of
// (1 - kind) first reaches 1, or to the end of the code.
int WalkSubtreeLength(const std::vector<GeneElement>& code, int from);

}  // namespace qm
