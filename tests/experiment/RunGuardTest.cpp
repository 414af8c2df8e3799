// The run guard both programs use: how a run ends (completed, goal, error,
// error code) and that the first ending alone reaches the log.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/RunContext.h"
#include "experiment/RunGuard.h"
#include "experiment/SourceTester.h"
#include "support/DebugCapture.h"
#include "support/TestFiles.h"

namespace qm::test {
namespace {

// A driver whose step does what the test says.
class ScriptedDriver : public PTester {
  public:
    explicit ScriptedDriver(RunContext& context) : PTester(context) {}
    std::function<void()> onAction = [] {};

  protected:
    void Load() override {}
    void DoReset() override { throw ErrorText{"no gene\n"}; }
    void DoAction() override { onAction(); }
    void DoTest() override {}
    void DoHalt() override {}
};

class RunGuardTest : public ::testing::Test {
  protected:
    RunGuardTest() { context.diagnostics.SetErrorLogPath(log.PathString()); }

    std::unique_ptr<PTester> StartScripted(std::function<void()> onAction) {
        return guard.Start([&] {
            auto driver = std::make_unique<ScriptedDriver>(context);
            driver->onAction = std::move(onAction);
            return driver;
        });
    }

    TempFile log{"left by an earlier run"};
    RunContext context;
    DebugCapture debug{context.diagnostics};
    RunGuard guard{context};
};

// The log and its echo keep the system's text exactly; the hint for a person
// follows on the debug output and never reaches the log. The engine's own
// debug lines (the seed, Restore) show only at the Detail level (--debug).
TEST_F(RunGuardTest, AHintFollowsTheLoggedTextAndDebugLinesNeedTheDetailLevel) {
    for (const DebugLevel level : {DebugLevel::Normal, DebugLevel::Detail}) {
        RunContext shown;
        shown.diagnostics.SetErrorLogPath(log.PathString());
        shown.diagnostics.SetLevel(level);
        DebugCapture said{shown.diagnostics};
        RunGuard guarded{shown};
        guarded.SeedRandom(9);
        auto driver = guarded.Start([&] {
            auto made = std::make_unique<ScriptedDriver>(shown);
            made->onAction = [] {
                ErrorText error{"GPmanager::GetCode; 不正なコードです\n"};
                error.hint = "the gene in g.txt ends with 1 argument(s) missing";
                throw error;
            };
            return made;
        });
        ASSERT_TRUE(driver);
        EXPECT_FALSE(guarded.Step(*driver));
        EXPECT_EQ(ReadFile(log.PathString()), "PTester::Action()\nGPmanager::GetCode; 不正なコードです\n");
        const std::string expected =
            "PTester::Action()\nGPmanager::GetCode; 不正なコードです\n\n"
            "the gene in g.txt ends with 1 argument(s) missing\n";
        const std::string debugLines = level == DebugLevel::Detail ? "Restore\n" : "";
        const std::string seedLine = level == DebugLevel::Detail ? "rand seed = 9\n" : "";
        EXPECT_EQ(said.Text(), seedLine + expected + debugLines) << static_cast<int>(level);
    }
}

TEST_F(RunGuardTest, TheGoalIsKnownByItsFlagNotItsText) {
    // A text that merely ends like the goal message is an error...
    auto driver = StartScripted([] { throw ErrorText{"it said GOAL!\n"}; });
    ASSERT_TRUE(driver);
    EXPECT_FALSE(guard.Step(*driver));
    EXPECT_EQ(guard.Outcome().kind, RunOutcome::Kind::Error);

    // ...and the goal test's flag survives every signature line on the way out.
    RunGuard second(context);
    auto seeker = second.Start([&] {
        auto d = std::make_unique<ScriptedDriver>(context);
        d->onAction = [] {
            try {
                throw ErrorText{"GOAL!\n", true};
            } catch (...) {
                RethrowSigned("NodeManager::Action; \n");
            }
        };
        return d;
    });
    EXPECT_FALSE(second.Step(*seeker));
    EXPECT_EQ(second.Outcome().kind, RunOutcome::Kind::GoalReached);
    EXPECT_EQ(second.Outcome().text, "PTester::Action()\nNodeManager::Action; \nGOAL!\n");
    EXPECT_EQ(ReadFile(log.PathString()), "PTester::Action()\nNodeManager::Action; \nGOAL!\n");
    EXPECT_NE(debug.Text().find("GOAL!\n\nRestore\n"), std::string::npos);
}

TEST_F(RunGuardTest, TheFirstErrorIsLoggedAndNothingLaterOverwritesIt) {
    int step = 0;
    auto driver = StartScripted([&] {
        ++step;
        if (step >= 2) throw ErrorText{"step " + std::to_string(step) + "\n"};
    });
    EXPECT_TRUE(guard.Step(*driver));
    EXPECT_EQ(guard.Outcome().kind, RunOutcome::Kind::Running);
    EXPECT_FALSE(guard.Step(*driver));
    EXPECT_FALSE(guard.Step(*driver));
    EXPECT_FALSE(guard.Reset(*driver, "other.txt"));
    guard.Fail("drawing\n");
    guard.Complete();
    EXPECT_EQ(guard.Outcome().kind, RunOutcome::Kind::Error);
    EXPECT_EQ(guard.Outcome().text, "PTester::Action()\nstep 2\n");
    EXPECT_EQ(ReadFile(log.PathString()), "PTester::Action()\nstep 2\n");
    EXPECT_EQ(guard.Outcome().logFailure, "");
    // A log that cannot be written is the caller's to report: the outcome says why.
    context.diagnostics.SetErrorLogPath("/dev/full");
    RunGuard full(context);
    full.Fail("drawing\n");
    EXPECT_EQ(full.Outcome().logFailure, "No space left on device");
}

TEST_F(RunGuardTest, AnInterruptedStepEndsTheRunWithoutALog) {
    auto driver = StartScripted([] {
        ErrorText stop{"the step was interrupted\n"};
        stop.interrupted = true;
        throw stop;
    });
    EXPECT_FALSE(guard.Step(*driver));
    EXPECT_EQ(guard.Outcome().kind, RunOutcome::Kind::Interrupted);
    EXPECT_EQ(ReadFile(log.PathString()), "left by an earlier run");
    EXPECT_EQ(debug.Text().find("Restore"), std::string::npos);
}

TEST_F(RunGuardTest, ARunWithoutErrorsCompletes) {
    auto driver = StartScripted([] {});
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(guard.Step(*driver));
    guard.Complete();
    EXPECT_EQ(guard.Outcome().kind, RunOutcome::Kind::Completed);
    EXPECT_EQ(ReadFile(log.PathString()), "left by an earlier run");
}

TEST_F(RunGuardTest, StartUpErrorsLeaveNoDriver) {
    // A gene file that is no gene: logged, as the driver's constructor raised it.
    TempFile bad("ADD 1");
    auto driver = guard.Start([&] { return std::make_unique<SourceTester>(context, bad.PathString()); });
    EXPECT_FALSE(driver);
    EXPECT_EQ(guard.Outcome().kind, RunOutcome::Kind::Error);
    EXPECT_EQ(ReadFile(log.PathString()), "GPmanager::GetCode; 不正なコードです\n");

    // An error code from the window's set-up ends the run without a log.
    RunGuard second(context);
    TempFile good("ADD 1 1");
    context.diagnostics.SetErrorLogPath(log.PathString() + ".second");
    auto none = second.Start([&] { return std::make_unique<SourceTester>(context, good.PathString()); },
                             [](PTester&) { throw ErrorCode{kEFail}; });
    EXPECT_FALSE(none);
    EXPECT_EQ(second.Outcome().kind, RunOutcome::Kind::Error);
    EXPECT_EQ(second.Outcome().text, "");
    EXPECT_FALSE(std::ifstream(log.PathString() + ".second").good());
}

}  // namespace
}  // namespace qm::test
