#pragma once
// The guard both programs run an experiment under: it seeds the random
// numbers, starts the driver, runs the world steps and reloads, and turns
// whatever they raise into the outcome of the run. The first error ends the
// run: its text goes to the error log, once, and nothing later overwrites it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/RunOutcome.h"
#include "experiment/PTester.h"

namespace qm {

struct RunContext;

class RunGuard {
  public:
    using DriverFactory = std::function<std::unique_ptr<PTester>()>;
    using DriverSetup = std::function<void(PTester&)>;

    // The guard logs to and writes debug text through the run's context.
    explicit RunGuard(RunContext& context) : context(context) {}

    // Seeds the run's generator with `seed`, or with the calendar time in
    // seconds, writes "rand seed = %d\n" to the debug output and returns it.
    std::uint32_t SeedRandom(std::optional<std::uint32_t> seed);

    // The start-up guard: makes the driver, Init, then `setup`. A text error is
    // logged and an error code only ends the run; either way there is no driver.
    std::unique_ptr<PTester> Start(const DriverFactory& make, const DriverSetup& setup = {});
    // The same for a driver made elsewhere that already holds its worlds (one
    // restored from a checkpoint): `setup` only, no Init.
    std::unique_ptr<PTester> Adopt(std::unique_ptr<PTester> driver, const DriverSetup& setup = {});

    // One world step: Action, then Test. False when it ended the run: a text
    // error is logged and "Restore\n" written to the debug output; anything
    // else writes "Action Exception\n".
    bool Step(PTester& driver);

    // The user's reload (a held Space, a dropped file). False when it ended the run.
    bool Reset(PTester& driver, const std::string& name);

    // Ends the run with a text error raised outside the guarded calls (the
    // drawing of a world); it is logged unless the run has ended already.
    void Fail(const std::string& text);

    // Every step asked for has run.
    void Complete();
    // The program was asked to stop between two steps (a signal): the run
    // ends as Interrupted, with nothing logged.
    void Interrupt();

    const RunOutcome& Outcome() const { return outcome; }
    bool Ended() const { return outcome.kind != RunOutcome::Kind::Running; }

  private:
    // Runs `start` under the start-up guard.
    std::unique_ptr<PTester> Started(const DriverFactory& start);
    void EndWith(const struct ErrorText& error);
    void EndQuietly(const char* debugText);

    RunContext& context;
    RunOutcome outcome;
};

}  // namespace qm
