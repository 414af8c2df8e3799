// A step that a quitting user cuts short: the check costs nothing to the
// results when it says no, and stops the step with a flagged error when it
// says yes.

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "base/RunContext.h"
#include "support/DebugCapture.h"
#include "support/LatticeScene.h"
#include "world/NodeManager.h"

namespace qm::test {
namespace {

TEST(StepInterruptTest, TheCheckChangesNothingUntilItSaysStop) {
    auto gene = scene::LatticeGene();
    constexpr int kNodes = 2 * static_cast<int>(NodeManager::kTurnsBetweenInterruptChecks) + 100;
    RunContext plainRun, checkedRun, stoppedRun;
    DebugCapture quiet(stoppedRun.diagnostics);
    NodeManager plain(plainRun), checked(checkedRun), stopped(stoppedRun);
    for (NodeManager* world : {&plain, &checked, &stopped}) scene::SeedLattice(*world, *gene, kNodes);

    int calls = 0;
    checked.SetInterruptCheck([&] {
        ++calls;
        return false;
    });
    for (NodeManager* world : {&plain, &checked}) {
        world->Context().random.Seed(3);
        for (int step = 0; step < 3; ++step) world->Action();
    }
    EXPECT_EQ(scene::StateHash(checked), scene::StateHash(plain));
    EXPECT_EQ(calls, 3 * 2);  // twice a step: after 4096 and 8192 turns

    stopped.SetInterruptCheck([] { return true; });
    stoppedRun.random.Seed(3);
    try {
        stopped.Action();
        FAIL() << "the step was not cut short";
    } catch (const ErrorText& e) {
        EXPECT_TRUE(e.interrupted);
        EXPECT_FALSE(e.goal);
        EXPECT_EQ(
            e.text,
            "NodeManager::Action; \nNodeManager::NodeAction; \nthe step was interrupted: the program is "
            "quitting\n");
    }
}

}  // namespace
}  // namespace qm::test
