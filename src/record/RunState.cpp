#include "record/RunState.h"

#include <algorithm>
#include <map>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/RunContext.h"
#include "record/NodeFields.h"
#include "record/RecordError.h"
#include "record/RunStateGuard.h"
#include "world/NodeManager.h"

namespace qm::record {
namespace {

[[noreturn]] void Inconsistent(const std::string& what) { throw RecordError{"inconsistent: " + what}; }

// A field of a node into its record (Put) and back (Take), by the field's types.
template <class T>
void Put(T& out, const T& in) {
    out = in;
}
void Put(std::uint8_t& out, bool in) { out = in ? 1 : 0; }
void Put(float (&out)[3], const Vector3& v) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}
void Put(double (&out)[paramCount], const TNode::Params& in) { std::copy(in.begin(), in.end(), out); }
void Put(float* out, const ColorValue& c) {
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}
// Diffuse, ambient, specular, emissive (r, g, b, a each), power.
void Put(float (&out)[17], const Material& m) {
    Put(out, m.Diffuse);
    Put(out + 4, m.Ambient);
    Put(out + 8, m.Specular);
    Put(out + 12, m.Emissive);
    out[16] = m.Power;
}

template <class T>
void Take(T& out, const T& in) {
    out = in;
}
void Take(bool& out, std::uint8_t in) { out = in != 0; }
void Take(Vector3& out, const float (&in)[3]) { out = {in[0], in[1], in[2]}; }
void Take(TNode::Params& out, const double (&in)[paramCount]) { std::copy(in, in + paramCount, out.begin()); }
void Take(ColorValue& out, const float* in) { out = {in[0], in[1], in[2], in[3]}; }
void Take(Material& out, const float (&in)[17]) {
    Take(out.Diffuse, in);
    Take(out.Ambient, in + 4);
    Take(out.Specular, in + 8);
    Take(out.Emissive, in + 12);
    out.Power = in[16];
}

NodeRecord RecordOf(const TNode& n, std::int32_t gene, std::int32_t partnerCount) {
    NodeRecord r{};  // padding zeroed too: the file's bytes depend on nothing but the state
    ForEachNodeField([&]<class F, class N>(const char*, F NodeRecord::*field, N node, NodeFieldUse) {
        if constexpr (!std::is_null_pointer_v<N>) Put(r.*field, n.*node);
    });
    r.gene = gene;
    r.partnerCount = partnerCount;
    return r;
}

void Apply(const NodeRecord& r, TNode& n) {
    ForEachNodeField([&]<class F, class N>(const char*, F NodeRecord::*field, N node, NodeFieldUse use) {
        if constexpr (!std::is_null_pointer_v<N>) {
            if (use == NodeFieldUse::kApplied) Take(n.*node, r.*field);
        }
    });
}

std::vector<GeneElement> Elements(const RunState& state, std::size_t gene) {
    std::vector<GeneElement> code;
    for (std::uint64_t i = state.geneStarts[gene]; i < state.geneStarts[gene + 1]; ++i) {
        const ElementRecord& e = state.geneElements[i];
        code.push_back({e.kind, e.index, e.value});
    }
    return code;
}

// The position of `id` among the nodes, or -1.
std::ptrdiff_t IndexOf(const std::vector<NodeRecord>& nodes, std::int32_t id) {
    auto at = std::lower_bound(nodes.begin(), nodes.end(), id,
                               [](const NodeRecord& r, std::int32_t v) { return r.id < v; });
    return at != nodes.end() && at->id == id ? at - nodes.begin() : -1;
}

}  // namespace

RunState CaptureRun(const SourceTester& driver, long long step, const Manifest& manifest,
                    std::string geneSource) {
    if (driver.Worlds().size() != 1) throw RecordError{"only a driver with one world can be saved"};
    const NodeManager& world = *driver.Worlds()[0];
    if (!world.NewNodes().empty()) throw RecordError{"a world can be saved only between two steps"};
    RunState s;
    s.manifest = manifest;
    s.geneSource = std::move(geneSource);
    s.step = step;
    s.randomState = driver.Context().random.State();
    s.nextNodeId = driver.Context().nextNodeId;
    s.driver = driver.SaveState();
    s.running = world.IsRunning();
    s.selected = world.SelectedNode() ? world.SelectedNode()->id : -1;
    s.centroid = world.GetCentroid();
    s.goal = world.GoalPos();
    s.nodeLimit = world.NodeLimit();

    // Genes are shared between nodes until one changes: each shared code is saved once.
    std::map<const void*, std::int32_t> geneIndex;
    s.geneStarts.push_back(0);
    s.nodes.reserve(world.NodeMap().size());
    for (const auto& [id, node] : world.NodeMap()) {
        const std::vector<GeneElement>& code = node->unit->Code();
        auto [at, added] = geneIndex.emplace(&code, static_cast<std::int32_t>(geneIndex.size()));
        if (added) {
            for (const GeneElement& e : code) s.geneElements.push_back({e.kind, e.index, e.value});
            s.geneStarts.push_back(s.geneElements.size());
        }
        std::span<TNode* const> partners = world.Links().Partners(node);
        for (const TNode* p : partners) s.partners.push_back(p->id);
        s.nodes.push_back(RecordOf(*node, at->second, static_cast<std::int32_t>(partners.size())));
        s.parents.push_back(node->parent);
        s.births.push_back(node->born);
    }
    world.ForEachCell([&](const GridCell& c, std::span<const GridEntry> entries) {
        s.cells.push_back({c.ix, c.iy, c.iz, static_cast<std::uint32_t>(entries.size())});
        for (const GridEntry& e : entries) s.cellNodes.push_back(e.node->id);
    });
    for (const TNode* node : world.DeadNodes()) s.dying.push_back(node->id);
    return s;
}

void CheckRun(const RunState& s) {
    if (s.step < 0) Inconsistent("a negative step");
    if (s.nextNodeId < 0) Inconsistent("a negative next node id");
    if (s.nodeLimit < 1) Inconsistent("a node limit below 1");
    if (s.driver.nodeLimit && *s.driver.nodeLimit < 1) Inconsistent("a node limit below 1");

    // Genes.
    if (s.geneStarts.empty() || s.geneStarts.front() != 0 || s.geneStarts.back() != s.geneElements.size() ||
        !std::is_sorted(s.geneStarts.begin(), s.geneStarts.end())) {
        Inconsistent("the genes' starts do not divide their elements");
    }
    const std::size_t genes = s.geneStarts.size() - 1;

    // Nodes, ascending and below the id counter.
    std::size_t partnerEntries = 0;
    for (std::size_t i = 0; i < s.nodes.size(); ++i) {
        const NodeRecord& r = s.nodes[i];
        if (r.id < 0 || r.id >= s.nextNodeId)
            Inconsistent("node id " + std::to_string(r.id) + " out of range");
        if (i > 0 && r.id <= s.nodes[i - 1].id) Inconsistent("node ids that do not ascend");
        if (r.gene < 0 || static_cast<std::size_t>(r.gene) >= genes) Inconsistent("a node with no gene");
        if (r.partnerCount < 0 || r.partnerCount != r.edgeCount) {
            Inconsistent("node " + std::to_string(r.id) + " counts other links than it has");
        }
        partnerEntries += static_cast<std::size_t>(r.partnerCount);
    }
    if (partnerEntries != s.partners.size()) Inconsistent("the partner lists do not add up");

    // Lineage, when kept: a parent is older than its child (ids count up), and
    // no node is born after the step the state was taken at.
    if (s.parents.size() != s.births.size() || (!s.parents.empty() && s.parents.size() != s.nodes.size())) {
        Inconsistent("the lineage does not list every node once");
    }
    for (std::size_t i = 0; i < s.parents.size(); ++i) {
        if (s.parents[i] < -1 || s.parents[i] >= s.nodes[i].id) {
            Inconsistent("node " + std::to_string(s.nodes[i].id) + " has a parent that is not older than it");
        }
        if (s.births[i] < -1 || s.births[i] > s.step) {
            Inconsistent("node " + std::to_string(s.nodes[i].id) + " is born after the step saved");
        }
    }

    // Links: known partners, no link to itself or twice, and each both ways.
    std::vector<std::pair<std::int32_t, std::int32_t>> directed;
    directed.reserve(s.partners.size());
    std::size_t at = 0;
    for (const NodeRecord& r : s.nodes) {
        for (std::int32_t k = 0; k < r.partnerCount; ++k, ++at) {
            const std::int32_t p = s.partners[at];
            if (p == r.id || IndexOf(s.nodes, p) < 0)
                Inconsistent("node " + std::to_string(r.id) + " has a partner that is not there");
            directed.emplace_back(r.id, p);
        }
    }
    std::sort(directed.begin(), directed.end());
    if (std::adjacent_find(directed.begin(), directed.end()) != directed.end())
        Inconsistent("a link made twice");
    for (const auto& [a, b] : directed) {
        if (!std::binary_search(directed.begin(), directed.end(), std::make_pair(b, a))) {
            Inconsistent("a link from " + std::to_string(a) + " to " + std::to_string(b) + " but not back");
        }
    }

    // Dying nodes: flagged, listed once, unlinked, and in no cell.
    std::vector<int> listed(s.nodes.size(), 0);
    for (std::int32_t id : s.dying) {
        const std::ptrdiff_t i = IndexOf(s.nodes, id);
        if (i < 0 || !s.nodes[static_cast<std::size_t>(i)].dying || listed[static_cast<std::size_t>(i)]++) {
            Inconsistent("the dying nodes do not match the nodes");
        }
        if (s.nodes[static_cast<std::size_t>(i)].partnerCount != 0) Inconsistent("a dying node with links");
    }
    for (std::size_t i = 0; i < s.nodes.size(); ++i) {
        if (s.nodes[i].dying && !listed[i]) Inconsistent("the dying nodes do not match the nodes");
    }

    // Cells: in the grid, each once, and every live node in exactly one.
    std::size_t filed = 0;
    std::vector<int> seen(s.nodes.size(), 0);
    std::vector<std::tuple<int, int, int>> cells;
    for (const CellRecord& c : s.cells) {
        if (!SpatialGrid::InRange({c.ix, c.iy, c.iz})) Inconsistent("a cell outside the grid");
        if (c.count == 0 || c.count > s.cellNodes.size() - filed) Inconsistent("the cells do not add up");
        cells.emplace_back(c.ix, c.iy, c.iz);
        for (std::uint32_t k = 0; k < c.count; ++k, ++filed) {
            const std::ptrdiff_t i = IndexOf(s.nodes, s.cellNodes[filed]);
            if (i < 0 || s.nodes[static_cast<std::size_t>(i)].dying || seen[static_cast<std::size_t>(i)]++) {
                Inconsistent("a cell holds a node that is not there, is dying or is filed twice");
            }
        }
    }
    if (filed != s.cellNodes.size()) Inconsistent("the cells do not add up");
    std::sort(cells.begin(), cells.end());
    if (std::adjacent_find(cells.begin(), cells.end()) != cells.end()) Inconsistent("a cell listed twice");
    for (std::size_t i = 0; i < s.nodes.size(); ++i) {
        if (!s.nodes[i].dying && !seen[i])
            Inconsistent("node " + std::to_string(s.nodes[i].id) + " is in no cell");
    }

    if (s.selected != -1) {
        const std::ptrdiff_t i = IndexOf(s.nodes, s.selected);
        if (i < 0 || s.nodes[static_cast<std::size_t>(i)].dying)
            Inconsistent("the selected node is not there");
    }
    CheckPlacesAndGenes(s);
}

std::unique_ptr<SourceTester> RestoreRun(RunContext& context, const RunState& s) {
    std::unique_ptr<SourceTester> driver;
    std::vector<std::unique_ptr<Unit>> genes;
    try {
        driver = SourceTester::Restore(context, s.driver);
        for (std::size_t g = 0; g + 1 < s.geneStarts.size(); ++g) {
            genes.push_back(std::make_unique<Unit>());
            genes.back()->Assign(Elements(s, g));
        }
    } catch (const ErrorText& e) {
        throw RecordError{"a gene the loader refuses: " + std::string(Printable(e.text, 200))};
    }
    NodeManager& world = *driver->Worlds().at(0);
    world.SetGoalPos(s.goal);
    world.SetNodeLimit(s.nodeLimit);
    world.SetRunning(s.running);
    world.RestoreCentroid(s.centroid);

    std::vector<TNode*> nodes;
    nodes.reserve(s.nodes.size());
    for (const NodeRecord& r : s.nodes) {
        TNode* node = world.RestoreNode(r.id);
        Apply(r, *node);
        const std::size_t i = nodes.size();
        node->parent = s.parents.empty() ? -1 : s.parents[i];
        node->born = s.births.empty() ? -1 : s.births[i];
        node->unit->CopyFrom(*genes[static_cast<std::size_t>(r.gene)]);
        nodes.push_back(node);
    }
    auto byId = [&](std::int32_t id) { return nodes[static_cast<std::size_t>(IndexOf(s.nodes, id))]; };

    std::vector<TNode*> list;
    std::size_t at = 0;
    for (std::size_t i = 0; i < s.nodes.size(); ++i) {
        list.clear();
        for (std::int32_t k = 0; k < s.nodes[i].partnerCount; ++k) list.push_back(byId(s.partners[at++]));
        world.RestorePartners(nodes[i], list);
    }
    at = 0;
    for (const CellRecord& c : s.cells) {
        list.clear();
        for (std::uint32_t k = 0; k < c.count; ++k) list.push_back(byId(s.cellNodes[at++]));
        world.RestoreCell({c.ix, c.iy, c.iz}, list);
    }
    for (std::int32_t id : s.dying) world.RestoreDying(byId(id));
    if (s.selected != -1) world.SelectNode(byId(s.selected));

    context.nextNodeId = s.nextNodeId;
    context.random.Seed(s.randomState);
    return driver;
}

}  // namespace qm::record
