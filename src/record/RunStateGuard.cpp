#include "record/RunStateGuard.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "record/RecordError.h"
#include "record/Sha256.h"
#include "world/SpatialGrid.h"

namespace qm::record {
namespace {

[[noreturn]] void Inconsistent(const std::string& what) { throw RecordError{"inconsistent: " + what}; }

std::string CellText(int x, int y, int z) {
    return "(" + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(z) + ")";
}

// Empty when `code` is one whole expression of known primitives; else why not.
template <class Element>
std::string GeneFault(const Element* code, std::size_t size) {
    if (size == 0) return "is empty";
    const GPmanager& gp = *GPmanager::GetInstance();
    long long open = 1;  // expressions still to come
    for (std::size_t i = 0; i < size; ++i) {
        const Element& e = code[i];
        if (e.kind < 0 || e.kind > 3 || (!(e.kind == 0 && e.index == 0) && !gp.FindByCode(e.kind, e.index))) {
            return "holds an element (kind " + std::to_string(e.kind) + ", index " + std::to_string(e.index) +
                   ") that names no primitive";
        }
        if (open == 0) return "goes on past its end";
        open += e.kind - 1;
    }
    return open == 0 ? "" : "ends inside an expression";
}

// Whether the saved gene file's text compiles to the run's gene: the gene a
// resumed run goes on with must be the one its record names.
bool SourceGivesGene(const RunState& s) {
    Diagnostics quiet;
    quiet.SetSink([](std::string_view) {});
    std::vector<GeneElement> compiled;
    try {
        Unit unit;
        unit.Parse(GPmanager::GetInstance()->Compile(s.geneSource, quiet));
        compiled = unit.Code();
    } catch (const ErrorText&) {
        return false;
    }
    return std::equal(compiled.begin(), compiled.end(), s.driver.gene.begin(), s.driver.gene.end(),
                      [](const GeneElement& a, const GeneElement& b) {
                          return a.kind == b.kind && a.index == b.index &&
                                 (!a.IsConstant() || std::bit_cast<std::uint64_t>(a.value) ==
                                                         std::bit_cast<std::uint64_t>(b.value));
                      });
}

}  // namespace

std::size_t PartnerEntries(const std::vector<NodeRecord>& nodes) {
    std::size_t entries = 0;
    for (const NodeRecord& r : nodes)
        entries += r.partnerCount > 0 ? static_cast<std::size_t>(r.partnerCount) : 0;
    return entries;
}

void CheckPlacesAndGenes(const RunState& s) {
    // The grid of a restored world has its origin at 0, 0, 0, as every world's.
    std::size_t filed = 0;
    for (const CellRecord& c : s.cells) {
        for (std::uint32_t k = 0; k < c.count; ++k, ++filed) {
            const std::int32_t id = s.cellNodes[filed];
            // CheckRun found the ids ascending and every filed one among them.
            const auto found = std::lower_bound(s.nodes.begin(), s.nodes.end(), id,
                                                [](const NodeRecord& n, std::int32_t v) { return n.id < v; });
            if (found == s.nodes.end() || found->id != id)
                Inconsistent("a cell holds a node that is not there");
            const NodeRecord* r = &*found;
            if (!std::isfinite(r->pos[0]) || !std::isfinite(r->pos[1]) || !std::isfinite(r->pos[2])) {
                Inconsistent("node " + std::to_string(id) + " is at a position that is not a number");
            }
            const GridCell at = CellOf(r->pos[0], r->pos[1], r->pos[2], 0, 0, 0);
            if (at.ix != c.ix || at.iy != c.iy || at.iz != c.iz) {
                Inconsistent("node " + std::to_string(id) + " is filed in cell " +
                             CellText(c.ix, c.iy, c.iz) + " but its position is in cell " +
                             CellText(at.ix, at.iy, at.iz));
            }
        }
    }

    const std::string driverFault = GeneFault(s.driver.gene.data(), s.driver.gene.size());
    if (!driverFault.empty()) Inconsistent("the run's gene " + driverFault);
    for (std::size_t g = 0; g + 1 < s.geneStarts.size(); ++g) {
        const std::string fault =
            GeneFault(s.geneElements.data() + s.geneStarts[g], s.geneStarts[g + 1] - s.geneStarts[g]);
        if (!fault.empty()) Inconsistent("gene " + std::to_string(g) + " " + fault);
    }

    if (!s.manifest.geneSha256.empty() && Sha256Hex(s.geneSource) != s.manifest.geneSha256) {
        Inconsistent("the saved gene file does not match the SHA-256 its manifest names");
    }
    // A run of a gene given in memory saves no file.
    if (!s.geneSource.empty() && !SourceGivesGene(s))
        Inconsistent("the saved gene file does not give the run's gene");
}

}  // namespace qm::record
