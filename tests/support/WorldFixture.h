#pragma once
// A world to place nodes in by hand, for tests of the step, the grid, the
// links and the walls: each node goes exactly where the test puts it and is
// filed in the cell of that position, with no step having run.

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "base/RunContext.h"
#include "gp/Unit.h"
#include "node/TNode.h"
#include "support/DebugCapture.h"
#include "world/NodeManager.h"

namespace qm {
// Readable vectors in test failures.
inline void PrintTo(const Vector3& v, std::ostream* os) {
    *os << "(" << v.x << ", " << v.y << ", " << v.z << ")";
}
}  // namespace qm

namespace qm::test {

// A gene compiled from source text, e.g. "PROG2 ( SETP ( 0 1 ) GDIVIDE ( 0 ) )".
std::unique_ptr<Unit> CompileGene(const std::string& source);

class WorldFixture : public ::testing::Test {
  protected:
    WorldFixture();

    // A node with the idle gene (the constant 0), or with `gene`, at rest at (x, y, z).
    TNode* Place(float x, float y, float z);
    TNode* Place(float x, float y, float z, Unit& gene);
    // Puts a node somewhere else and files it in the cell of its new position.
    void MoveTo(TNode* node, float x, float y, float z);
    // The node of this id in nodeMap, or null.
    TNode* Find(int id) const;
    // How many grid cells hold the node (a scan of the whole grid).
    int CountInGrid(const TNode* node) const;
    // True when the node is in the cell its position names, and nowhere else.
    bool FiledWhereItIs(const TNode* node) const;

    // The world's run: its generator, node ids and captured debug output.
    RunContext context;
    DebugCapture debug{context.diagnostics};
    std::unique_ptr<Unit> idle;
    NodeManager world{context};
};

}  // namespace qm::test
