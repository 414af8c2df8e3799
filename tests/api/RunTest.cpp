// A run as an object: runs side by side (alternately on one thread, or on
// threads of their own) step exactly as each steps alone, and so does one run
// stepped by two threads while a third reads it; a saved run goes on as the
// straight one; a gene that cannot be made says what a run logs.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "api/Gene.h"
#include "api/Run.h"
#include "base/Errors.h"
#include "experiment/SourceTester.h"
#include "gp/GeneLimits.h"
#include "support/LatticeScene.h"
#include "support/TestFiles.h"
#include "world/NodeManager.h"

namespace qm {
namespace {

// Divides both ways, cuts links, sends values along them and dies when old.
constexpr const char* kBrancher =
    "PROG3 ( SETP 0 ( ADD ( GETP 0 ) 0.1 ) )\n"
    "      ( IFT ( GT ECOUNT 0.2 ) ( IFTE ( GT ( GETP 1 ) 0.5 ) ( TDIVIDE 0 ) ( GDIVIDE ( 0 ) ) ) )\n"
    "      ( PROG3 ( PROG2 ( ADDPAR 1 SMELL ) ( PULSE ( 3 ) ) ) ( ADDPAR 7 1 )\n"
    "              ( IFTE ( GT ( GETP 7 ) 1.2 ) DIE ( IFTE ( LT ECOUNT 0.15 ) ( CUTEDGE ) ( ELENGTH 4 ) ) ) "
    ")";
// Divides, and of parent and child the one farther from the goal dies: two
// nodes walking, with new ids every few steps.
constexpr const char* kWalker =
    "IFTE ( GT ( GETP 0.5 ) 0 )\n"
    "     ( IFTE ( LT ( GETP 0.7 ) ( GETP 0.5 ) ) DIE\n"
    "            ( PROG2 ( SETP 0.5 0 ) ( PROG2 CUTEDGE ( PROG2 ( SETP 0 1 ) ( GDIVIDE 0 ) ) ) ) )\n"
    "     ( IFTE ( GT ECOUNT 0.9 ) ( PROG2 ( SETP 0 1 ) ( GDIVIDE 0 ) )\n"
    "            ( PROG3 ( SETP 0.7 ( MUL SMELL 5000 ) ) ( SETP 0.5 ( MUL SMELL 10000 ) ) ( PULSE 0.5 ) ) )";

constexpr int kSteps = 120;

struct RunSetting {
    const char* source;
    std::uint32_t seed;
};
const RunSetting kRuns[2] = {{kBrancher, 9}, {kWalker, 4}};

using Trace = std::vector<std::uint64_t>;  // a fingerprint after every step

Diagnostics Quiet() {
    Diagnostics quiet;
    quiet.SetSink([](std::string_view) {});
    quiet.SetErrorLogPath("");  // a run that reaches the goal writes no log here
    return quiet;
}

std::unique_ptr<Run> Start(const RunSetting& setting) {
    return std::make_unique<Run>(Gene::FromSource(setting.source),
                                 RunSettings{setting.seed, {}, 1000, {}, {}}, Quiet());
}

// Every node's row (id, motion, parent, ...) and every link: a generator
// that went astray shows in the steps after.
std::uint64_t Fingerprint(Run& run) {
    const Frame frame = run.View();
    std::uint64_t h = 14695981039346656037ull;
    auto add = [&h](std::uint64_t v) { h = (h ^ v) * 1099511628211ull; };
    for (const unsigned char byte : frame.nodeRows) add(byte);
    for (const auto& [a, b] : frame.linkIds)
        add(static_cast<std::uint64_t>(a) << 32 | static_cast<std::uint32_t>(b));
    return h;
}

void StepInto(Run& run, Trace& trace, int steps) {
    for (int i = 0; i < steps; ++i) {
        run.Step();
        trace.push_back(Fingerprint(run));
    }
}

Trace Alone(const RunSetting& setting) {
    Trace trace;
    std::unique_ptr<Run> run = Start(setting);
    StepInto(*run, trace, kSteps);
    EXPECT_FALSE(run->Ended()) << "seed " << setting.seed << ": " << run->Outcome().text;
    return trace;
}

TEST(RunTest, RunsSideBySideStepExactlyAsEachAlone) {
    const std::array<Trace, 2> alone = {Alone(kRuns[0]), Alone(kRuns[1])};
    ASSERT_NE(alone[0], alone[1]);
    for (const Trace& trace : alone) ASSERT_NE(trace.front(), trace.back());

    using Schedule = std::function<std::array<Trace, 2>()>;
    const std::pair<const char*, Schedule> schedules[] = {
        {"alternately on one thread",
         [] {
             std::array<std::unique_ptr<qm::Run>, 2> runs = {Start(kRuns[0]), Start(kRuns[1])};
             std::array<Trace, 2> traces;
             for (int i = 0; i < kSteps; ++i) {
                 for (int k = 0; k < 2; ++k) StepInto(*runs[k], traces[k], 1);
             }
             return traces;
         }},
        {"on two threads",
         [] {
             std::array<Trace, 2> traces;
             {
                 std::array<std::jthread, 2> threads;
                 for (int k = 0; k < 2; ++k) {
                     threads[k] =
                         std::jthread([&traces, k] { StepInto(*Start(kRuns[k]), traces[k], kSteps); });
                 }
             }
             return traces;
         }},
    };
    for (const auto& [name, schedule] : schedules) {
        const std::array<Trace, 2> traces = schedule();
        for (int k = 0; k < 2; ++k) EXPECT_EQ(traces[k], alone[k]) << name << ", run " << k;
    }
}

bool SameStep(const Frame& a, const Frame& b) {
    return a.step == b.step && a.nodes == b.nodes && a.nodeRows == b.nodeRows && a.linkIds == b.linkIds &&
           a.closest == b.closest;
}

// Two threads step one run by turns while a third reads it: every view read
// is the lone run's view at that step, never a step half made, and the run
// ends where the lone run ends.
TEST(SharedRunTest, ThreadsSteppingAndReadingOneRunSeeWhatItDoesAlone) {
    constexpr int kShared = 84;  // steps in all: each stepper makes half, in calls of `chunk` steps
    constexpr int kRounds = 8;
    for (const RunSetting& setting : kRuns) {
        std::vector<Frame> alone;  // after each step
        {
            std::unique_ptr<qm::Run> run = Start(setting);
            ASSERT_TRUE(run->Start());
            alone.push_back(run->View());
            for (int i = 0; i < kShared; ++i) {
                run->Step();
                alone.push_back(run->View());
            }
            ASSERT_FALSE(run->Ended()) << run->Outcome().text;
        }
        for (const int chunk : {1, 7}) {
            for (int round = 0; round < kRounds; ++round) {
                SCOPED_TRACE("seed " + std::to_string(setting.seed) + ", steps of " + std::to_string(chunk) +
                             ", round " + std::to_string(round));
                std::unique_ptr<qm::Run> run = Start(setting);
                ASSERT_TRUE(run->Start());
                std::atomic<bool> stepping{true};
                int reads = 0, torn = 0;
                {
                    std::jthread reader([&] {
                        do {
                            const Frame seen = run->View();
                            ++reads;
                            const auto step = static_cast<std::size_t>(seen.step);
                            if (step >= alone.size() || !SameStep(seen, alone[step])) ++torn;
                        } while (stepping);
                    });
                    {
                        std::array<std::jthread, 2> steppers;
                        for (std::jthread& stepper : steppers) {
                            stepper = std::jthread([&] {
                                for (int i = 0; i < kShared / 2 / chunk; ++i) run->Step(chunk);
                            });
                        }
                    }
                    stepping = false;
                }
                EXPECT_GT(reads, 0);
                EXPECT_EQ(torn, 0) << "of " << reads << " reads";
                EXPECT_EQ(run->Steps(), kShared);
                EXPECT_TRUE(SameStep(run->View(), alone.back()));
            }
        }
    }
}

TEST(RunTest, ASavedRunGoesOnAsTheStraightRun) {
    for (const RunSetting& setting : kRuns) {
        const Trace straight = Alone(setting);
        for (int k : {1, 37, kSteps - 1}) {
            TempFile file("", ".h5");
            Trace resumed;
            {
                std::unique_ptr<qm::Run> first = Start(setting);
                StepInto(*first, resumed, k);
                first->Save(file.PathString());
            }
            std::unique_ptr<qm::Run> loaded = qm::Run::Resume(file.PathString(), Quiet());
            EXPECT_EQ(loaded->Steps(), k);
            ASSERT_EQ(Fingerprint(*loaded), resumed.back())
                << "seed " << setting.seed << ", saved after " << k;
            StepInto(*loaded, resumed, kSteps - k);
            EXPECT_EQ(resumed, straight) << "seed " << setting.seed << ", saved after " << k;
        }
    }
}

TEST(RunTest, AGeneThatCannotBeMadeSaysWhatTheRunLogs) {
    std::string tooDeep;
    for (int i = 0; i <= kMaxGeneDepth; ++i) tooDeep += "NEG ( ";
    for (const std::string& source : {std::string("ADD 1"), std::string("MUL 1 GRUOND"), std::string(),
                                      std::string("< only a comment >"), tooDeep + "1"}) {
        std::string thrown = "<nothing thrown>";
        try {
            Gene::FromSource(source);
        } catch (const GeneError& e) {
            thrown = e.text;
        }
        TempFile gene(source), log("");
        Diagnostics logged = Quiet();
        logged.SetErrorLogPath(log.PathString());
        qm::Run run(GeneFile{gene.PathString()}, RunSettings{1, {}, 1000, 10, {}}, std::move(logged));
        EXPECT_FALSE(run.Start()) << source;
        EXPECT_EQ(run.Outcome().kind, RunOutcome::Kind::Error) << source;
        EXPECT_EQ(thrown, ReadFile(log.PathString())) << source;
        EXPECT_EQ(thrown, run.Outcome().text) << source;
    }
}

Diagnostics LoggedTo(const TempFile& log) {
    Diagnostics logged = Quiet();
    logged.SetErrorLogPath(log.PathString());
    return logged;
}

// The window's start: `setup` runs on the driver under the start-up guard,
// after Init for a new run and alone on the world a resumed run restored,
// once; an error it raises ends the run, logged, with no driver.
TEST(RunTest, StartRunsTheSetupOnTheDriverUnderTheStartUpGuard) {
    TempFile gene(kBrancher), saved("", ".h5");
    const RunSettings settings{3, {}, 1000, {}, {}};
    int savedNodes = 0;
    {
        qm::Run first(GeneFile{gene.PathString()}, settings, Quiet());
        first.Step(40);
        savedNodes = static_cast<int>(first.View(Frame::Detail::kFigures).nodes);
        first.Save(saved.PathString());
    }
    ASSERT_GT(savedNodes, 1);
    using Make = std::function<std::unique_ptr<qm::Run>(Diagnostics)>;
    const struct {
        const char* name;
        Make make;
        int nodes;  // what the setup finds
    } starts[] = {
        {"new",
         [&](Diagnostics d) { return std::make_unique<qm::Run>(GeneFile{gene.PathString()}, settings, d); },
         1},
        {"resumed", [&](Diagnostics d) { return qm::Run::Resume(saved.PathString(), d); }, savedNodes},
    };
    for (const auto& start : starts) {
        for (const bool fails : {false, true}) {
            SCOPED_TRACE(std::string(start.name) + (fails ? ", failing setup" : ""));
            TempFile log("");
            std::unique_ptr<qm::Run> run = start.make(LoggedTo(log));
            int calls = 0, nodes = 0;
            const auto setup = [&](PTester& driver) {
                ++calls;
                nodes = driver.Worlds().at(0)->GetNodeCount();
                if (fails) throw ErrorText{"no device\n"};
            };
            EXPECT_EQ(run->Start(setup), !fails);
            EXPECT_EQ(calls, 1);
            EXPECT_EQ(nodes, start.nodes);
            EXPECT_EQ(run->HasWorld(), !fails);
            EXPECT_EQ(ReadFile(log.PathString()), fails ? "no device\n" : "");
            EXPECT_EQ(run->Step(), fails ? RunOutcome::Kind::Error : RunOutcome::Kind::Running);
            EXPECT_EQ(run->Start(setup), !fails);  // started once only
            EXPECT_EQ(calls, 1);
        }
    }
}

// A factory makes the driver of a gene-file run, on the run's own context.
TEST(RunTest, AFactoryMakesTheDriverOfAGeneFileRun) {
    TempFile gene(kBrancher);
    // The run's own debug text, where the factory's context writes too.
    std::string debug;
    Diagnostics heard = Quiet();
    heard.SetSink([&debug](std::string_view text) { debug += text; });
    qm::Run run(GeneFile{gene.PathString()}, RunSettings{5, {}, 1000, {}, {}}, heard);
    ASSERT_NE(debug.find("rand seed = 5"), std::string::npos) << debug;
    std::vector<std::string> asked;
    const PTester* made = nullptr;
    ASSERT_TRUE(run.Start({}, [&](RunContext& context, const std::string& file) {
        asked.push_back(file);
        context.diagnostics.DebugPrint("made\n");
        auto driver = std::make_unique<SourceTester>(context, file);
        made = driver.get();
        return driver;
    }));
    EXPECT_EQ(asked, std::vector<std::string>{gene.PathString()});
    EXPECT_NE(debug.find("made\n"), std::string::npos) << debug;
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(run.Step(5), RunOutcome::Kind::Running);
    // The run steps the world of the driver made.
    EXPECT_EQ(made->Worlds().at(0)->NodeMap().size(), run.View(Frame::Detail::kFigures).nodes);
}

// The user's reload begins the world anew from the gene file named (the
// driver's own when none is), under the guard: a file that is no gene ends
// the run, logged, and a run that has ended, or never started, reloads nothing.
TEST(RunTest, AReloadBeginsTheWorldAnewUnderTheGuard) {
    TempFile brancher(kBrancher), walker(kWalker), notes("hello there"), log("");
    qm::Run run(GeneFile{brancher.PathString()}, RunSettings{9, {}, 1000, {}, {}}, LoggedTo(log));
    EXPECT_FALSE(run.Reset(""));
    EXPECT_FALSE(run.Ended());
    run.Step(40);
    ASSERT_GT(run.View(Frame::Detail::kFigures).nodes, 1u);
    const auto fileName = [&] { return run.GeneFileName(); };

    EXPECT_TRUE(run.Reset(""));
    EXPECT_EQ(run.View(Frame::Detail::kFigures).nodes, 1u);
    EXPECT_EQ(fileName(), brancher.PathString());
    EXPECT_EQ(run.Steps(), 40);
    EXPECT_TRUE(run.Reset(walker.PathString()));
    EXPECT_EQ(fileName(), walker.PathString());
    EXPECT_EQ(run.Step(), RunOutcome::Kind::Running);

    EXPECT_FALSE(run.Reset(notes.PathString()));
    EXPECT_EQ(run.Outcome().kind, RunOutcome::Kind::Error);
    const std::string logged = ReadFile(log.PathString());
    EXPECT_EQ(logged.rfind("PTester::Reset()\n", 0), 0u) << logged;
    EXPECT_EQ(run.Outcome().text, logged);
    const std::string nameAfter = fileName();
    EXPECT_FALSE(run.Reset(brancher.PathString()));
    EXPECT_EQ(fileName(), nameAfter);
    EXPECT_EQ(ReadFile(log.PathString()), logged);
}

}  // namespace
}  // namespace qm
