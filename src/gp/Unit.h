#pragma once
// A gene: an owned list of elements in prefix order, with its loader, copier,
// evaluator, printer and mutation.

#include <cstdint>
#include <string>
#include <vector>

#include "gp/GeneElement.h"

namespace qm {

class GPfunction;
class GPmanager;
class GeneHost;

class Unit {
  public:
    Unit();                         // a template gene, without a node
    explicit Unit(GeneHost* node);  // the gene of a node
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

    void Clear();
    void Parse(const std::string& codeString);
    void CopyFrom(const Unit& other);
    double Evaluate();
    std::string ToString();
    void Mutate();

    // Fills out with one complete random subtree of at most budget (>= 1) elements.
    void RandomTree(int budget, std::vector<GeneElement>& out) const;
    GeneElement RandomElement(int maxKind) const;

    const std::vector<GeneElement>& Code() const { return code; }
    void Append(const GeneElement& element);
    GeneHost* Node() const { return node; }

    // Length of the complete subtree at `from` (see SubUnit::SubtreeLength) and
    // the primitive of each element, computed once per change of the code.
    // The registry never changes, so neither cache can change a result.
    int SubtreeLengthAt(int from) const;
    GPfunction* FunctionAt(int position) const;

    GPmanager* gp;
    GeneHost* node;
    std::int32_t maxLength = 50;

  private:
    void Invalidate() { cacheValid = false; }
    void BuildCache() const;

    std::vector<GeneElement> code;
    mutable std::vector<int> subtreeLengths;
    mutable std::vector<GPfunction*> functions;
    mutable bool cacheValid = false;
};

// The straightforward walk: count elements from `from` until the balance of
// (1 - kind) first reaches 1, or to the end of the code.
int WalkSubtreeLength(const std::vector<GeneElement>& code, int from);

}  // namespace qm
