// A creature that crowds against the ceiling: its neighbours push some nodes
// past the top of the box, where they are filed in the top layer until the
// ceiling brings them back, and the run goes on. Read literally, the grid
// rules would have ended it with the range error at the first such step.

#include <gtest/gtest.h>

#include "base/RunContext.h"
#include "support/WorldFixture.h"

namespace qm::test {
namespace {

// Grows slowly along its links and, once high up (far from a goal placed deep
// below), divides at every turn.
constexpr const char* kCeilingCrowd =
    "IFTE ( LT ( SMELL 0.000982 )\n"
    "       PROG2 ( SETP ( 0 1 ) GDIVIDE ( 0 ) )\n"
    "       IFT ( GT ( ECOUNT 0.2 ) PROG2 ( SETP ( 0 1 ) TDIVIDE ( 0 ) ) ) )\n";

// The layer a height names without the rule for the top and bottom layers.
int LiteralLayer(float y) { return static_cast<int>((y + 25.0) * 0.2); }

class CeilingCrowdTest : public WorldFixture {};

TEST_F(CeilingCrowdTest, ACreatureCrowdingTheCeilingRunsOnPastTheStepALiteralGridWouldEnd) {
    auto gene = CompileGene(kCeilingCrowd);
    world.SetGoalPos({0.0f, -1000.0f, 0.0f});
    world.InitWorld(gene.get());
    context.random.Seed(1);
    int firstOutside = 0;
    int outsideNodes = 0;
    for (int step = 1; step <= 60 && (firstOutside == 0 || step <= firstOutside + 3); ++step) {
        ASSERT_NO_THROW(world.Action()) << "step " << step;
        for (const auto& [id, node] : world.NodeMap()) {
            int literal = LiteralLayer(node->pos.y);
            if (literal >= kGridY || literal < 0) {
                ++outsideNodes;
                if (firstOutside == 0) firstOutside = step;
                ASSERT_EQ(world.CellIndex(node).iy, literal < 0 ? 0 : kGridY - 1);
            }
            // Every node is in the cell its position names.
            const NodeManager::Cell cell = world.CellAt(world.CellIndex(node));
            ASSERT_EQ(std::count(cell.begin(), cell.end(), node), 1) << "node " << id << ", step " << step;
        }
    }
    ASSERT_GT(firstOutside, 0) << "the creature never pressed a node past the ceiling";
    EXPECT_GT(outsideNodes, 3);
    // Nobody is filed twice or forgotten.
    std::size_t filed = 0;
    for (int ix = 0; ix < kGridX; ++ix) {
        for (int iy = 0; iy < kGridY; ++iy) {
            for (int iz = 0; iz < kGridZ; ++iz) filed += world.CellAt({ix, iy, iz}).size();
        }
    }
    EXPECT_EQ(filed, world.NodeMap().size());
}

}  // namespace
}  // namespace qm::test
