// The step is the hot path: a step allocates nothing for its nodes. The one
// thing that may still allocate is the storage of a cell a node moves into
// (cells keep their storage once they have it), so a step makes at most one
// allocation per move between cells, however many nodes the world holds.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/RunContext.h"
#include "support/AllocationCounter.h"
#include "support/LatticeScene.h"
#include "support/WorldFixture.h"

namespace qm::test {
namespace {

class SteadyStateTest : public WorldFixture {
  protected:
    std::vector<GridCell> Cells() const {
        std::vector<GridCell> cells;
        cells.reserve(world.NodeMap().size());
        for (const auto& [id, node] : world.NodeMap()) cells.push_back(world.CellIndex(node));
        return cells;
    }
};

TEST_F(SteadyStateTest, AStepAllocatesOnlyForCellsThatNodesMoveInto) {
    auto gene = scene::LatticeGene();
    for (int count : {1000, 4000}) {
        world.initContainer();
        scene::SeedLattice(world, *gene, count);
        context.random.Seed(5);
        for (int step = 0; step < 5; ++step) world.Action();  // first use of the scratch storage
        long allocations = 0;
        long moves = 0;
        for (int step = 0; step < 10; ++step) {
            const std::vector<GridCell> before = Cells();
            const long start = AllocationCount();
            world.Action();
            allocations += AllocationCount() - start;
            const std::vector<GridCell> after = Cells();
            for (std::size_t i = 0; i < before.size(); ++i) moves += before[i] == after[i] ? 0 : 1;
        }
        RecordProperty("allocations_" + std::to_string(count), std::to_string(allocations));
        RecordProperty("moves_" + std::to_string(count), std::to_string(moves));
        EXPECT_LE(allocations, moves) << count << " nodes";
        // Fewer moves than half the node-steps: one allocation per node and step would break the bound.
        EXPECT_LT(moves, count * 10 / 2);
    }
}

}  // namespace
}  // namespace qm::test
