// A run's state taken between two steps and brought back in the same process
// (what the window does with a checkpoint): the world goes on exactly as the
// one it was taken from; a state whose parts disagree is refused before
// anything is built from it. The checkpoint's table of nodes follows the one
// list of a node's fields, and a checkpoint an earlier build wrote still reads.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "base/Errors.h"
#include "base/RunContext.h"
#include "experiment/SourceTester.h"
#include "record/NodeFields.h"
#include "record/RunCheckpoint.h"
#include "record/RunState.h"
#include "record/TraceJson.h"
#include "support/DebugCapture.h"
#include "support/TestFiles.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

// Divides both ways, cuts links, sends values along them and dies when old.
constexpr const char* kGene =
    "PROG3 ( SETP 0 ( ADD ( GETP 0 ) 0.1 ) )\n"
    "      ( IFT ( GT ECOUNT 0.2 ) ( IFTE ( GT ( GETP 1 ) 0.5 ) ( TDIVIDE 0 ) ( GDIVIDE ( 0 ) ) ) )\n"
    "      ( PROG3 ( PROG2 ( ADDPAR 1 SMELL ) ( PULSE ( 3 ) ) ) ( ADDPAR 7 1 )\n"
    "              ( IFTE ( GT ( GETP 7 ) 1.2 ) DIE ( IFTE ( LT ECOUNT 0.15 ) ( CUTEDGE ) ( ELENGTH 4 ) ) ) "
    ")";

record::Manifest Manifest() {
    record::Manifest m;
    m.seed = 9;
    m.steps = 200;
    m.maxNodes = 100000;
    return m;
}

std::vector<std::string> Steps(PTester& driver, int steps) {
    std::vector<std::string> lines;
    record::JsonOut line;
    for (int i = 1; i <= steps; ++i) {
        driver.Action();
        line.Clear();
        record::AppendTraceLine(line, i, *driver.Worlds().at(0));
        lines.push_back(line.Text());
    }
    return lines;
}

class RunStateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        context.random.Seed(9);
        try {
            driver = std::make_unique<SourceTester>(context, gene.PathString());
            driver->Init();
            for (int i = 0; i < 60; ++i) driver->Action();
            state = record::CaptureRun(*driver, 60, Manifest(), kGene);
        } catch (const ErrorText& e) {
            FAIL() << e.text;
        } catch (const record::RecordError& e) {
            FAIL() << e.message;
        }
    }

    RunContext context;
    test::DebugCapture quiet{context.diagnostics};
    TempFile gene{kGene};
    std::unique_ptr<SourceTester> driver;
    record::RunState state;
};

TEST_F(RunStateTest, ARestoredWorldGoesOnAsTheOneItWasTakenFrom) {
    ASSERT_GT(state.nodes.size(), 10u);
    const std::vector<std::string> original = Steps(*driver, 80);

    // Each brought back in a run of its own.
    RunContext restoredRun, loadedRun, againRun;
    std::unique_ptr<SourceTester> restored = record::RestoreRun(restoredRun, state);
    EXPECT_EQ(Steps(*restored, 80), original);

    // The same through a checkpoint file.
    TempFile file("", ".h5");
    record::WriteCheckpoint(file.PathString(), state);
    std::unique_ptr<SourceTester> loaded =
        record::RestoreRun(loadedRun, record::ReadCheckpoint(file.PathString()));
    EXPECT_EQ(Steps(*loaded, 80), original);

    // And its state taken again is the saved one, table by table.
    std::unique_ptr<SourceTester> again = record::RestoreRun(againRun, state);
    const record::RunState twice = record::CaptureRun(*again, 60, Manifest(), kGene);
    ASSERT_EQ(twice.nodes.size(), state.nodes.size());
    EXPECT_EQ(
        std::memcmp(twice.nodes.data(), state.nodes.data(), state.nodes.size() * sizeof(record::NodeRecord)),
        0);
    EXPECT_EQ(twice.partners, state.partners);
    EXPECT_EQ(twice.cellNodes, state.cellNodes);
    EXPECT_EQ(twice.geneStarts, state.geneStarts);
    EXPECT_EQ(twice.randomState, state.randomState);
    EXPECT_EQ(twice.nextNodeId, state.nextNodeId);
}

// Each field of NodeRecord once, in the record's order, with only the padding
// alignment asks for between two of them: a field missing from the list, or
// listed out of order, would be left out of the file or moved in it.
TEST(NodeFields, TheListCoversTheRecordFieldByFieldInItsOrder) {
    std::size_t end = 0;
    std::set<std::string> names;
    record::ForEachNodeField(
        [&]<class F, class N>(const char* name, F record::NodeRecord::*field, N, record::NodeFieldUse use) {
            const std::size_t align = alignof(std::remove_all_extents_t<F>);
            EXPECT_EQ(record::NodeFieldOffset(field), (end + align - 1) / align * align) << name;
            end = record::NodeFieldOffset(field) + sizeof(F);
            EXPECT_TRUE(names.insert(name).second) << name << " listed twice";
            EXPECT_EQ(std::is_null_pointer_v<N>, use == record::NodeFieldUse::kRecordOnly) << name;
        });
    const std::size_t align = alignof(record::NodeRecord);
    EXPECT_EQ(sizeof(record::NodeRecord), (end + align - 1) / align * align);
}

// A checkpoint of format 1 written by an earlier build (chain.txt, seed 3,
// after 60 steps), before nodes kept their lineage or the physics was
// recorded: it still reads, under the default physics, every node's parent
// and birth step unknown (-1) once restored; written again it is a checkpoint
// of the current format that reads back to the same state.
TEST(CheckpointFormat, AStoredCheckpointOfFormatOneReadsWithDefaultPhysicsAndUnknownLineage) {
    const std::string stored = std::string(QM_RECORD_TEST_DATA) + "/checkpoint-format-1.h5";
    ASSERT_EQ(ReadFile(stored).rfind("QUILLMOTH CHECKPOINT\nformat 1\n", 0), 0u);
    const record::RunState state = record::ReadCheckpoint(stored);
    ASSERT_GT(state.nodes.size(), 1u);
    ASSERT_FALSE(state.partners.empty());
    EXPECT_EQ(state.driver.physics, Physics{});
    EXPECT_TRUE(state.parents.empty());
    EXPECT_TRUE(state.births.empty());
    RunContext context;
    std::unique_ptr<SourceTester> driver = record::RestoreRun(context, state);
    ASSERT_EQ(driver->Worlds().at(0)->NodeMap().size(), state.nodes.size());
    for (const auto& [id, node] : driver->Worlds().at(0)->NodeMap()) {
        EXPECT_EQ(node->parent, -1) << id;
        EXPECT_EQ(node->born, -1) << id;
    }

    TempFile copy("", ".h5");
    record::WriteCheckpoint(copy.PathString(), state);
    EXPECT_EQ(ReadFile(copy.PathString()).rfind("QUILLMOTH CHECKPOINT\nformat 2\n", 0), 0u);
    const record::RunState again = record::ReadCheckpoint(copy.PathString());
    ASSERT_EQ(again.nodes.size(), state.nodes.size());
    EXPECT_EQ(
        std::memcmp(again.nodes.data(), state.nodes.data(), state.nodes.size() * sizeof(record::NodeRecord)),
        0);
    EXPECT_EQ(again.partners, state.partners);
    EXPECT_EQ(again.cellNodes, state.cellNodes);
    EXPECT_EQ(again.geneStarts, state.geneStarts);
    EXPECT_EQ(again.geneSource, state.geneSource);
    EXPECT_EQ(again.manifest.Json(), state.manifest.Json());
    EXPECT_EQ(again.step, state.step);
    EXPECT_EQ(again.randomState, state.randomState);
    EXPECT_EQ(again.nextNodeId, state.nextNodeId);
    EXPECT_TRUE(again.parents.empty());
    EXPECT_EQ(again.driver.physics, Physics{});
}

TEST_F(RunStateTest, AStateWhosePartsDisagreeIsRefused) {
    record::CheckRun(state);
    ASSERT_GT(state.partners.size(), 4u);
    ASSERT_GT(state.cells.size(), 1u);
    const std::size_t linked = [&] {
        for (std::size_t i = 0; i < state.nodes.size(); ++i) {
            if (state.nodes[i].partnerCount > 0) return i;
        }
        return std::size_t{0};
    }();
    const std::vector<std::pair<const char*, std::function<void(record::RunState&)>>> breaks = {
        {"ids out of order", [](record::RunState& s) { std::swap(s.nodes[0], s.nodes[1]); }},
        {"an id the counter has not reached", [](record::RunState& s) { s.nextNodeId = s.nodes.back().id; }},
        {"an unknown partner", [](record::RunState& s) { s.partners[0] = s.nextNodeId + 5; }},
        {"a link to itself",
         [linked](record::RunState& s) {
             std::size_t at = 0;
             for (std::size_t i = 0; i < linked; ++i) at += static_cast<std::size_t>(s.nodes[i].partnerCount);
             s.partners[at] = s.nodes[linked].id;
         }},
        {"a link one way only",
         [linked](record::RunState& s) {
             std::size_t at = 0;
             for (std::size_t i = 0; i < linked; ++i) at += static_cast<std::size_t>(s.nodes[i].partnerCount);
             s.partners.erase(s.partners.begin() + static_cast<std::ptrdiff_t>(at));
             --s.nodes[linked].partnerCount;
             --s.nodes[linked].edgeCount;
         }},
        {"a count of links that is not the list's",
         [linked](record::RunState& s) { ++s.nodes[linked].edgeCount; }},
        {"a cell outside the grid", [](record::RunState& s) { s.cells[0].ix = 200; }},
        {"a node filed twice", [](record::RunState& s) { s.cellNodes[0] = s.cellNodes[1]; }},
        {"cells that hold more than listed", [](record::RunState& s) { ++s.cells.back().count; }},
        {"a gene that is not there", [](record::RunState& s) { s.nodes[0].gene = 99; }},
        {"genes that do not divide the elements", [](record::RunState& s) { s.geneStarts.back() += 1; }},
        {"a dying node that is not listed", [](record::RunState& s) { s.nodes[0].dying = 1; }},
        {"an unknown selected node", [](record::RunState& s) { s.selected = s.nextNodeId; }},
        {"a node limit of 0", [](record::RunState& s) { s.nodeLimit = 0; }},
        {"a parent younger than its child", [](record::RunState& s) { s.parents[0] = s.nodes[0].id; }},
        {"a birth after the step saved",
         [](record::RunState& s) { s.births[1] = static_cast<std::int32_t>(s.step + 1); }},
        {"the lineage of fewer nodes than there are",
         [](record::RunState& s) {
             s.parents.pop_back();
             s.births.pop_back();
         }},
    };
    for (const auto& [what, change] : breaks) {
        record::RunState broken = state;
        change(broken);
        try {
            record::CheckRun(broken);
            ADD_FAILURE() << what << ": accepted";
        } catch (const record::RecordError& e) {
            EXPECT_EQ(e.message.rfind("inconsistent: ", 0), 0u) << what << ": " << e.message;
        }
    }
    // A gene the loader refuses is refused when the driver is built from it.
    record::RunState badGene = state;
    badGene.geneElements[0].kind = 7;
    try {
        RunContext refused;
        record::RestoreRun(refused, badGene);
        ADD_FAILURE() << "a gene element of kind 7 was taken";
    } catch (const record::RecordError& e) {
        EXPECT_EQ(e.message.rfind("a gene the loader refuses: Unit::Assign; element kind 7", 0), 0u)
            << e.message;
    }
}

}  // namespace
}  // namespace qm
