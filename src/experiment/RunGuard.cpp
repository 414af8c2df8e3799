#include "experiment/RunGuard.h"

#include <ctime>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/RunContext.h"

namespace qm {

std::uint32_t RunGuard::SeedRandom(std::optional<std::uint32_t> seed) {
    const std::uint32_t value = seed ? *seed : static_cast<std::uint32_t>(std::time(nullptr));
    context.diagnostics.DetailPrint("rand seed = %d\n", static_cast<int>(value));
    context.random.Seed(value);
    return value;
}

void RunGuard::EndWith(const ErrorText& error) {
    if (Ended()) return;
    if (error.interrupted) {
        outcome.kind = RunOutcome::Kind::Interrupted;
        outcome.text.clear();
        return;
    }
    outcome.kind = error.goal ? RunOutcome::Kind::GoalReached : RunOutcome::Kind::Error;
    outcome.text = error.text;
    outcome.goalNode = error.goal ? error.goalNode : -1;
    context.diagnostics.WriteErrorLog(error.text, error.goal ? DebugLevel::Normal : DebugLevel::Errors,
                                      &outcome.logFailure);
    if (!error.hint.empty()) context.diagnostics.Emit(DebugLevel::Errors, error.hint + "\n");
}

void RunGuard::EndQuietly(const char* debugText) {
    if (debugText) context.diagnostics.ErrorPrint("%s", debugText);
    if (Ended()) return;
    outcome.kind = RunOutcome::Kind::Error;
    outcome.text.clear();
}

std::unique_ptr<PTester> RunGuard::Start(const DriverFactory& make, const DriverSetup& setup) {
    return Started([&] {
        std::unique_ptr<PTester> driver = make();
        driver->Init();
        if (setup) setup(*driver);
        return driver;
    });
}

std::unique_ptr<PTester> RunGuard::Adopt(std::unique_ptr<PTester> driver, const DriverSetup& setup) {
    return Started([&] {
        if (setup) setup(*driver);
        return std::move(driver);
    });
}

std::unique_ptr<PTester> RunGuard::Started(const DriverFactory& start) {
    try {
        return start();
    } catch (const ErrorText& e) {
        EndWith(e);
    } catch (const ErrorCode&) {
        EndQuietly(nullptr);  // graphics start-up says why itself
    } catch (const std::exception& e) {
        EndQuietly(FormatString("Start Exception: %s\n", e.what()).c_str());
    }
    return nullptr;
}

bool RunGuard::Step(PTester& driver) {
    try {
        driver.Action();
        driver.Test();
        return true;
    } catch (const ErrorText& e) {
        EndWith(e);
        if (!e.interrupted) context.diagnostics.DetailPrint("Restore\n");
    } catch (...) {
        EndQuietly("Action Exception\n");
    }
    return false;
}

bool RunGuard::Reset(PTester& driver, const std::string& name) {
    try {
        driver.Reset(name);
        return true;
    } catch (const ErrorText& e) {
        EndWith(e);
    }
    return false;
}

void RunGuard::Fail(const std::string& text) { EndWith(ErrorText{text}); }

void RunGuard::Complete() {
    if (!Ended()) outcome.kind = RunOutcome::Kind::Completed;
}

void RunGuard::Interrupt() {
    if (!Ended()) outcome.kind = RunOutcome::Kind::Interrupted;
}

}  // namespace qm
