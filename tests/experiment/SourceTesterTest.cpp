// The experiment driver: loading and reloading the gene file, seeding and
// stepping its world, the pause key, the hooks that do nothing, and the chain
// of signature lines a goal or a bad file leaves on its way out.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "base/Errors.h"
#include "base/RunContext.h"
#include "experiment/SourceTester.h"
#include "support/DebugCapture.h"
#include "support/ErrorOf.h"
#include "support/ExpectedDraws.h"
#include "support/TestFiles.h"
#include "support/WorldFixture.h"
#include "world/NodeManager.h"

namespace qm::test {
namespace {

void Rewrite(const TempFile& file, const std::string& text) {
    std::ofstream(file.PathString(), std::ios::binary | std::ios::trunc) << text;
}

// The code string of the seed node of world 0, as kinds, indexes and values.
std::string SeedCode(const SourceTester& tester) {
    const NodeManager& world = *tester.Worlds().at(0);
    std::string text;
    for (const GeneElement& e : world.NodeMap().begin()->second->unit->Code()) {
        text += std::to_string(e.kind) + "," + std::to_string(e.index) +
                (e.IsConstant() ? "," + std::to_string(e.value) : "") + "+";
    }
    return text;
}

class SourceTesterTest : public ::testing::Test {
  protected:
    RunContext context;
    DebugCapture debug{context.diagnostics};
};

TEST_F(SourceTesterTest, InitMakesOneWorldSeededWithOneNodeFromTheFile) {
    TempFile file("ADD ( 1 SMELL )");
    SourceTester tester(context, file.PathString());
    EXPECT_EQ(tester.FileName(), file.PathString());
    EXPECT_TRUE(tester.Worlds().empty());
    debug.Clear();
    tester.Init();
    ASSERT_EQ(tester.Worlds().size(), 1u);
    const NodeManager& world = *tester.Worlds()[0];
    ASSERT_EQ(world.GetNodeCount(), 1);
    EXPECT_EQ(world.NodeMap().begin()->second->pos, Vector3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(SeedCode(tester), "2,7+0,0,1.000000+0,1+");
    EXPECT_TRUE(tester.IsDrawEnabled());
    // The loaded gene is printed to the debug output.
    const std::string printed = tester.Gene().ToString() + "\n";
    ASSERT_GE(debug.Text().size(), printed.size());
    EXPECT_EQ(debug.Text().substr(debug.Text().size() - printed.size()), printed);
}

TEST_F(SourceTesterTest, ResetWithoutANameReloadsTheFileLastUsed) {
    TempFile file("SMELL");
    SourceTester tester(context, file.PathString());
    tester.Init();
    const int firstId = tester.Worlds()[0]->NodeMap().begin()->first;
    Rewrite(file, "GROUND");
    tester.Reset("");
    EXPECT_EQ(tester.FileName(), file.PathString());
    EXPECT_EQ(SeedCode(tester), "0,2+");
    ASSERT_EQ(tester.Worlds()[0]->GetNodeCount(), 1);
    EXPECT_GT(tester.Worlds()[0]->NodeMap().begin()->first, firstId);  // ids keep rising
}

TEST_F(SourceTesterTest, ResetWithANameMakesThatFileTheOneForLaterResets) {
    TempFile first("SMELL");
    TempFile second("ECOUNT");
    SourceTester tester(context, first.PathString());
    tester.Init();
    tester.Reset(second.PathString());
    EXPECT_EQ(tester.FileName(), second.PathString());
    EXPECT_EQ(SeedCode(tester), "0,3+");
    Rewrite(first, "DIE");
    Rewrite(second, "GROUND");
    tester.Reset("");
    EXPECT_EQ(tester.FileName(), second.PathString());
    EXPECT_EQ(SeedCode(tester), "0,2+");
}

TEST_F(SourceTesterTest, ABadFileIsReportedThroughTheOperationThatLoadedIt) {
    TempFile file("SMELL");
    SourceTester tester(context, file.PathString());
    Rewrite(file, "ADD ( 1 )");
    EXPECT_EQ(ErrorOf([&] { tester.Init(); }), "PTester::Init()\nGPmanager::GetCode; 不正なコードです\n");
    Rewrite(file, "SMELL");
    tester.Reset("");
    EXPECT_EQ(ErrorOf([&] { tester.Reset("/nonexistent/quillmoth/gene.txt"); }),
              "PTester::Reset()\nGPmanager::GetCode; 不正なコードです\n");
    // The constructor has no line of its own.
    EXPECT_EQ(ErrorOf([&] { SourceTester missing(context, "/nonexistent/quillmoth/gene.txt"); }),
              "GPmanager::GetCode; 不正なコードです\n");
}

TEST_F(SourceTesterTest, KeyCode104PausesAndResumesTheWorldAndOtherKeysDoNothing) {
    TempFile file("0");
    SourceTester tester(context, file.PathString());
    tester.Init();
    NodeManager& world = *tester.Worlds()[0];
    tester.KeyDown(13);
    tester.KeyDown(72);
    EXPECT_TRUE(world.IsRunning());
    tester.KeyDown(104);
    EXPECT_FALSE(world.IsRunning());
    context.random.Seed(6);
    tester.Action();
    EXPECT_EQ(world.NodeMap().begin()->second->pos, Vector3(0.0f, 0.0f, 0.0f));
    tester.KeyDown(104);
    EXPECT_TRUE(world.IsRunning());
    tester.Action();
    EXPECT_EQ(world.NodeMap().begin()->second->pos, Vector3(0.0f, -0.01f, 0.0f));
}

TEST_F(SourceTesterTest, TestAndHaltDoNothing) {
    TempFile file("0");
    SourceTester tester(context, file.PathString());
    tester.Init();
    const NodeManager& world = *tester.Worlds()[0];
    context.random.Seed(21);
    tester.Action();
    const Vector3 after = world.NodeMap().begin()->second->pos;
    tester.Test();
    tester.Halt();
    tester.Test();
    EXPECT_EQ(world.NodeMap().begin()->second->pos, after);
    EXPECT_EQ(world.GetNodeCount(), 1);
    ExpectedDraws draws(21);
    draws.Skip(2);  // one node: one draw for the turn order, one after the loop
    EXPECT_EQ(context.random.Rand(), draws.Next());
}

TEST_F(SourceTesterTest, TheCentroidIsThatOfWorldZero) {
    TempFile file("0");
    SourceTester tester(context, file.PathString());
    tester.Init();
    context.random.Seed(2);
    for (int i = 0; i < 3; ++i) tester.Action();
    EXPECT_EQ(tester.GetCentroid(), tester.Worlds()[0]->GetCentroid());
    EXPECT_LT(tester.GetCentroid().y, -0.05f);
}

TEST_F(SourceTesterTest, ASeedThatFallsOntoTheGoalEndsTheRunWithTheFullChain) {
    // From rest, v(n) = -(1 - 0.97^n) / 3 and y(n) is the sum of v(1)..v(n).
    // The goal at (0, -24, 0) is reached once y(n) < -22, and the goal test of
    // the next step reports it.
    int reachedAfter = 0;
    for (int n = 1; n < 1000; ++n) {
        double y = -(n - 0.97 * (1.0 - std::pow(0.97, n)) / 0.03) / 3.0;
        if (y < -22.0) {
            ASSERT_GT(-22.0 - y, 1e-3) << "too close to call";
            reachedAfter = n;
            break;
        }
    }
    ASSERT_GT(reachedAfter, 0);

    TempFile file("0");
    SourceTester tester(context, file.PathString());
    tester.SetGoal({0.0f, -24.0f, 0.0f});
    tester.Init();
    const int id = tester.Worlds()[0]->NodeMap().begin()->first;
    context.random.Seed(1);
    for (int step = 1; step <= reachedAfter; ++step) {
        ASSERT_NO_THROW(tester.Action()) << "step " << step;
        tester.Test();
    }
    EXPECT_EQ(ErrorOf([&] { tester.Action(); }),
              "PTester::Action()\nNodeManager::Action; \nNodeManager::NodeAction; \n"
              "NodeManager::nodeAction(TNode*): Node ID: " +
                  std::to_string(id) + ";\nGOAL!\n");
}

}  // namespace
}  // namespace qm::test
