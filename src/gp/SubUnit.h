#pragma once
// A short-lived view of one subtree of a gene: where it starts and how many
// elements it covers. Evaluating the view walks the flat prefix list as an
// expression tree; the same views print the tree as indented text.

#include <array>
#include <cstdint>
#include <string>

namespace qm {

class GPfunction;
class Unit;

class SubUnit {
  public:
    SubUnit(Unit* unit, int start, int size);

    double Operate();
    std::string ToString();

    // Number of elements of the complete subtree starting at `from`; when the
    // code ends first, the number of elements up to the end (0 at the end).
    void SubtreeLength(int from, int& count) const;

    Unit* unit;
    std::int32_t start;
    std::int32_t size;
    static constexpr const char* indent = "  ";
    std::int32_t depth = 0;

  private:
    using Arguments = std::array<SubUnit, 3>;
    Arguments CutArguments(int kind) const;
    void AppendTo(std::string& out);
    void zeroArgFunc(std::string& out, int element, int depth) const;
    void oneArgFunc(std::string& out, int element, SubUnit& a) const;
    void towArgsFunc(std::string& out, int element, SubUnit& a, SubUnit& b) const;
    void thrArgsFunc(std::string& out, int element, SubUnit& a, SubUnit& b, SubUnit& c) const;
    void OpenCall(std::string& out, const GPfunction& f) const;
    void CloseCall(std::string& out) const;
    static void AppendIndent(std::string& out, int depth);
};

}  // namespace qm
