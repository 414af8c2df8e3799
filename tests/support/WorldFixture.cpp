#include "support/WorldFixture.h"

#include <algorithm>

#include "gp/GPmanager.h"
#include "support/TestFiles.h"

namespace qm::test {

std::unique_ptr<Unit> CompileGene(const std::string& source) {
    TempFile file(source);
    DebugCapture quiet;
    auto gene = std::make_unique<Unit>();
    gene->Parse(GPmanager::GetInstance()->GetCode(file.Path(), quiet.Target()));
    return gene;
}

WorldFixture::WorldFixture() : idle(CompileGene("0")) {}

TNode* WorldFixture::Place(float x, float y, float z) { return Place(x, y, z, *idle); }

TNode* WorldFixture::Place(float x, float y, float z, Unit& gene) {
    TNode* node = world.NewNode(&gene);
    MoveTo(node, x, y, z);
    return node;
}

void WorldFixture::MoveTo(TNode* node, float x, float y, float z) {
    world.delFromGrid(node, world.CellIndex(node));
    node->SetPos(x, y, z);
    world.addToGrid(node, world.CellIndex(node));
}

TNode* WorldFixture::Find(int id) const {
    auto it = world.NodeMap().find(id);
    return it == world.NodeMap().end() ? nullptr : it->second;
}

int WorldFixture::CountInGrid(const TNode* node) const {
    int count = 0;
    for (int ix = 0; ix < kGridX; ++ix) {
        for (int iy = 0; iy < kGridY; ++iy) {
            for (int iz = 0; iz < kGridZ; ++iz) {
                const NodeManager::Cell& cell = world.CellAt({ix, iy, iz});
                count += static_cast<int>(std::count(cell.begin(), cell.end(), node));
            }
        }
    }
    return count;
}

bool WorldFixture::FiledWhereItIs(const TNode* node) const {
    GridCell c = world.CellIndex(node);
    if (c.ix < 0 || c.ix >= kGridX || c.iy < 0 || c.iy >= kGridY || c.iz < 0 || c.iz >= kGridZ) return false;
    const NodeManager::Cell& cell = world.CellAt(c);
    return std::count(cell.begin(), cell.end(), node) == 1 && CountInGrid(node) == 1;
}

}  // namespace qm::test
