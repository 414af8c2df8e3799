#pragma once
// Where the time of a world's steps goes: each named phase of a step adds the
// time it took, when profiling is on. Off, a step pays one test per phase.

#include <array>
#include <chrono>
#include <cstdint>

namespace qm {

enum class StepPhase {
    Links,       // diffusion along every link and the springs
    Order,       // the shuffled order of the node loop
    Genes,       // each node's diffusion in, goal test and gene
    Population,  // divisions and deaths
    Repulsion,   // each node against the unlinked nodes of the 27 cells around it
    Motion,      // gravity and drag, the walls, integration, moves between cells
    Admission,   // the centroid; children join, the dead leave
    Inputs,      // every node takes in what it was sent (and the second order's draws)
    Count        // not a phase: how many there are, so the count follows the list
};
inline constexpr int kStepPhaseCount = static_cast<int>(StepPhase::Count);

const char* StepPhaseName(StepPhase phase);

struct StepProfile {
    bool enabled = false;
    long long steps = 0;
    std::array<std::int64_t, kStepPhaseCount> nanoseconds{};

    static std::int64_t Now() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    // Adds the time since `since` to `phase` and moves `since` to now.
    void Lap(StepPhase phase, std::int64_t& since) {
        if (!enabled) return;
        const std::int64_t now = Now();
        nanoseconds[static_cast<std::size_t>(phase)] += now - since;
        since = now;
    }
    std::int64_t Start() const { return enabled ? Now() : 0; }
};

}  // namespace qm
