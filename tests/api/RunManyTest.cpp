// Many runs through one loop: every task once, and the first failure stops
// the rest and reaches the caller.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "api/RunMany.h"

namespace qm {
namespace {

TEST(RunManyTest, EveryTaskRunsOnceOnAnyNumberOfWorkers) {
    for (int workers : {1, 2, 5, 0}) {
        std::vector<std::atomic<int>> runs(200);
        RunMany(runs.size(), workers, [&](std::size_t i) { ++runs[i]; });
        for (std::size_t i = 0; i < runs.size(); ++i)
            EXPECT_EQ(runs[i], 1) << "task " << i << ", " << workers;
    }
    RunMany(0, 3, [](std::size_t) { ADD_FAILURE() << "no task to run"; });
}

TEST(RunManyTest, TheFirstFailureStopsTheRestAndIsThrown) {
    constexpr std::size_t kTasks = 1000, kFailing = 7;
    for (int workers : {1, 2, 4}) {
        std::atomic<std::size_t> begun{0};
        try {
            RunMany(kTasks, workers, [&](std::size_t i) {
                ++begun;
                if (i == kFailing) throw std::runtime_error("task " + std::to_string(i) + " failed");
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
            ADD_FAILURE() << workers << " workers: no failure thrown";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "task 7 failed");
        }
        // Those before the failing one, and what each other worker had taken when it failed.
        EXPECT_LE(begun, kFailing + 1 + 2 * static_cast<std::size_t>(workers - 1)) << workers << " workers";
    }
}

}  // namespace
}  // namespace qm
