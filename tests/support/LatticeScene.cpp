#include "support/LatticeScene.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/Diagnostics.h"
#include "base/RunContext.h"
#include "gp/GPmanager.h"
#include "node/TNode.h"
#include "support/TestFiles.h"

namespace qm::scene {

const char* const kLatticeGene =
    "PROG3 ( ADDPAR ( 1 SMELL )\n"
    "        IFTE ( GROUND SETP ( 2 ECOUNT ) SUBPAR ( 2 0.1 ) )\n"
    "        SETCOLP ( 0 ADD ( 1 GETP ( 2 ) ) MAX ( 2 GETD ( 3 ) ) ) )\n";

const char* const kCrowdGene = "PROG2 ( ADDPAR ( 0 100 ) ) ( GDIVIDE ( 0 ) )\n";

namespace {

std::unique_ptr<Unit> Compile(const char* text) {
    TempFile source(text);
    Diagnostics quiet;
    quiet.SetSink([](std::string_view) {});
    auto gene = std::make_unique<Unit>();
    gene->Parse(GPmanager::GetInstance()->GetCode(source.Path(), quiet));
    return gene;
}

}  // namespace

std::unique_ptr<Unit> LatticeGene() { return Compile(kLatticeGene); }

std::unique_ptr<Unit> CrowdGene() { return Compile(kCrowdGene); }

void GrowCrowd(NodeManager& world, Unit& gene, unsigned seed, int steps) {
    world.Context().random.Seed(seed);
    world.InitWorld(&gene);
    for (int step = 0; step < steps; ++step) world.Action();
}

double NeighbourPairsPerNode(const NodeManager& world) {
    if (world.GetNodeCount() == 0) return 0.0;
    long long pairs = 0;
    for (const auto& [id, node] : world.NodeMap()) {
        const GridCell c = world.CellIndex(node);
        for (int a = c.ix - 1; a <= c.ix + 1; ++a) {
            for (int b = c.iy - 1; b <= c.iy + 1; ++b) {
                for (int d = c.iz - 1; d <= c.iz + 1; ++d) {
                    if (!SpatialGrid::InRange({a, b, d})) continue;
                    for (TNode* q : world.CellAt({a, b, d})) {
                        if (q != node && !RefMapList::Linked(node, q)) ++pairs;
                    }
                }
            }
        }
    }
    return static_cast<double>(pairs) / world.GetNodeCount();
}

void SeedLattice(NodeManager& world, Unit& gene, int count) {
    // As cube-like as ten layers allow: 1000 nodes are 10 x 10 x 10, 100,000 are 100 x 10 x 100.
    int layers = 1;
    while (layers < kGridY && layers * layers * layers < count) ++layers;
    int side = 1;
    while (side * side * layers < count) ++side;
    float spacing = kLatticeSpacing;
    if (side * kLatticeSpacing > 2 * kBoxHalfX - 20) {
        spacing = kDenseLatticeSpacing;
        layers = kDenseLatticeLayers;
        side = 1;
        while (side * side * layers < count) ++side;
    }
    TNode* left = nullptr;  // the node placed just before in the same row
    int placed = 0;
    for (int iy = 0; iy < layers && placed < count; ++iy) {
        for (int iz = 0; iz < side && placed < count; ++iz) {
            left = nullptr;
            for (int ix = 0; ix < side && placed < count; ++ix, ++placed) {
                TNode* node = world.NewNode(&gene);
                world.delFromGrid(node, world.CellIndex(node));
                node->SetPos((ix - side / 2) * spacing, -22.0f + iy * spacing, (iz - side / 2) * spacing);
                world.addToGrid(node, world.CellIndex(node));
                if (left && ix % 4 != 0) world.LinkNode(left, node);
                left = node;
            }
        }
    }
}

namespace {

struct Fnv {
    std::uint64_t h = 14695981039346656037ull;
    template <class T>
    void Add(const T& value) {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        for (unsigned char b : bytes) {
            h ^= b;
            h *= 1099511628211ull;
        }
    }
};

}  // namespace

std::uint64_t StateHash(const NodeManager& world) {
    Fnv fnv;
    for (const auto& [id, node] : world.NodeMap()) {
        for (const Vector3* v : {&node->pos, &node->vel, &node->force}) {
            fnv.Add(v->x);
            fnv.Add(v->y);
            fnv.Add(v->z);
        }
        for (double p : node->param) fnv.Add(p);
        fnv.Add(node->request);
        fnv.Add(node->edgeCount);
    }
    fnv.Add(world.Links().Size());
    return fnv.h;
}

namespace {

// Appends a subtree of exactly n elements; `turn` walks through the choices
// so that the tree mixes every kind of element.
void AppendTree(Unit& gene, int n, int& turn) {
    static const char* const kBinary[] = {"ADD", "MAX", "SUB", "ADDPAR", "MIN", "LT", "ADDDIF", "GT"};
    static const char* const kUnary[] = {"GETP", "ABS", "NEG", "GETD"};
    static const char* const kTerminal[] = {"SMELL", "ECOUNT", "GROUND"};
    static const double kConstants[] = {0.5, -0.25, 1.5, 3.0};
    GPmanager* gp = GPmanager::GetInstance();
    const int t = turn++;
    auto append = [&](const char* name) {
        GPfunction* f = gp->FindByName(name);
        gene.Append(GeneElement{f->kind, f->index, 0.0});
    };
    if (n == 1) {
        if (t % 2 == 0) {
            gene.Append(GeneElement{0, 0, kConstants[(t / 2) % 4]});
        } else {
            append(kTerminal[(t / 2) % 3]);
        }
    } else if (n == 2) {
        append(kUnary[t % 4]);
        AppendTree(gene, 1, turn);
    } else {
        append(kBinary[t % 8]);
        int leftSize = (n - 1) / 2;
        AppendTree(gene, leftSize, turn);
        AppendTree(gene, n - 1 - leftSize, turn);
    }
}

}  // namespace

std::unique_ptr<Unit> ArithmeticGene(int elements) {
    auto gene = std::make_unique<Unit>();
    int turn = 0;
    AppendTree(*gene, elements, turn);
    return gene;
}

}  // namespace qm::scene
