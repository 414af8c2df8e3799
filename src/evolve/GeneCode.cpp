#include "evolve/GeneCode.h"

#include <algorithm>
#include <cstdlib>

#include "base/Diagnostics.h"
#include "gp/GPfunction.h"
#include "gp/GPmanager.h"
#include "gp/Unit.h"

namespace qm::evolve {
namespace {

// Subtrees up to this many elements are written on one line.
constexpr int kOneLine = 7;
// The deepest indentation, in columns: beyond it deeper calls stay at this
// margin, so a gene nested thousands deep still writes a file compile reads
// (growing indentation alone made 1,500 levels 4.5 MB).
constexpr int kMostIndent = 40;

const GPfunction* FunctionOf(const GeneElement& e) {
    return GPmanager::GetInstance()->FindByCode(e.kind, e.index);
}

// Writes the subtree at `at` and returns the position after it.
std::size_t WriteTree(const GeneCode& code, std::size_t at, int indent, bool oneLine, std::string& out) {
    const GeneElement& e = code[at];
    if (e.IsConstant()) {
        out += FormatCodeNumber(e.value);
        return at + 1;
    }
    out += FunctionOf(e)->Name();
    if (e.kind == 0) return at + 1;
    const bool flat = oneLine || WalkSubtreeLength(code, static_cast<int>(at)) <= kOneLine;
    out += " (";
    std::size_t next = at + 1;
    for (int k = 0; k < e.kind; ++k) {
        if (flat) {
            out += ' ';
        } else {
            out += '\n';
            out.append(static_cast<std::size_t>(std::min(indent + 2, kMostIndent)), ' ');
        }
        next = WriteTree(code, next, indent + 2, flat, out);
    }
    if (flat) {
        out += " )";
    } else {
        out += '\n';
        out.append(static_cast<std::size_t>(std::min(indent, kMostIndent)), ' ');
        out += ')';
    }
    return next;
}

}  // namespace

GeneCode ParseCode(const std::string& codeString) {
    Unit unit;
    unit.Parse(codeString);
    return unit.Code();
}

std::string SourceText(const GeneCode& code) {
    std::string out;
    if (!code.empty()) WriteTree(code, 0, 0, false, out);
    out += '\n';
    return out;
}

void Normalise(GeneCode& code) {
    // Six decimals first (what a dump prints), then six significant digits
    // (what the code string holds), each read back as the loader reads it.
    for (GeneElement& e : code) {
        if (e.IsConstant()) e.value = std::strtod(FormatString("%lf", e.value).c_str(), nullptr);
    }
    GeneCode loaded = ParseCode(CodeString(code));
    for (std::size_t i = 0; i < code.size(); ++i) code[i].value = loaded[i].value;
}

int Depth(const GeneCode& code) {
    std::vector<int> open;  // arguments still missing, per open call
    int deepest = 0;
    for (const GeneElement& e : code) {
        deepest = std::max(deepest, static_cast<int>(open.size()) + 1);
        if (e.kind > 0) {
            open.push_back(e.kind);
            continue;
        }
        while (!open.empty() && --open.back() == 0) open.pop_back();
    }
    return deepest;
}

std::string ShapeProblem(const GeneCode& code, int maxLength) {
    if (code.empty()) return "the gene is empty";
    const int n = static_cast<int>(code.size());
    const int limit = std::min(maxLength, kMaxGeneElements);
    if (n > limit) return FormatString("the gene has %d elements; the limit is %d", n, limit);
    for (const GeneElement& e : code) {
        if (!FunctionOf(e)) return FormatString("the element (%d, %d) names no primitive", e.kind, e.index);
    }
    if (WalkSubtreeLength(code, 0) != n) {
        return "the gene is not one complete tree (its first expression ends before its last element)";
    }
    int balance = 0;
    for (const GeneElement& e : code) balance += 1 - e.kind;
    if (balance != 1) return "the gene is not one complete tree (arguments are missing)";
    const int depth = Depth(code);
    if (depth > kMaxGeneDepth)
        return FormatString("the gene nests %d calls deep; the limit is %d", depth, kMaxGeneDepth);
    return {};
}

GeneCode LoadGeneFile(const std::string& path, const Diagnostics& diagnostics) {
    return ParseCode(GPmanager::GetInstance()->GetCode(path.c_str(), diagnostics));
}

}  // namespace qm::evolve
