// The step's neighbour loop (batched, on the grid's copies of positions and
// forces) against the straightforward one (NeighbourCells, isLink and
// IntNodeRepForce for every pair): the same bits after every step, for
// creatures that grow into dense heaps, that die, and that cut their links.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/RunContext.h"
#include "support/LatticeScene.h"
#include "support/WorldFixture.h"

namespace qm::test {
namespace {

// The state hash after each step of `steps`, the world seeded with one node of `source`.
std::vector<std::uint64_t> Run(const std::string& source, unsigned seed, int steps,
                               NodeManager::NeighbourLoop loop) {
    auto gene = CompileGene(source);
    RunContext context;
    NodeManager world(context);
    world.SetNeighbourLoop(loop);
    context.random.Seed(seed);
    world.InitWorld(gene.get());
    std::vector<std::uint64_t> hashes;
    for (int step = 0; step < steps; ++step) {
        world.Action();
        hashes.push_back(scene::StateHash(world));
    }
    return hashes;
}

void ExpectSameSteps(const std::string& source, unsigned seed, int steps) {
    const auto plain = Run(source, seed, steps, NodeManager::NeighbourLoop::Plain);
    const auto batched = Run(source, seed, steps, NodeManager::NeighbourLoop::Batched);
    ASSERT_EQ(plain.size(), batched.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        ASSERT_EQ(batched[i], plain[i]) << source << ": first difference after step " << i + 1;
    }
}

TEST(NeighbourLoopTest, BatchedAndPlainLoopsAgreeBitForBitOverWholeRuns) {
    // 1,024 nodes heaped on the floor: cells of dozens, batches that fill up.
    ExpectSameSteps(scene::kCrowdGene, 3, 1000);
    // Division only below four links, and death: nodes leave the grid mid-loop.
    ExpectSameSteps(
        "PROG3 ( SETP 0 ( ADD ( GETP 0 ) 0.2 ) ) ( IFT ( GT ECOUNT 0.2 ) ( GDIVIDE 0 ) )"
        " ( IFTE ( GT ( GETP 2 ) 3 ) DIE ( PROG2 ( ADDPAR 2 ( MUL SMELL 300 ) ) ( IMPULSE 3 1 ) ) )",
        1, 400);
    // Both divisions, pulses and cut links.
    ExpectSameSteps(
        "PROG3 ( SETP 0 ( ADD ( GETP 0 ) 0.1 ) )"
        " ( IFT ( GT ECOUNT 0.2 ) ( IFTE ( GT ( GETP 1 ) 0.5 ) ( TDIVIDE 0 ) ( GDIVIDE ( 0 ) ) ) )"
        " ( PROG3 ( ADDPAR 1 SMELL ) ( PULSE ( 3 ) ) ( IFTE ( LT ECOUNT 0.15 ) ( CUTEDGE ) ( ELENGTH 4 ) ) )",
        2, 200);
}

class NeighbourLoopWorldTest : public WorldFixture {};

TEST_F(NeighbourLoopWorldTest, ForcesAndPositionsSetBetweenStepsAreWhatTheNextStepSees) {
    // Two worlds of the same three nodes, one stepped each way; between steps
    // a node is put somewhere else by hand and another is given a force.
    auto build = [](NodeManager& w, Unit& gene) {
        std::vector<TNode*> nodes;
        for (float x : {0.0f, 1.0f, 2.5f}) {
            TNode* n = w.NewNode(&gene);
            w.delFromGrid(n, w.CellIndex(n));
            n->SetPos(x, -10.0f, 0.5f * x);
            w.addToGrid(n, w.CellIndex(n));
            nodes.push_back(n);
        }
        return nodes;
    };
    RunContext plainContext;
    NodeManager plainWorld(plainContext);
    plainWorld.SetNeighbourLoop(NodeManager::NeighbourLoop::Plain);
    std::vector<TNode*> plain = build(plainWorld, *idle);
    std::vector<TNode*> batched = build(world, *idle);
    for (int step = 0; step < 6; ++step) {
        if (step == 3) {
            for (auto* nodes : {&plain, &batched}) {
                (*nodes)[1]->pos.x += 0.25f;  // within its cell, not refiled: the old code read it live
                (*nodes)[2]->AddForce(0.5f, 0.0f, -0.5f);
            }
        }
        plainContext.random.Seed(9);
        plainWorld.Action();
        context.random.Seed(9);
        world.Action();
        for (std::size_t i = 0; i < plain.size(); ++i) {
            ASSERT_EQ(batched[i]->pos, plain[i]->pos) << "node " << i << ", step " << step;
            ASSERT_EQ(batched[i]->force, plain[i]->force) << "node " << i << ", step " << step;
            ASSERT_EQ(batched[i]->vel, plain[i]->vel) << "node " << i << ", step " << step;
        }
    }
}

}  // namespace
}  // namespace qm::test
