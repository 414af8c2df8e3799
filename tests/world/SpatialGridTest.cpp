// The grid of 5-unit cells: which cell a position names at the edges of the
// box, the neighbour block, moving between cells, the failure texts, and a
// position that is not a number.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/RunContext.h"
#include "support/ErrorOf.h"
#include "support/WorldFixture.h"

namespace qm::test {
namespace {

class SpatialGridTest : public WorldFixture {
  protected:
    GridCell CellOf(float x, float y, float z) {
        probe.SetPos(x, y, z);
        return world.CellIndex(&probe);
    }
    std::vector<TNode*> InCell(const GridCell& c) const {
        NodeManager::Cell cell = world.CellAt(c);
        return {cell.begin(), cell.end()};
    }
    TNode probe{nullptr, -1};
};

TEST_F(SpatialGridTest, CellsAreFiveUnitsFromTheLowerCornerOfTheBox) {
    EXPECT_EQ(CellOf(0.0f, 0.0f, 0.0f), (GridCell{100, 5, 100}));
    EXPECT_EQ(CellOf(4.99f, -0.01f, 5.0f), (GridCell{100, 4, 101}));
    EXPECT_EQ(CellOf(499.9f, 0.0f, 499.9f).ix, 199);
    EXPECT_EQ(CellOf(499.9f, 0.0f, 499.9f).iz, 199);
    EXPECT_EQ(CellOf(-500.0f, 0.0f, -500.0f).ix, 0);
    EXPECT_EQ(CellOf(-500.0f, 0.0f, -500.0f).iz, 0);
    // Truncation toward zero: up to 5 units below the lower edge is still cell 0.
    EXPECT_EQ(CellOf(-502.0f, 0.0f, -504.9f).ix, 0);
    EXPECT_EQ(CellOf(-502.0f, 0.0f, -504.9f).iz, 0);
    // Past a side wall: the outermost column (the wall brings the node back).
    EXPECT_EQ(CellOf(-505.5f, 0.0f, 0.0f).ix, 0);
    EXPECT_EQ(CellOf(500.0f, 0.0f, 0.0f).ix, 199);
    EXPECT_EQ(CellOf(0.0f, -25.0f, 0.0f).iy, 0);
    EXPECT_EQ(CellOf(0.0f, 24.9f, 0.0f).iy, 9);
}

TEST_F(SpatialGridTest, PositionsPastTheFloorOrTheCeilingNameTheBottomOrTopLayer) {
    EXPECT_EQ(CellOf(0.0f, 25.0f, 0.0f).iy, 9);
    EXPECT_EQ(CellOf(0.0f, 29.99f, 0.0f).iy, 9);
    EXPECT_EQ(CellOf(0.0f, 1000.0f, 0.0f).iy, 9);
    EXPECT_EQ(CellOf(0.0f, -29.9f, 0.0f).iy, 0);
    EXPECT_EQ(CellOf(0.0f, -35.0f, 0.0f).iy, 0);
    EXPECT_EQ(CellOf(0.0f, -1000.0f, 0.0f).iy, 0);
    // x and z the same way: past the box is the nearest cell.
    EXPECT_EQ(CellOf(0.0f, 30.0f, 500.0f), (GridCell{100, 9, 199}));
    EXPECT_EQ(CellOf(-503.0f, -30.0f, -600.0f), (GridCell{0, 0, 0}));
}

TEST_F(SpatialGridTest, APositionThatIsNotANumberIsAnErrorTextNotACell) {
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity()}) {
        probe.SetPos(0.0f, bad, 0.0f);
        std::string text = ErrorOf([&] { world.CellIndex(&probe); });
        EXPECT_NE(text.find("Node ID: " + std::to_string(probe.id)), std::string::npos) << text;
        EXPECT_NE(text.find("is not finite"), std::string::npos) << text;
    }
    // Far out but finite is the nearest cell rather than wrapping round.
    EXPECT_EQ(CellOf(1e30f, 0.0f, 0.0f).ix, kGridX - 1);
    EXPECT_EQ(CellOf(-1e30f, 0.0f, 0.0f).ix, 0);
}

TEST_F(SpatialGridTest, AddingOutsideTheGridFailsWithIndexesAndPosition) {
    probe.SetPos(500.0f, 0.0f, 0.0f);
    EXPECT_EQ(
        ErrorOf([&] {
            world.addToGrid(&probe, {200, 5, 100});
        }),
        FormatString("addToGrid(TNode*,int,int,int)\nグリッドのインデックス範囲を超えています Node ID: %d [ "
                     "200, 5, 100 ] ( 500.000000, 0.000000, 0.000000 )\n",
                     probe.id));
    EXPECT_EQ(
        ErrorOf([&] {
            world.addToGrid(&probe, {3, 10, 4});
        }),
        FormatString("addToGrid(TNode*,int,int,int)\nグリッドのインデックス範囲を超えています Node ID: %d [ "
                     "3, 10, 4 ] ( 500.000000, 0.000000, 0.000000 )\n",
                     probe.id));
}

TEST_F(SpatialGridTest, RemovingFailsWithIdThenIndexesOrIndexesThenId) {
    TNode* node = Place(0.0f, 0.0f, 0.0f);
    const int id = node->id;
    EXPECT_EQ(
        ErrorOf([&] {
            world.delFromGrid(node, {-1, 5, 100});
        }),
        FormatString(
            "delFromGrid(TNode*,int,int,int)\nノードグリッドのインデックス範囲を超えています Node ID: %d "
            "( -1, 5, 100 )\n",
            id));
    EXPECT_EQ(
        ErrorOf([&] {
            world.delFromGrid(node, {100, 5, 101});
        }),
        FormatString(
            "delFromGrid(TNode*,int,int,int)\nノードグリッド 100 5 101に Node ID: %d は見つかりません\n",
            id));
    // The one-argument form passes the cell of the position on, with its own line in front.
    node->SetPos(0.0f, 0.0f, 5.0f);  // moved without being refiled
    EXPECT_EQ(
        ErrorOf([&] { world.delFromGrid(node); }),
        FormatString("delFromGrid(TNode*)\ndelFromGrid(TNode*,int,int,int)\nノードグリッド 100 5 101に Node "
                     "ID: %d は見つかりません\n",
                     id));
    // Past a side wall the position names the outermost column.
    node->SetPos(600.0f, 0.0f, 0.0f);
    EXPECT_EQ(
        ErrorOf([&] { world.delFromGrid(node); }),
        FormatString("delFromGrid(TNode*)\ndelFromGrid(TNode*,int,int,int)\nノードグリッド 199 5 100に Node "
                     "ID: %d は見つかりません\n",
                     id));
    // None of this changed the grid.
    EXPECT_EQ(InCell({100, 5, 100}), std::vector<TNode*>{node});
    EXPECT_EQ(CountInGrid(node), 1);
}

TEST_F(SpatialGridTest, RemovingOneNodeKeepsTheOthersInTheirOrder) {
    TNode* a = Place(1.0f, 1.0f, 1.0f);
    TNode* b = Place(2.0f, 1.0f, 1.0f);
    TNode* c = Place(3.0f, 1.0f, 1.0f);
    EXPECT_EQ(InCell({100, 5, 100}), (std::vector<TNode*>{a, b, c}));
    world.delFromGrid(b);
    EXPECT_EQ(InCell({100, 5, 100}), (std::vector<TNode*>{a, c}));
}

// Cells grow through blocks of 4, 8, 16 entries and give them back; whatever
// the cells around them do, every cell keeps its nodes in the order filed.
TEST_F(SpatialGridTest, CellsKeepTheirOrderAsTheirStorageGrowsAndIsReused) {
    std::vector<std::vector<TNode*>> filed(3);
    const GridCell cells[3] = {{100, 5, 100}, {100, 5, 101}, {101, 5, 100}};
    for (int i = 0; i < 60; ++i) {
        const std::size_t k = static_cast<std::size_t>(i % 3 == 0 ? 0 : (i % 3 == 1 ? 1 : 2));
        TNode* node = Place(1.0f + 5.0f * static_cast<float>(cells[k].ix - 100), 1.0f,
                            1.0f + 5.0f * static_cast<float>(cells[k].iz - 100));
        filed[k].push_back(node);
        if (i % 7 == 6) {  // take out an early one now and then
            auto& list = filed[(k + 1) % 3];
            if (list.size() > 2) {
                world.delFromGrid(list[1]);
                list.erase(list.begin() + 1);
            }
        }
    }
    for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(InCell(cells[k]), filed[k]) << "cell " << k;
}

TEST_F(SpatialGridTest, AnEmptyWorldHoldsWellUnderAMegabyte) {
    NodeManager empty(context);
    EXPECT_LT(empty.ContainerBytes(), 64u * 1024u);
    world.initContainer();
    EXPECT_LT(world.ContainerBytes(), 64u * 1024u);
}

TEST_F(SpatialGridTest, TheNeighbourBlockIsTwentySevenCellsInsideAndFewerAtTheEdges) {
    struct Case {
        Vector3 at;
        int count;
    };
    for (const Case& c : {Case{{0.0f, 0.0f, 0.0f}, 27}, Case{{-500.0f, -25.0f, -500.0f}, 8},
                          Case{{499.0f, 24.0f, 499.0f}, 8}, Case{{-500.0f, 0.0f, 0.0f}, 18},
                          Case{{-500.0f, -25.0f, 0.0f}, 12}, Case{{0.0f, 24.0f, 0.0f}, 18}}) {
        probe.SetPos(c.at.x, c.at.y, c.at.z);
        GridCell own = world.CellIndex(&probe);
        int count = world.NeighbourCells(&probe);
        EXPECT_EQ(count, c.count) << c.at.x << " " << c.at.y << " " << c.at.z;
        // x outermost, z innermost, skipping cells outside the grid.
        std::vector<GridCell> expected;
        for (int a = own.ix - 1; a <= own.ix + 1; ++a) {
            for (int b = own.iy - 1; b <= own.iy + 1; ++b) {
                for (int d = own.iz - 1; d <= own.iz + 1; ++d) {
                    if (a >= 0 && a < kGridX && b >= 0 && b < kGridY && d >= 0 && d < kGridZ) {
                        expected.push_back({a, b, d});
                    }
                }
            }
        }
        std::vector<GridCell> got(world.NeighbourBuffer().begin(), world.NeighbourBuffer().begin() + count);
        EXPECT_EQ(got, expected);
        EXPECT_NE(std::find(got.begin(), got.end(), own), got.end());
    }
}

TEST_F(SpatialGridTest, ANodeThatMovesIntoAnotherCellIsRefiledThere) {
    TNode* node = Place(4.99f, 0.0f, 0.0f);
    node->SetVel(0.1f, 0.0f, 0.0f);
    context.random.Seed(1);
    world.Action();
    // Drag leaves 0.097: x = 5.087, cell 101.
    EXPECT_NEAR(node->pos.x, 5.087, 1e-5);
    EXPECT_EQ(world.CellIndex(node).ix, 101);
    EXPECT_TRUE(FiledWhereItIs(node));
    EXPECT_TRUE(world.CellAt({100, 4, 100}).empty());
    EXPECT_TRUE(world.CellAt({100, 5, 100}).empty());
}

TEST_F(SpatialGridTest, ReseedingTheWorldEmptiesEveryCell) {
    Place(100.0f, 0.0f, 100.0f);
    Place(-300.0f, -20.0f, 7.0f);
    world.InitWorld(idle.get());
    EXPECT_TRUE(world.CellAt({120, 5, 120}).empty());
    EXPECT_TRUE(world.CellAt({40, 1, 101}).empty());
    TNode* seed = world.NodeMap().begin()->second;
    EXPECT_EQ(InCell({100, 5, 100}), std::vector<TNode*>{seed});
}

// A program that makes its link length not a number: its springs then give
// every force, velocity and position that follows no value at all.
constexpr const char* kPoisonedLength =
    "PROG2 ( SETP ( 0 SUB ( POW4 ( 1e100 ) POW4 ( 1e100 ) ) ) ELENGTH ( 0 ) )";

TEST_F(SpatialGridTest, APositionThatStopsBeingFiniteEndsTheStepThroughTheErrorPath) {
    auto poisoned = CompileGene(kPoisonedLength);
    TNode* a = Place(0.0f, 0.0f, 0.0f, *poisoned);
    TNode* b = Place(5.0f, 0.0f, 0.0f);
    world.LinkNode(a, b);
    context.random.Seed(1);
    ASSERT_NO_THROW(world.Action());  // the length goes bad during this step; the springs act at the next
    std::string text = ErrorOf([&] { world.Action(); });
    const std::string chain = "NodeManager::Action; \nNodeManager::NodeAction; \n";
    ASSERT_EQ(text.compare(0, chain.size(), chain), 0) << text;
    EXPECT_NE(text.find("has left the world"), std::string::npos) << text;
    EXPECT_NE(text.find("is not finite"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace qm::test
