// The scenes the benchmarks time: they must be what they claim, or the
// figures measure something else.

#include <gtest/gtest.h>

#include "base/RunContext.h"
#include "support/LatticeScene.h"
#include "support/WorldFixture.h"

namespace qm::test {
namespace {

class LatticeSceneTest : public WorldFixture {};

TEST_F(LatticeSceneTest, ALatticeOfAThousandIsTenCubedWithChainsOfFourAndStaysAlive) {
    auto gene = scene::LatticeGene();
    ASSERT_EQ(gene->Code().size(), 22u);
    scene::SeedLattice(world, *gene, 1000);
    ASSERT_EQ(world.GetNodeCount(), 1000);
    // Rows of ten joined as 4 + 4 + 2: 3 + 3 + 1 links a row, 100 rows.
    EXPECT_EQ(world.Links().Size(), 700u);
    for (const auto& [id, node] : world.NodeMap()) {
        ASSERT_GE(node->pos.y, -22.0f);
        ASSERT_LE(node->pos.y, 14.0f);
        ASSERT_TRUE(world.CellAt(world.CellIndex(node)).size() >= 1);
    }
    const int nextId = context.nextNodeId;
    context.random.Seed(1);
    for (int step = 0; step < 5; ++step) ASSERT_NO_THROW(world.Action());
    EXPECT_EQ(world.GetNodeCount(), 1000);
    EXPECT_EQ(context.nextNodeId, nextId);  // nobody divided
    EXPECT_EQ(world.Links().Size(), 700u);
}

TEST_F(LatticeSceneTest, TheSameSceneAndSeedGiveTheSameStateHash) {
    auto gene = scene::LatticeGene();
    scene::SeedLattice(world, *gene, 200);
    context.random.Seed(3);
    for (int step = 0; step < 4; ++step) world.Action();
    const std::uint64_t first = scene::StateHash(world);
    RunContext againContext;
    NodeManager again(againContext);
    scene::SeedLattice(again, *gene, 200);
    againContext.random.Seed(3);
    for (int step = 0; step < 4; ++step) again.Action();
    EXPECT_EQ(scene::StateHash(again), first);
    again.Action();
    EXPECT_NE(scene::StateHash(again), first);
}

TEST_F(LatticeSceneTest, ArithmeticGenesHaveExactlyTheirSizeAndNeitherDivideNorDie) {
    for (int elements : {1, 2, 3, 10, 50, 500}) {
        auto gene = scene::ArithmeticGene(elements);
        ASSERT_EQ(static_cast<int>(gene->Code().size()), elements);
        EXPECT_EQ(WalkSubtreeLength(gene->Code(), 0), elements);  // one complete tree
        TNode* node = Place(0.0f, 0.0f, 0.0f, *gene);
        for (int i = 0; i < 100; ++i) ASSERT_NO_THROW(node->Run());
        EXPECT_EQ(node->request, 0);
    }
}

}  // namespace
}  // namespace qm::test
